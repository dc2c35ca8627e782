#include "clam/coding/word_ops.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "clam/coding/char_tables.h"
#include "clam/coding/word_class.h"
#include "clam/store/clam_owners.h"
#include "clam/store/clam_verify.h"
#include "support/env_files.h"
#include "support/fault_platform.h"

namespace {

namespace fs = std::filesystem;

class WordOpsTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(dir_); }
    void TearDown() override { fs::remove_all(dir_); }
    ClamHandle* Open(const std::string& name, std::uint32_t mode = 0) {
        int status = 0;
        ClamHandle* handle =
            ClamOpenFile((dir_ / name).wstring(), mode, cache_.get(), env_.get(), &status);
        EXPECT_NE(handle, nullptr) << status;
        return handle;
    }
    std::vector<std::string> List(ClamHandle* handle) {
        std::vector<std::string> words;
        std::array<char, 256> out{};
        handle->wordsRead = 0;  // from the first word again
        while (ClamNextWord(out.data(), out.size(), handle) == 1) words.emplace_back(out.data());
        return words;
    }
    bool Present(ClamHandle* handle, const std::string& word) {
        return ClamFindWord(word.c_str(), handle, nullptr, nullptr) == 1;
    }

    fs::path dir_ =
        fs::temp_directory_path() / ("wordhaul-words-" + std::to_string(std::random_device{}()));
    ClamBlockCachePtr cache_{ClamNewBlockCache(5, 10)};
    testing_support::PhonEnvPtr env_ = testing_support::LoadLanguage(1);
};

TEST_F(WordOpsTest, WordsAreFoundByTheirClassesAndReplaceWordsAndPairsOfTheirKey) {
    ClamHandle* handle = Open("c.clam", kClamCreate);
    // A stored word, the words that find it and those that do not. Each replaces the one
    // before it where their keys are equal.
    const char* const kCases[][3] = {
        {"hello", "hello Hello HELLO", ""},  {"Hello", "Hello HELLO", "hello"},
        {"HELLO", "HELLO", "hello Hello"},   {"HeLLo", "HeLLo HeLLo.", "hello Hello"},
        {"U.S.A.", "U.S.A. USA", "usa Usa"}, {"etc.", "etc. Etc. ETC.", "etc"},
    };
    for (const auto& c : kCases) {
        ASSERT_NE(ClamAddWord(c[0], handle), 0);
        for (int found : {1, 2}) {
            std::istringstream words(c[found]);
            for (std::string w; words >> w;) EXPECT_EQ(Present(handle, w), found == 1) << c[0] << w;
        }
    }
    // Only the low five bits of a stored value name its class; an unlisted class accepts
    // nothing.
    EXPECT_EQ(ClamClassAccepts(3, 0x20 | 11), 1);
    EXPECT_EQ(ClamClassAccepts(16, 20), 0);
    EXPECT_EQ(ClamClassAccepts(4, 1), 0);

    const std::string longest(kClamMaxWordLength, 'a');
    EXPECT_NE(ClamAddWord(longest.c_str(), handle), 0);
    EXPECT_EQ(ClamAddWord((longest + "a").c_str(), handle), 0);
    EXPECT_TRUE(Present(handle, longest));
    EXPECT_FALSE(Present(handle, longest + "a"));
    EXPECT_EQ(ClamAddWord("", handle), 0);
    EXPECT_EQ(ClamAddWord("\x04", handle), 0);  // it would fall on the sentinel's key
    // A marked word shares the key of its unmarked form and replaces it, but is never found.
    ASSERT_NE(ClamAddWord("river", handle), 0);
    ASSERT_NE(ClamAddWord("ri\x04ver", handle), 0);
    EXPECT_FALSE(Present(handle, "ri\x04ver"));
    EXPECT_TRUE(Present(handle, "river"));
    // The regular and exact second halves of pairs replace each other; "cats" is another
    // first half.
    for (const char* word : {"cat", "cat\bdog", "cats\bmice", "cat\bCow", "cat\bDoG", "cat\beel"}) {
        ASSERT_NE(ClamAddWord(word, handle), 0) << word;
    }
    EXPECT_EQ(ClamClose(handle), 1);
    handle = Open("c.clam", kClamReadOnly);
    const std::vector<std::string> words = List(handle);
    EXPECT_EQ(std::multiset<std::string>(words.begin(), words.end()),
              (std::multiset<std::string>{"HELLO", "HeLLo", "U.S.A.", "etc.", longest, "ri\x04ver",
                                          "cat", "cat\beel", "cats\bmice"}));
    EXPECT_EQ(ClamAddWord("cat\bfox", handle), 0);
    EXPECT_EQ(ClamClose(handle), 1);
}

