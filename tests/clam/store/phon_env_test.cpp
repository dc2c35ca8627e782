#include "clam/store/phon_env.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "clam/coding/phonetic_keys.h"
#include "clam/store/clam_status.h"
#include "support/env_files.h"
#include "support/fault_platform.h"

namespace {

using testing_support::Bytes;
using testing_support::LoadEnvBytes;
using testing_support::PhonEnvPtr;

// A phonetic environment file put together field by field.
struct EnvFile {
    std::uint8_t version = 2;
    std::uint8_t language = 1;
    std::string magic = "PH";
    std::array<std::uint16_t, 7> numbers{1, 0, 0, 0, 0, 0, 0};  // N0..N6
    std::array<std::string, 9> sections;
    std::array<int, 9> declaredSize{-1, -1, -1, -1, -1, -1, -1, -1, -1};  // -1: the real size
    std::string trailing;

    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> out = {version, language, std::uint8_t(magic[0]),
                                         std::uint8_t(magic[1])};
        auto put = [&](std::size_t v) {
            out.push_back(std::uint8_t(v & 0xFF));
            out.push_back(std::uint8_t(v >> 8));
        };
        for (auto n : numbers) put(n);
        for (std::size_t i = 0; i < 9; ++i) {
            put(declaredSize[i] >= 0 ? std::size_t(declaredSize[i]) : sections[i].size());
        }
        for (const auto& s : sections) out.insert(out.end(), s.begin(), s.end());
        out.insert(out.end(), trailing.begin(), trailing.end());
        return out;
    }
};

PhonEnvPtr Load(const EnvFile& file, int& status) {
    status = -1;
    return LoadEnvBytes(file.Bytes(), &status);
}

// A small automaton: one rule "a" with the output at offset 1 of section 9.
EnvFile WithAutomaton() {
    EnvFile f;
    f.numbers[5] = 3;                       // trieSize
    f.sections[5] = Bytes("<00><00><00>");  // base
    f.sections[6] = Bytes("<00><00><00>");  // check
    f.sections[7] = Bytes("<7f><7f><11>");  // value 17: the output at offset 1
    f.sections[8] = Bytes("<00>ab<00>");
    return f;
}

TEST(PhonEnvLoader, SmallestFileLoadsWithOneEmptyClassString) {
    EnvFile f;
    ASSERT_EQ(f.Bytes().size(), kClamPhonEnvHeaderSize);
    int status = 0;
    PhonEnvPtr env = Load(f, status);
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(status, kClamStatusOk);
    EXPECT_EQ(env->classCount, 1u);
    EXPECT_STREQ(env->classTable[0], "");
    EXPECT_EQ(env->directValueCount, 16u);
    EXPECT_EQ(env->language, 1);

    f.version = 1;
    env = Load(f, status);
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(env->directValueCount, 10u);

    // An empty environment still codes words, every letter uncovered.
    std::array<char, kClamStoredKeyCapacity> key{};
    EXPECT_EQ(ClamBuildStoredKeyWithEnv("word", key.data(), env.get()), 1);
}

TEST(PhonEnvLoader, KeepsEverySectionWhereItBelongs) {
    EnvFile f = WithAutomaton();
    f.language = 39;
    f.numbers = {3, 2, 40, 16, 1, 3, 2};
    f.sections[0] = Bytes("<11><00><11><13><00><12><00>");
    f.sections[1] = Bytes("<04><0b>a<10>");
    f.sections[2] = "skipped";
    f.sections[3] = std::string(10, '\x55');
    f.sections[4] = std::string(512, '\x66');
    f.trailing = "bytes after the last section are not read";
    int status = -1;
    PhonEnvPtr env = Load(f, status);
    ASSERT_NE(env, nullptr) << status;
    EXPECT_EQ(env->languageCode, 39);
    EXPECT_EQ(env->classBase, 40u);
    EXPECT_EQ(env->classesPerRow, 16);
    EXPECT_EQ(env->rightContextOffset, 2);
    EXPECT_STREQ(env->classTable[0], "\x11");
    EXPECT_STREQ(env->classTable[1], "\x11\x13");
    EXPECT_STREQ(env->classTable[2], "\x12");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(env->symbolTable), 4), f.sections[1]);
    for (std::size_t i = 0; i < kClamPhonEnvMatrixSize; ++i) {
        ASSERT_EQ(env->matrix1[i], i < 10 ? 0x55 : 0) << i;
        ASSERT_EQ(env->matrix2[i], 0x66) << i;
    }
    EXPECT_EQ(env->trieValue[2], 0x11);
    EXPECT_STREQ(reinterpret_cast<char*>(env->ruleOutput + 1), "ab");
}

