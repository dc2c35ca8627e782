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
#include "support/fault_platform.h"

namespace {

using testing_support::Bytes;
using testing_support::FaultPlatform;
using testing_support::LoadEnvBytes;
using testing_support::Op;
using testing_support::PhonEnvPtr;
using testing_support::ScopedPlatform;

// An environment file put together field by field, its sections written as for Bytes(); as
// it stands, one rule whose automaton value 17 selects the output "ab" at offset 1 of
// section 9.
struct EnvFile {
    std::uint8_t version = 2, language = 1;
    std::string magic = "PH";
    std::array<std::uint16_t, 7> numbers{1, 0, 0, 0, 0, 3, 0};  // N0..N6; N5 is trieSize
    std::array<std::string, 9> sections{
        "", "", "", "", "", "<00><00><00>", "<00><00><00>", "<7f><7f><11>", "<00>ab<00>"};
    std::array<int, 9> declared{-1, -1, -1, -1, -1, -1, -1, -1, -1};  // -1: the real size
    std::string trailing;

    PhonEnvPtr Load(int& status) const {
        std::vector<std::uint8_t> out = {version, language, std::uint8_t(magic[0]),
                                         std::uint8_t(magic[1])};
        auto put = [&](std::size_t v) {
            out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
        };
        for (auto n : numbers) put(n);
        std::string body;
        for (std::size_t i = 0; i < 9; ++i) {
            const std::string section = Bytes(sections[i]);
            put(declared[i] >= 0 ? std::size_t(declared[i]) : section.size());
            body += section;
        }
        out.insert(out.end(), body.begin(), body.end());
        out.insert(out.end(), trailing.begin(), trailing.end());
        status = -1;
        return LoadEnvBytes(out, &status);
    }
};

TEST(PhonEnvLoader, PutsEverySectionWhereItBelongs) {
    EnvFile f;
    f.version = 1;  // ten direct values: the automaton value 11 selects offset 1
    f.language = 39;
    f.numbers = {3, 2, 40, 16, 1, 3, 2};
    f.sections[0] = "<11><00><11><13><00><12><00>";
    f.sections[1] = "<04><0b>a<10>";
    f.sections[2] = "skipped";
    f.sections[3] = std::string(10, '\x55');
    f.sections[4] = std::string(512, '\x66');
    f.sections[7] = "<7f><7f><0b>";
    f.trailing = "bytes after the last section are not read";
    int status = -1;
    PhonEnvPtr env = f.Load(status);
    ASSERT_NE(env, nullptr) << status;
    EXPECT_EQ(env->directValueCount, 10u);
    EXPECT_EQ(env->languageCode, 39);
    EXPECT_EQ(env->classBase, 40u);
    EXPECT_EQ(env->classesPerRow, 16);
    EXPECT_EQ(env->rightContextOffset, 2);
    EXPECT_STREQ(env->classTable[1], "\x11\x13");
    EXPECT_STREQ(env->classTable[2], "\x12");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(env->symbolTable), 4), Bytes(f.sections[1]));
    for (std::size_t i = 0; i < kClamPhonEnvMatrixSize; ++i) {
        ASSERT_EQ(env->matrix1[i], i < 10 ? 0x55 : 0) << i;  // zero past its section
        ASSERT_EQ(env->matrix2[i], 0x66) << i;
    }
    EXPECT_EQ(env->trieValue[2], 0x0B);
    EXPECT_STREQ(reinterpret_cast<char*>(env->ruleOutput + 1), "ab");
}

TEST(PhonEnvLoader, RefusesEachFaultWithItsStatus) {
    const std::pair<std::function<void(EnvFile&)>, int> cases[] = {
        {[](EnvFile& f) { f.magic = "PX"; }, kClamStatusNotPhonEnv},
        {[](EnvFile& f) { f.version = 3; }, kClamStatusBadVersion},
        {[](EnvFile& f) { f.language = 40; }, kClamStatusBadLanguage},
        {[](EnvFile& f) { f.declared[0] = 1; }, kClamStatusIoError},  // section 1 short
        {[](EnvFile& f) { f.numbers[0] = 0; }, kClamStatusIoError},   // no class
        {[](EnvFile& f) { f.numbers[0] = 3, f.sections[0] = "a<00>b<00>c"; },
         kClamStatusIoError},  // fewer class strings than the count
        {[](EnvFile& f) { f.numbers[1] = 3, f.sections[1] = "abcde"; },
         kClamStatusIoError},  // a symbol table shorter than its count
        {[](EnvFile& f) { f.sections[3] = std::string(513, 'x'); }, kClamStatusIoError},
        {[](EnvFile& f) { f.sections[4] = std::string(600, 'x'); }, kClamStatusIoError},
        {[](EnvFile& f) { f.numbers[5] = 4; }, kClamStatusIoError},  // automaton < trieSize
        {[](EnvFile& f) { f.sections[7] = "<7f><7f><20>"; },
         kClamStatusIoError},  // a rule output past section 9
        {[](EnvFile& f) { f.sections[8] = "<00>abc"; },
         kClamStatusIoError},  // a rule output not ended inside section 9
        {[](EnvFile& f) { f.numbers[6] = 3; }, kClamStatusIoError},  // right context past it
    };
    int status = -1;
    EXPECT_NE(EnvFile().Load(status), nullptr);  // the refusals are the changes alone
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EnvFile f;
        cases[i].first(f);
        EXPECT_EQ(f.Load(status), nullptr) << i;
        EXPECT_EQ(status, cases[i].second) << i;
    }
}

TEST(PhonEnvLoader, ShortFilesAndFailedCallsGiveStatus3) {
    const std::vector<std::uint8_t> whole = testing_support::CompiledDefinition("lang01");
    int status = -1;
    auto loads = [&](const std::vector<std::uint8_t>& bytes) {
        status = -1;
        return LoadEnvBytes(bytes, &status) != nullptr;
    };
    for (const std::size_t cut :
         {std::size_t{0}, std::size_t{35}, std::size_t{36}, whole.size() - 1}) {
        EXPECT_FALSE(loads({whole.begin(), whole.begin() + std::ptrdiff_t(cut)})) << cut;
        EXPECT_EQ(status, kClamStatusIoError) << cut;
    }
    FaultPlatform faults;
    ScopedPlatform scoped(faults);
    ASSERT_TRUE(loads(whole));
    const int reads = faults.Calls(Op::kRead);
    ASSERT_GE(reads, 8);                // header, numbers and every section that is not empty
    for (int n = 0; n <= reads; ++n) {  // n = 0: the seek
        faults.FailNth(n == 0 ? Op::kSeek : Op::kRead, n == 0 ? 1 : n);
        EXPECT_FALSE(loads(whole)) << n;
        EXPECT_EQ(status, kClamStatusIoError) << n;
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
            ASSERT_GE(status, 0);
            ASSERT_LE(status, 6);
            ASSERT_EQ(env != nullptr, status == 0);
            if (!env) continue;
            ++loaded;
            // Words of many lengths and bytes; the sanitizers catch a read outside the loaded.
            for (std::size_t length = 1; length < 70; length += 9) {
                std::string word(length, ' ');
                for (char& c : word) c = static_cast<char>(1 + random() % 255);
                std::array<char, kClamTranscriptionCapacity> out{};
                std::array<char, kClamStoredKeyCapacity> key{};
                ClamTranscribe(word.c_str(), out.data(), out.size(), env.get());
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