TEST_F(WordOpsTest, APairThatCannotBeStoredLeavesTheEarlierPairInPlace) {
    using testing_support::Op;
    ClamHandle* handle = Open("base.clam", kClamCreate);
    ASSERT_NE(ClamAddWord("cat\bdog", handle), 0);
    ASSERT_EQ(ClamClose(handle), 1);
    // Fill the root until the later pair makes it split; the split's first write (a reserved
    // block) fails, which refuses the pair and leaves the handle usable.
    for (int added = 1, filler = 0; added != 0; ++filler) {
        ASSERT_LT(filler, 1000);
        handle = Open("base.clam");
        ASSERT_NE(ClamAddWord(("f" + std::to_string(filler)).c_str(), handle), 0);
        ASSERT_EQ(ClamClose(handle), 1);
        fs::remove(dir_ / "try.clam");  // the MinGW build's copy_file refuses to overwrite
        fs::copy_file(dir_ / "base.clam", dir_ / "try.clam");
        handle = Open("try.clam");
        {
            testing_support::FaultPlatform fault;
            testing_support::ScopedPlatform use(fault);
            fault.FailNth(Op::kWrite, 1);
            added = ClamAddWord("cat\bcow", handle);
        }
        // Closed unchecked: the next round opens the file afresh.
        if (added != 0) static_cast<void>(ClamClose(handle));
    }
    EXPECT_EQ(handle->flags & kClamFailed, 0);
    EXPECT_EQ(ClamClose(handle), 1);
    handle = Open("try.clam", kClamReadOnly);
    const std::vector<std::string> words = List(handle);
    EXPECT_EQ(std::count(words.begin(), words.end(), "cat\bdog"), 1);
    EXPECT_EQ(std::count(words.begin(), words.end(), "cat\bcow"), 0);
    EXPECT_EQ(ClamClose(handle), 1);
}

TEST_F(WordOpsTest, AnInsertionEndsAnEnumerationAndAMissingSentinelFailsIt) {
    ClamHandle* handle = Open("e.clam", kClamCreate);
    for (const char* w : {"apple", "berry", "cherry"}) ASSERT_NE(ClamAddWord(w, handle), 0);
    std::array<char, 256> out{};
    ASSERT_EQ(ClamNextWord(out.data(), out.size(), handle), 1);
    EXPECT_STREQ(out.data(), "apple");
    ASSERT_NE(ClamAddWord("date", handle), 0);
    EXPECT_EQ(ClamNextWord(out.data(), out.size(), handle), 0);
    EXPECT_EQ(ClamNextWord(out.data(), out.size(), handle), 0);
    handle->wordsRead = 0;  // a short buffer gets the start of the word and its NUL
    ASSERT_EQ(ClamNextWord(out.data(), 3, handle), 1);
    EXPECT_STREQ(out.data(), "ap");
    ASSERT_EQ(ClamClose(handle), 1);
    {
        std::fstream file(dir_ / "e.clam", std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(8);  // the second byte of the sentinel's key in the root leaf
        file.put(static_cast<char>(env_->classBase + 1));
    }
    // The dictionary is damaged, not empty.
    handle = Open("e.clam", kClamReadOnly);
    EXPECT_TRUE(List(handle).empty());
    EXPECT_NE(handle->flags & kClamFailed, 0);
    EXPECT_EQ(ClamClose(handle), 0);
}

// Mostly lower-case words, some capitalised, some with a digit (kept in exact form).
TEST_F(WordOpsTest, ManyWordsOfSeveralLanguagesAreFoundAndListedAfterReopening) {
    std::mt19937 rng(2024);
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        const std::string name = "lang" + std::to_string(language) + ".clam";
        env_ = testing_support::LoadLanguage(language);
        ClamHandle* handle = Open(name, kClamCreate);
        std::string letters = testing_support::FoldedLetters(language);
        std::erase_if(letters, [&](char c) {  // not language 10's ij: it reads back as two letters
            const std::uint8_t b = c;
            return !(ClamLetterTypeTable(language)[b] & kClamLowerCaseLetter) ||
                   (language == 10 && (b | 1) == kClamDigraphIjUpper);
        });
        // Words of one encoded form share one key: the last one added is the one kept.
        std::map<std::string, std::string> byKey;
        for (int n = 0; n < 15001; ++n) {
            std::string word(2 + rng() % 12, ' ');
            for (char& c : word) c = letters[rng() % letters.size()];
            const unsigned kind = rng() % 10;
            if (kind < 2) word[0] = char(ClamUpperTable(language)[std::uint8_t(word[0])]);
            if (kind == 2) word += char('0' + rng() % 10);
            std::array<char, kClamEncodedCapacity> encoded{};
            ASSERT_NE(ClamEncodeWord(word.c_str(), encoded.data(), encoded.size(), language), 0);
            ASSERT_NE(ClamAddWord(word.c_str(), handle), 0) << word;
            byKey[encoded.data()] = word;
            if (n == 7500) {
                ASSERT_EQ(ClamClose(handle), 1);
                handle = Open(name);
            }
        }
        ASSERT_EQ(ClamClose(handle), 1);
        std::ostringstream bytes;
        bytes << std::ifstream(dir_ / name, std::ios::binary).rdbuf();
        const std::string image = bytes.str();
        const ClamVerifyReport report = ClamVerifyImage(
            {reinterpret_cast<const std::uint8_t*>(image.data()), image.size()}, *env_);
        ASSERT_TRUE(report.problems.empty()) << report.problems.front();
        EXPECT_EQ(report.liveRecords, byKey.size());
        handle = Open(name, kClamReadOnly);
        std::multiset<std::string> expected;
        for (const auto& [key, word] : byKey) {
            expected.insert(word);
            ASSERT_TRUE(Present(handle, word)) << word;
        }
        const std::vector<std::string> listed = List(handle);
        EXPECT_EQ(std::multiset<std::string>(listed.begin(), listed.end()), expected);
        EXPECT_EQ(ClamClose(handle), 1);
    }
}

}  // namespace