TEST(PhonEnvLoader, ReportsTheStatusOfEachRefusal) {
    struct Case {
        const char* what;
        std::function<void(EnvFile&)> change;
        int status;
    };
    const std::vector<Case> cases = {
        {"no magic", [](EnvFile& f) { f.magic = "PX"; }, kClamStatusNotPhonEnv},
        {"version 3", [](EnvFile& f) { f.version = 3; }, kClamStatusBadVersion},
        {"language 40", [](EnvFile& f) { f.language = 40; }, kClamStatusBadLanguage},
        {"section 1 short", [](EnvFile& f) { f.declaredSize[0] = 1; }, kClamStatusIoError},
        {"class count 0", [](EnvFile& f) { f.numbers[0] = 0; }, kClamStatusIoError},
        {"fewer class strings than the count",
         [](EnvFile& f) {
             f.numbers[0] = 3;
             f.sections[0] = Bytes("a<00>b<00>c");
         },
         kClamStatusIoError},
        {"symbol table shorter than its count",
         [](EnvFile& f) {
             f.numbers[1] = 3;
             f.sections[1] = "abcde";
         },
         kClamStatusIoError},
        {"section 4 above 512 bytes", [](EnvFile& f) { f.sections[3] = std::string(513, 'x'); },
         kClamStatusIoError},
        {"section 5 above 512 bytes", [](EnvFile& f) { f.sections[4] = std::string(600, 'x'); },
         kClamStatusIoError},
        {"automaton shorter than trieSize", [](EnvFile& f) { f.numbers[5] = 4; },
         kClamStatusIoError},
        {"rule output offset past section 9",
         [](EnvFile& f) { f.sections[7] = Bytes("<7f><7f><20>"); }, kClamStatusIoError},
        {"rule output not ended inside section 9",
         [](EnvFile& f) { f.sections[8] = Bytes("<00>abc"); }, kClamStatusIoError},
        {"right-context offset past section 9", [](EnvFile& f) { f.numbers[6] = 3; },
         kClamStatusIoError},
    };
    for (const Case& c : cases) {
        EnvFile f = WithAutomaton();
        c.change(f);
        int status = -1;
        EXPECT_EQ(Load(f, status), nullptr) << c.what;
        EXPECT_EQ(status, c.status) << c.what;
    }
    // The same automaton unchanged loads: the refusals above are the changes alone.
    int status = -1;
    EXPECT_NE(Load(WithAutomaton(), status), nullptr);
    EXPECT_EQ(status, kClamStatusOk);
}

TEST(PhonEnvLoader, ShortFilesAndFailedCallsGiveStatus3) {
    const std::vector<std::uint8_t> whole = testing_support::CompiledDefinition("lang01");
    for (std::size_t size : {std::size_t{0}, std::size_t{3}, std::size_t{4}, std::size_t{35},
                             std::size_t{36}, whole.size() - 1}) {
        int status = -1;
        EXPECT_EQ(LoadEnvBytes({whole.begin(), whole.begin() + long(size)}, &status), nullptr)
            << size;
        EXPECT_EQ(status, kClamStatusIoError) << size;
    }

    testing_support::FaultPlatform faults;
    testing_support::ScopedPlatform scoped(faults);
    int status = -1;
    faults.FailNth(testing_support::Op::kSeek, 1);
    EXPECT_EQ(LoadEnvBytes(whole, &status), nullptr);
    EXPECT_EQ(status, kClamStatusIoError);

    faults.ClearFaults();
    const int readsBefore = faults.Calls(testing_support::Op::kRead);
    ASSERT_NE(LoadEnvBytes(whole, &status), nullptr);
    const int reads = faults.Calls(testing_support::Op::kRead) - readsBefore;
    ASSERT_GE(reads, 8);  // header, numbers and every section that is not empty
    for (int n = 1; n <= reads; ++n) {
        faults.FailNth(testing_support::Op::kRead, n);
        status = -1;
        EXPECT_EQ(LoadEnvBytes(whole, &status), nullptr) << n;
        EXPECT_EQ(status, kClamStatusIoError) << n;
    }
}

// Codes words of every kind; the sanitizers catch any read outside the environment.
void CodeSampleWords(ClamPhonEnv* env, std::mt19937& random) {
    std::uniform_int_distribution<int> byte(1, 255);
    for (int w = 0; w < 8; ++w) {
        std::string word;
        const int length = 1 + w * 9;
        for (int i = 0; i < length; ++i) word.push_back(char(byte(random)));
        std::array<char, kClamTranscriptionCapacity> transcription{};
        std::array<char, kClamStoredKeyCapacity> key{};
        std::array<char, kClamKeyWordCapacity> back{};
        ClamTranscribe(word.c_str(), transcription.data(), transcription.size(), env);
        ClamPhoneticKey(word.c_str(), key.data(), kClamPhoneticKeyCapacity, env);
        if (ClamBuildStoredKeyWithEnv(word.c_str(), key.data(), env)) {
            ClamKeyToWordWithEnv(key.data(), back.data(), env);
        }
        ClamKeyToWordWithEnv(word.c_str(), back.data(), env);
    }
}

TEST(PhonEnvLoader, MutatedEnvironmentsLoadSafelyOrNotAtAll) {
    std::mt19937 random(20240611);
    int loaded = 0;
    for (int language : testing_support::DefinedLanguages()) {
        const std::vector<std::uint8_t> original =
            testing_support::CompiledDefinition(testing_support::DefinitionName(language));
        std::uniform_int_distribution<std::size_t> position(0, original.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int round = 0; round < 150; ++round) {
            std::vector<std::uint8_t> bytes = original;
            const int changes = 1 + round % 6;
            for (int c = 0; c < changes; ++c) {
                // Mostly the header and the automaton's numbers, where a change matters most.
                const std::size_t at = round % 3 == 0 ? position(random) % 36 : position(random);
                bytes[at] = std::uint8_t(byte(random));
            }
            if (round % 10 == 9) bytes.resize(position(random));
            int status = -1;
            PhonEnvPtr env = LoadEnvBytes(bytes, &status);
            ASSERT_GE(status, 0);
            ASSERT_LE(status, 6);
            ASSERT_EQ(env != nullptr, status == 0);
            if (env) {
                ++loaded;
                CodeSampleWords(env.get(), random);
            }
        }
    }
    EXPECT_GT(loaded, 100);  // the mutations must also reach the coding
}

}  // namespace
