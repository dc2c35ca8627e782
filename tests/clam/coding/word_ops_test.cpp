#include "clam/coding/word_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "clam/coding/char_tables.h"
#include "clam/coding/word_class.h"
#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"
#include "clam/store/clam_verify.h"
#include "support/env_files.h"
#include "support/fault_platform.h"

namespace {

using testing_support::LoadLanguage;
using testing_support::PhonEnvPtr;

class WordOpsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device seed;
        dir_ = std::filesystem::temp_directory_path() /
               ("wordhaul-words-" + std::to_string(seed()) + std::to_string(seed()));
        std::filesystem::create_directories(dir_);
        cache_ = ClamNewBlockCache(5, 10);
    }
    void TearDown() override {
        ClamFreeBlockCache(cache_);
        std::filesystem::remove_all(dir_);
    }
    std::wstring Path(const std::string& name) const { return (dir_ / name).wstring(); }
    ClamHandle* Open(const std::string& name, ClamPhonEnv* env, std::uint32_t mode = 0) {
        int status = 0;
        ClamHandle* handle = ClamOpenFile(Path(name), mode, cache_, env, &status);
        EXPECT_NE(handle, nullptr) << status;
        return handle;
    }
    ClamHandle* Create(const std::string& name, int language) {
        env_ = LoadLanguage(language);
        return Open(name, env_.get(), kClamCreate);
    }
    std::vector<std::string> List(ClamHandle* handle) {
        std::vector<std::string> words;
        std::array<char, 256> out{};
        handle->wordsRead = 0;  // from the first word again
        while (ClamNextWord(out.data(), out.size(), handle) == 1) words.emplace_back(out.data());
        return words;
    }
    bool Present(ClamHandle* handle, const std::string& word, std::uint32_t* value = nullptr) {
        std::uint32_t attributes = 0;
        std::uint32_t flags = 0;
        const int found = ClamFindWord(word.c_str(), handle, &attributes, &flags);
        EXPECT_EQ(flags, 0u);
        if (value != nullptr) *value = attributes;
        return found == 1;
    }
    ClamVerifyReport Verify(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        const std::string bytes = all.str();
        return ClamVerifyImage({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                               *env_);
    }

    std::filesystem::path dir_;
    ClamBlockCache* cache_ = nullptr;
    PhonEnvPtr env_;
};

