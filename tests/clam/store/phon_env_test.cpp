// The phonetic environment loader: where each section goes, every refusal with its status,
// and mutated files, which must load safely or not at all.
#include "clam/store/phon_env.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <string>

#include "clam/coding/phonetic_keys.h"
#include "clam/store/clam_status.h"
#include "support/env_files.h"

namespace {

using testing_support::Bytes;
using testing_support::LoadEnvBytes;
using testing_support::PhonEnvPtr;

// Of version 1 (ten direct values), so that the automaton value 11 selects "ab" at offset 1
// of section 9, and with sections 3 to 5 filled, as our compiled files never have them.
struct EnvFile : testing_support::CraftedEnv {
    EnvFile() {
        version = 1;
        numbers = {1, 0, 0, 0, 0, 3, 0};  // N0..N6; N5 is trieSize
        sections = {"",
                    "",
                    "skipped",
                    std::string(10, 'U'),
                    std::string(kClamPhonEnvMatrixSize, 'f'),
                    Bytes("<00><00><00>"),
                    Bytes("<00><00><00>"),
                    Bytes("<7f><7f><0b>"),
                    Bytes("<00>ab<00>")};
    }
};

// Each refusal at its bound, next to the file one byte or one count away that loads: a file
// is refused only where the loader or the coding would read outside what it loaded.
TEST(PhonEnvLoader, PutsEachSectionInPlaceAndRefusesEachFaultAtItsBound) {
    const struct {
        std::function<void(EnvFile&)> change;
        int status = kClamStatusIoError;
    } cases[] = {
        {[](EnvFile& f) { f.magic = "PX"; }, kClamStatusNotPhonEnv},
        {[](EnvFile& f) { f.version = 3; }, kClamStatusBadVersion},
        {[](EnvFile& f) { f.version = 0; }, kClamStatusBadVersion},
        {[](EnvFile& f) { f.language = 40; }, kClamStatusBadLanguage},
        {[](EnvFile& f) { f.language = 0; }, kClamStatusBadLanguage},
        {[](EnvFile& f) { f.language = 39; }, kClamStatusOk},
        {[](EnvFile& f) { f.declared[0] = 1; }},                 // the file ends inside section 1
        {[](EnvFile& f) { f.declared[8] = 5; }},                 // ... or inside section 9
        {[](EnvFile& f) { f.declared[8] = 2; }, kClamStatusOk},  // bytes after it are left
        // The class search reads classCount strings of section 1.
        {[](EnvFile& f) { f.numbers[0] = 0; }, kClamStatusOk},
        {[](EnvFile& f) { f.numbers[0] = 3, f.sections[0] = Bytes("a<00>b<00>c"); }},
        {[](EnvFile& f) { f.numbers[0] = 3, f.sections[0] = Bytes("a<00>b<00>c<00>"); },
         kClamStatusOk},
        // The coding reads symbolCount entries, the first 256 at most.
        {[](EnvFile& f) { f.numbers[1] = 3, f.sections[1] = "abcde"; }},
        {[](EnvFile& f) { f.numbers[1] = 3, f.sections[1] = "abcdef"; }, kClamStatusOk},
        {[](EnvFile& f) { f.numbers[1] = 300, f.sections[1] = std::string(511, 'x'); }},
        {[](EnvFile& f) { f.numbers[1] = 300, f.sections[1] = std::string(512, 'x'); },
         kClamStatusOk},
        // Sections 4 and 5 go into matrices of 512 bytes.
        {[](EnvFile& f) { f.sections[3] = std::string(513, 'x'); }},
        {[](EnvFile& f) { f.sections[4] = std::string(513, 'x'); }},
        {[](EnvFile& f) { f.sections[3] = std::string(512, 'x'); }, kClamStatusOk},
        // The automaton walk reads trieSize cells of sections 6, 7 and 8.
        {[](EnvFile& f) { f.numbers[5] = 4; }},
        {[](EnvFile& f) { f.sections[5].pop_back(); }},
        {[](EnvFile& f) { f.sections[6].pop_back(); }},
        {[](EnvFile& f) { f.sections[7].pop_back(); }},
        // Rule outputs are bounded where they are read: past section 9 (plainly or with the
        // right-context offset), or not ended in it.
        {[](EnvFile& f) { f.sections[7] = Bytes("<7f><7f><20>"); }, kClamStatusOk},
        {[](EnvFile& f) { f.numbers[6] = 3; }, kClamStatusOk},
        {[](EnvFile& f) { f.sections[8] = Bytes("<00>abc"); }, kClamStatusOk},
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
        env = f.Load(status);
        EXPECT_EQ(status, cases[i].status) << i;
        EXPECT_EQ(env != nullptr, status == kClamStatusOk) << i;
        if (env == nullptr) continue;
        std::array<char, kClamStoredKeyCapacity> key{};  // the sanitizers watch the reads
        ClamPhoneticKey("abc", key.data(), kClamPhoneticKeyCapacity, env.get());
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
