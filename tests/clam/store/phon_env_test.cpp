// The phonetic environment loader: where each section goes, every refusal with its status,
// and mutated files, which must load safely or not at all.
#include "clam/store/phon_env.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>

#include "clam/coding/phonetic_keys.h"
#include "clam/store/clam_status.h"
#include "support/env_files.h"

namespace {

using testing_support::Bytes;
using testing_support::LoadEnvBytes;
using testing_support::PhonEnvPtr;

// An environment file put together field by field, its sections written as for Bytes(): of
// version 1 (ten direct values), so that the automaton value 11 selects "ab" at offset 1 of
// section 9, and with sections 3 to 5 filled, as our compiled files never have them.
struct EnvFile {
    std::uint8_t version = 1, language = 1;
    std::string magic = "PH";
    std::array<std::uint16_t, 7> numbers{1, 0, 0, 0, 0, 3, 0};  // N0..N6; N5 is trieSize
    std::array<std::string, 9> sections{
        "", "", "skipped", "", "", "<00><00><00>", "<00><00><00>", "<7f><7f><0b>", "<00>ab<00>"};
    std::array<int, 9> declared{-1, -1, -1, -1, -1, -1, -1, -1, -1};  // -1: the real size
    EnvFile() {
        sections[3] = std::string(10, 'U');
        sections[4] = std::string(kClamPhonEnvMatrixSize, 'f');
    }

    PhonEnvPtr Load(int& status) const {
        std::string out = {char(version), char(language), magic[0], magic[1]}, body;
        auto put = [&](std::size_t v) { out += {char(v & 0xFF), char(v >> 8)}; };
        for (auto n : numbers) put(n);
        for (std::size_t i = 0; i < 9; ++i) {
            body += Bytes(sections[i]);
            put(declared[i] >= 0 ? std::size_t(declared[i]) : Bytes(sections[i]).size());
        }
        out += body;
        status = -1;
        return LoadEnvBytes({out.begin(), out.end()}, &status);
    }
};

TEST(PhonEnvLoader, PutsEachSectionInPlaceAndRefusesEachFaultWithItsStatus) {
    const struct {
        std::function<void(EnvFile&)> change;
        int status = kClamStatusIoError;
    } cases[] = {
        {[](EnvFile& f) { f.magic = "PX"; }, kClamStatusNotPhonEnv},
        {[](EnvFile& f) { f.version = 3; }, kClamStatusBadVersion},
        {[](EnvFile& f) { f.language = 40; }, kClamStatusBadLanguage},
        {[](EnvFile& f) { f.declared[0] = 1; }},  // the file ends inside section 1
        {[](EnvFile& f) { f.numbers[0] = 0; }},   // no class
        {[](EnvFile& f) { f.numbers[0] = 3, f.sections[0] = "a<00>b<00>c"; }},  // 2 strings
        {[](EnvFile& f) { f.numbers[1] = 3, f.sections[1] = "abcde"; }},        // 5 bytes
        {[](EnvFile& f) { f.sections[3] = std::string(513, 'x'); }},            // above 512 bytes
        {[](EnvFile& f) { f.sections[4] = std::string(600, 'x'); }},
        {[](EnvFile& f) { f.numbers[5] = 4; }},  // the automaton shorter than trieSize
        {[](EnvFile& f) { f.sections[7] = "<7f><7f><20>"; }},  // an output past section 9
        {[](EnvFile& f) { f.sections[8] = "<00>abc"; }},       // an output not ended in it
        {[](EnvFile& f) { f.numbers[6] = 3; }},  // past it with the right-context offset
    };
    int status = -1;
    PhonEnvPtr env = EnvFile().Load(status);  // the refusals are the changes alone
    ASSERT_NE(env, nullptr) << status;
    EXPECT_EQ(env->directValueCount, 10u);
    const auto matrix = [](const std::uint8_t* m) { return std::string(m, m + 512); };
    EXPECT_EQ(matrix(env->matrix1), std::string(10, 'U') + std::string(502, '\0'));  // zeros after
    EXPECT_EQ(matrix(env->matrix2), std::string(512, 'f'));
    EXPECT_STREQ(reinterpret_cast<char*>(env->ruleOutput + 1), "ab");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EnvFile f;
        cases[i].change(f);
        EXPECT_EQ(f.Load(status), nullptr) << i;
        EXPECT_EQ(status, cases[i].status) << i;
    }
}

TEST(PhonEnvLoader, MutatedEnvironmentsLoadSafelyOrNotAtAll) {
    std::mt19937 random(20240611);
    int loaded = 0;
    for (const int language : testing_support::DefinedLanguages()) {
        const std::vector<std::uint8_t> original =
            testing_support::CompiledDefinition(testing_support::DefinitionName(language));
        for (int round = 0; round < 150; ++round) {
            std::vector<std::uint8_t> bytes = original;
            for (int c = 0; c <= round % 6; ++c) {
                // A third of the rounds change only the header, where a change matters most.
                const std::size_t at = random() % (round % 3 == 0 ? 36 : bytes.size());
                bytes[at] = static_cast<std::uint8_t>(random());
            }
            if (round % 10 == 9) bytes.resize(random() % bytes.size());
            int status = -1;
            PhonEnvPtr env = LoadEnvBytes(bytes, &status);
            ASSERT_TRUE(status >= 0 && status <= 6) << status;
            ASSERT_EQ(env != nullptr, status == 0);
            if (!env) continue;
            ++loaded;
            // Words of many lengths and bytes; the sanitizers catch a read outside the loaded.
            for (std::size_t length = 1; length < 70; length += 9) {
                std::string word(length, ' ');
                for (char& c : word) c = static_cast<char>(1 + random() % 255);
                std::array<char, kClamTranscriptionCapacity> out{};
                std::array<char, kClamStoredKeyCapacity> key{};
                ClamPhoneticKey(word.c_str(), key.data(), kClamPhoneticKeyCapacity, env.get());
                if (ClamBuildStoredKeyWithEnv(word.c_str(), key.data(), env.get())) {
                    ClamKeyToWordWithEnv(key.data(), out.data(), env.get());
                }
                ClamKeyToWordWithEnv(word.c_str(), out.data(), env.get());
            }
        }
    }
    EXPECT_GT(loaded, 100);  // the mutations must also reach the coding
}

}  // namespace