TEST_F(WordOpsTest, StoredClassesAcceptLookedUpClassesByTheTable) {
    ClamHandle* handle = Create("c.clam", 1);
    EXPECT_TRUE(List(handle).empty());
    EXPECT_FALSE(Present(handle, "hello"));
    struct Case {
        const char* stored;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"hello", {"hello", "Hello", "HELLO"}, {}},
        {"Hello", {"Hello", "HELLO"}, {"hello"}},
        {"HELLO", {"HELLO"}, {"hello", "Hello"}},
        {"HeLLo", {"HeLLo", "HeLLo."}, {"hello", "Hello"}},
        {"U.S.A.", {"U.S.A.", "USA"}, {"usa", "Usa"}},
        {"etc.", {"etc.", "Etc.", "ETC."}, {"etc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_NE(ClamAddWord(c.stored, handle), 0);
        for (const std::string& w : c.present) EXPECT_TRUE(Present(handle, w)) << w;
        for (const std::string& w : c.absent) EXPECT_FALSE(Present(handle, w)) << w;
    }
    // Only the low five bits of a stored value name its class; 0 and unlisted classes accept
    // and are accepted by nothing.
    EXPECT_EQ(ClamClassAccepts(3, 0x20 | 11), 1);
    EXPECT_EQ(ClamClassAccepts(20, 16), 1);
    EXPECT_EQ(ClamClassAccepts(16, 20), 0);
    EXPECT_EQ(ClamClassAccepts(4, 1), 0);
    EXPECT_EQ(ClamClassAccepts(1, 0), 0);
    EXPECT_EQ(ClamClose(handle), 1);
}

TEST_F(WordOpsTest, WordsAreBoundedAndMarkedOrPairedWordsAreNeverLookedUp) {
    ClamHandle* handle = Create("b.clam", 1);
    const std::string longest(kClamMaxWordLength, 'a');
    EXPECT_NE(ClamAddWord(longest.c_str(), handle), 0);
    EXPECT_EQ(ClamAddWord((longest + "a").c_str(), handle), 0);
    EXPECT_TRUE(Present(handle, longest));
    EXPECT_FALSE(Present(handle, longest + "a"));
    EXPECT_EQ(ClamAddWord("", handle), 0);
    // A marked word shares the key of its unmarked form and replaces it.
    ASSERT_NE(ClamAddWord("river", handle), 0);
    ASSERT_NE(ClamAddWord("ri\x04ver", handle), 0);
    EXPECT_FALSE(Present(handle, "ri\x04ver"));
    EXPECT_TRUE(Present(handle, "river"));
    EXPECT_EQ(List(handle), (std::vector<std::string>{longest, "ri\x04ver"}));
    // A word that is nothing but a marker would fall on the sentinel's key: refused.
    EXPECT_EQ(ClamAddWord("\x04", handle), 0);
    EXPECT_EQ(ClamClose(handle), 1);
}

TEST_F(WordOpsTest, APairReplacesTheEarlierPairOfItsFirstHalf) {
    ClamHandle* handle = Create("p.clam", 1);
    ASSERT_NE(ClamAddWord("cat", handle), 0);
    ASSERT_NE(ClamAddWord("cat\x08"
                          "dog",
                          handle),
              0);
    ASSERT_NE(ClamAddWord("cat\x08"
                          "Cow",
                          handle),
              0);
    ASSERT_NE(ClamAddWord("cats\x08"
                          "mice",
                          handle),
              0);
    EXPECT_EQ(List(handle), (std::vector<std::string>{"cat",
                                                      "cat\x08"
                                                      "Cow",
                                                      "cats\x08"
                                                      "mice"}));
    // A second half in exact form replaces a regular one, and is replaced in turn.
    ASSERT_NE(ClamAddWord("cat\x08"
                          "DoG",
                          handle),
              0);
    EXPECT_EQ(List(handle), (std::vector<std::string>{"cat",
                                                      "cat\x08"
                                                      "DoG",
                                                      "cats\x08"
                                                      "mice"}));
    ASSERT_NE(ClamAddWord("cat\x08"
                          "eel",
                          handle),
              0);
    EXPECT_EQ(ClamClose(handle), 1);
    handle = Open("p.clam", env_.get(), kClamReadOnly);
    EXPECT_EQ(List(handle), (std::vector<std::string>{"cat",
                                                      "cat\x08"
                                                      "eel",
                                                      "cats\x08"
                                                      "mice"}));
    EXPECT_EQ(ClamAddWord("cat\x08"
                          "fox",
                          handle),
              0);  // read-only
    EXPECT_EQ(ClamClose(handle), 1);
    EXPECT_TRUE(Verify("p.clam").problems.empty());
}

TEST_F(WordOpsTest, APairThatCannotBeStoredLeavesTheEarlierPairInPlace) {
    using testing_support::FaultPlatform;
    using testing_support::Op;
    using testing_support::ScopedPlatform;
    const std::string earlier =
        "cat\x08"
        "dog";
    const std::string later =
        "cat\x08"
        "cow";
    ClamHandle* handle = Create("base.clam", 1);
    ASSERT_NE(ClamAddWord(earlier.c_str(), handle), 0);
    ASSERT_EQ(ClamClose(handle), 1);
    // Fill the root until the later pair makes it split; the split's first write (a reserved
    // block) fails, which refuses the pair and leaves the handle usable.
    for (int filler = 0;; ++filler) {
        ASSERT_LT(filler, 1000);
        std::filesystem::copy_file(dir_ / "base.clam", dir_ / "try.clam",
                                   std::filesystem::copy_options::overwrite_existing);
        handle = Open("try.clam", env_.get());
        int added = 0;
        {
            FaultPlatform fault;
            ScopedPlatform use(fault);
            fault.FailNth(Op::kWrite, 1);
            added = ClamAddWord(later.c_str(), handle);
        }
        if (added == 0) break;
        ClamClose(handle);
        handle = Open("base.clam", env_.get());
        const std::string word = {'f', static_cast<char>('a' + filler % 26),
                                  static_cast<char>('a' + filler / 26)};
        ASSERT_NE(ClamAddWord(word.c_str(), handle), 0);
        ASSERT_EQ(ClamClose(handle), 1);
    }
    EXPECT_EQ(handle->flags & kClamFailed, 0);
    EXPECT_EQ(ClamClose(handle), 1);
    handle = Open("try.clam", env_.get(), kClamReadOnly);
    const std::vector<std::string> words = List(handle);
    EXPECT_EQ(std::count(words.begin(), words.end(), earlier), 1);
    EXPECT_EQ(std::count(words.begin(), words.end(), later), 0);
    EXPECT_EQ(ClamClose(handle), 1);
}

TEST_F(WordOpsTest, ADictionaryWithoutItsSentinelIsDamagedNotEmpty) {
    ClamHandle* handle = Create("s.clam", 1);
    for (const char* w : {"apple", "berry"}) ASSERT_NE(ClamAddWord(w, handle), 0);
    ASSERT_EQ(ClamClose(handle), 1);
    {
        std::fstream file(dir_ / "s.clam", std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(8);  // the second byte of the sentinel's key in the root leaf
        file.put(static_cast<char>(env_->classBase + 1));
    }
    handle = Open("s.clam", env_.get(), kClamReadOnly);
    EXPECT_TRUE(List(handle).empty());
    EXPECT_NE(handle->flags & kClamFailed, 0);
    EXPECT_EQ(ClamClose(handle), 0);
}

TEST_F(WordOpsTest, AnInsertionEndsAnEnumeration) {
    ClamHandle* handle = Create("e.clam", 1);
    for (const char* w : {"apple", "berry", "cherry"}) ASSERT_NE(ClamAddWord(w, handle), 0);
    std::array<char, 256> out{};
    ASSERT_EQ(ClamNextWord(out.data(), out.size(), handle), 1);
    EXPECT_STREQ(out.data(), "apple");
    ASSERT_NE(ClamAddWord("date", handle), 0);
    EXPECT_EQ(ClamNextWord(out.data(), out.size(), handle), 0);
    EXPECT_EQ(ClamNextWord(out.data(), out.size(), handle), 0);
    // A short buffer gets the start of the word and its NUL.
    handle->wordsRead = 0;
    ASSERT_EQ(ClamNextWord(out.data(), 3, handle), 1);
    EXPECT_STREQ(out.data(), "ap");
    EXPECT_EQ(ClamClose(handle), 1);
}

// Lower-case letters of a language's alphabet.
std::vector<char> LowerLetters(int language) {
    const std::uint8_t* alphabet = ClamAlphabetTable(language);
    const std::uint8_t* type = ClamLetterTypeTable(language);
    std::vector<char> letters;
    for (int c = 0x21; c < 256; ++c) {
        // Language 10 keeps its ij digraph as one byte, which reads back as two letters.
        if (language == 10 && (c == kClamDigraphIjLower || c == kClamDigraphIjUpper)) continue;
        if ((alphabet[c] & kClamValidWordChar) && (type[c] & kClamLowerCaseLetter)) {
            letters.push_back(static_cast<char>(c));
        }
    }
    return letters;
}

// Mostly lower-case words, some capitalised, some with a digit (kept in exact form).
std::string RandomWord(std::mt19937& rng, const std::vector<char>& letters, int language) {
    std::string word;
    const std::size_t length = 2 + rng() % 12;
    while (word.size() < length) word.push_back(letters[rng() % letters.size()]);
    const unsigned kind = rng() % 10;
    if (kind < 2)
        word[0] = static_cast<char>(ClamUpperTable(language)[static_cast<std::uint8_t>(word[0])]);
    if (kind == 2) word.push_back(static_cast<char>('0' + rng() % 10));
    return word;
}

TEST_F(WordOpsTest, ManyWordsOfSeveralLanguagesAreFoundAndListedAfterReopening) {
    const std::vector<int> languages = testing_support::DefinedLanguages();
    ASSERT_GE(languages.size(), 5u);
    const int perLanguage = 105000 / static_cast<int>(languages.size()) + 1;
    std::mt19937 rng(2024);
    for (int language : languages) {
        SCOPED_TRACE(language);
        const std::string name = "lang" + std::to_string(language) + ".clam";
        ClamHandle* handle = Create(name, language);
        const std::vector<char> letters = LowerLetters(language);
        ASSERT_FALSE(letters.empty());
        // Words of one encoded form share one key: the last one added is the one kept.
        std::map<std::string, std::string> byKey;
        for (int n = 0; n < perLanguage; ++n) {
            const std::string word = RandomWord(rng, letters, language);
            std::array<char, kClamEncodedCapacity> encoded{};
            if (ClamEncodeWord(word.c_str(), encoded.data(), encoded.size(), language) == 0)
                continue;
            ASSERT_NE(ClamAddWord(word.c_str(), handle), 0) << word;
            byKey[encoded.data()] = word;
            if (n == perLanguage / 2) {
                ASSERT_EQ(ClamClose(handle), 1);
                handle = Open(name, env_.get());
            }
        }
        ASSERT_EQ(ClamClose(handle), 1);
        const ClamVerifyReport report = Verify(name);
        ASSERT_TRUE(report.problems.empty()) << report.problems.front();
        EXPECT_EQ(report.liveRecords, byKey.size());
        handle = Open(name, env_.get(), kClamReadOnly);
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
