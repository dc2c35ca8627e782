// The store's fast paths against the plain path of reference_store.h: the same lookups and
// insertions, on two files sharing one cache per side, must give the same answers and leave
// byte-identical files.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "clam/coding/word_ops.h"
#include "clam/store/clam_owners.h"
#include "reference_store.h"
#include "support/env_files.h"
#include "support/temp_prefix.h"

namespace {

enum Side { kFast, kPlain };

// One side: its own cache and two dictionaries open in it.
struct SideFiles {
    ClamBlockCachePtr cache{ClamNewBlockCache(5, 10)};
    std::array<ClamHandlePtr, 2> handles;  // dropped before the cache they write through
    std::array<std::wstring, 2> paths;
};

class DifferentialTest : public ::testing::Test {
  protected:
    void SetUp() override {
        keyEnv_.language = keyEnv_.languageCode = 1;
        keyEnv_.classBase = 'A';
    }
    void Create(ClamPhonEnv* env) {
        for (SideFiles& side : sides_) {
            for (ClamHandlePtr& handle : side.handles) handle.reset();
        }
        for (int s = 0; s < 2; ++s) {
            for (int f = 0; f < 2; ++f) {
                SideFiles& side = sides_[s];
                side.paths[f] = (scratch_.DriveC() / (std::to_string(s) + std::to_string(f) + "-" +
                                                      std::to_string(++files_)))
                                    .wstring();
                int status = 0;
                side.handles[f].reset(
                    ClamOpenFile(side.paths[f], kClamCreate, side.cache.get(), env, &status));
                ASSERT_NE(side.handles[f], nullptr);
            }
        }
        env_ = env;
    }
    // Closes every file, requires the two sides' files to be byte-identical, and reopens them.
    void CompareFiles() {
        for (int f = 0; f < 2; ++f) {
            std::array<std::string, 2> bytes;
            for (int s = 0; s < 2; ++s) {
                SideFiles& side = sides_[s];
                ASSERT_EQ(CloseClamHandle(side.handles[f]), 1);
                bytes[s] = scratch_.ReadFile(side.paths[f]);
                int status = 0;
                side.handles[f].reset(
                    ClamOpenFile(side.paths[f], 0, side.cache.get(), env_, &status));
                ASSERT_NE(side.handles[f], nullptr);
            }
            ASSERT_GT(bytes[kFast].size(), 0u);
            ASSERT_TRUE(bytes[kFast] == bytes[kPlain]) << "file " << f << " differs";
        }
    }
    // Runs one operation on both sides; their answers and failed states must agree.
    void Both(int file, const std::function<int(Side, ClamHandle*)>& op, const std::string& what) {
        const int fast = op(kFast, sides_[kFast].handles[file].get());
        const int plain = op(kPlain, sides_[kPlain].handles[file].get());
        ASSERT_EQ(fast, plain) << what;
        ASSERT_EQ(sides_[kFast].handles[file]->value, sides_[kPlain].handles[file]->value) << what;
        ASSERT_EQ(sides_[kFast].handles[file]->flags, sides_[kPlain].handles[file]->flags) << what;
    }
    // The import's step for a stored key: a lookup, and an insertion when it was absent (or
    // now and then anyway, to replace an equal key).
    void LookupThenInsert(int file, const std::string& key, std::uint16_t value, bool always,
                          const std::function<void()>& between = {}) {
        int found = 0;
        Both(
            file,
            [&](Side s, ClamHandle* h) {
                found = s == kFast ? ClamSeekKey(h, key.c_str(), 0)
                                   : reference::SeekKey(h, key.c_str());
                return found;
            },
            "seek " + key);
        if (found == 1 && !always) return;
        if (between) between();
        Both(
            file,
            [&](Side s, ClamHandle* h) {
                return s == kFast ? ClamInsertStoredKey(h, key.c_str(), value)
                                  : reference::InsertStoredKey(h, key.c_str(), value);
            },
            "insert " + key);
    }
    void Words(int file, const std::string& word, bool lookupFirst) {
        if (lookupFirst) {
            std::uint32_t found = 0;
            Both(
                file,
                [&](Side s, ClamHandle* h) {
                    found = s == kFast
                                ? ClamFindWord(word.c_str(), h, nullptr, nullptr)
                                : reference::words::FindWord(word.c_str(), h, nullptr, nullptr);
                    return static_cast<int>(found);
                },
                "find " + word);
            if (found == 1) return;
        }
        Both(
            file,
            [&](Side s, ClamHandle* h) {
                return s == kFast ? ClamAddWord(word.c_str(), h)
                                  : reference::words::AddWord(word.c_str(), h);
            },
            "add " + word);
    }
    // Keys in the store's order, as an import from another dictionary meets them.
    static void SortByKeyOrder(std::vector<std::string>& keys) {
        std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
            return reference::CompareKeys(a.c_str(), b.c_str()) < 0;
        });
    }

    testing_support::TempPrefix scratch_;
    ClamPhonEnv keyEnv_{};
    ClamPhonEnv* env_ = nullptr;
    std::array<SideFiles, 2> sides_;
    int files_ = 0;
};

// Class bytes 'B' to 'E', then letters, with marker codes (1 to 3), bytes 5 to 7 and a
// separator with raw bytes after it mixed in when `marked`.
std::string MakeKey(std::mt19937& rng, std::size_t minLength, std::size_t maxLength, bool marked) {
    std::string key = {static_cast<char>('B' + rng() % 4), static_cast<char>('B' + rng() % 4)};
    const std::size_t length = minLength + rng() % (maxLength - minLength + 1);
    bool separated = false;
    while (key.size() < length) {
        const unsigned kind = marked ? rng() % 12 : 9;
        if (kind == 0) {
            key.push_back(static_cast<char>(1 + rng() % 3));
        } else if (kind == 1) {
            key.push_back(static_cast<char>(5 + rng() % 3));
        } else if (kind == 2 && !separated && key.size() > 2) {
            key.push_back(4);
            separated = true;
        } else {
            key.push_back(static_cast<char>('a' + rng() % (marked ? 4 : 26)));
        }
    }
    return key;
}

TEST_F(DifferentialTest, KeysInRandomSortedAndReverseOrdersWithMarkersAndSplitsAtEveryDepth) {
    std::mt19937 rng(11);
    struct Run {
        const char* name;
        std::size_t count, minLength, maxLength;
        bool marked;
        int order;  // 0 random, 1 key order, -1 reverse
    };
    const Run runs[] = {
        {"short random", 6000, 3, 12, false, 0},    {"short sorted", 6000, 3, 12, false, 1},
        {"marked random", 5000, 3, 10, true, 0},    {"marked sorted", 5000, 3, 10, true, 1},
        {"long reverse", 3000, 20, 120, false, -1}, {"deepest", 40000, 197, 197, false, 0},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        Create(&keyEnv_);
        std::vector<std::string> keys;
        for (std::size_t i = 0; i < run.count; ++i) {
            keys.push_back(MakeKey(rng, run.minLength, run.maxLength, run.marked));
        }
        if (run.order != 0) SortByKeyOrder(keys);
        if (run.order < 0) std::reverse(keys.begin(), keys.end());
        for (std::size_t i = 0; i < keys.size() && !HasFatalFailure(); ++i) {
            const int file = rng() % 5 == 0 ? 1 : 0;
            // Now and then the other file's work comes between a lookup and its insertion.
            std::function<void()> between;
            if (rng() % 9 == 0) {
                between = [&] {
                    for (int n = 0; n < 4; ++n) {
                        LookupThenInsert(1 - file, MakeKey(rng, 40, 197, false), 2, false);
                    }
                };
            }
            LookupThenInsert(file, keys[i], static_cast<std::uint16_t>(1 + rng() % 20),
                             rng() % 7 == 0, between);
            // A lookup of another key, a close, or a key that no store takes, in between.
            if (rng() % 11 == 0) LookupThenInsert(1 - file, keys[rng() % (i + 1)], 3, false);
            if (rng() % 997 == 0) CompareFiles();
            if (rng() % 13 == 0) LookupThenInsert(file, "AA", 1, true);
        }
        // Every key again in key order, as an import into a full dictionary meets them, with
        // now and then a new key right after the one looked up, which splits its leaf and in
        // time the index blocks above it, and the other file's work in the shared cache.
        SortByKeyOrder(keys);
        for (std::size_t i = 0; i < keys.size() && !HasFatalFailure(); ++i) {
            LookupThenInsert(0, keys[i], 5, false);
            if (rng() % 3 == 0) {
                std::string next = keys[i];
                if (next.size() < run.maxLength) {
                    next.push_back(static_cast<char>('a' + rng() % 26));
                } else {
                    next.back() = static_cast<char>('a' + rng() % 26);
                }
                LookupThenInsert(0, next, 6, false);
            }
            if (rng() % 50 == 0) LookupThenInsert(1, keys[rng() % keys.size()], 7, false);
        }
        CompareFiles();
    }
}

TEST_F(DifferentialTest, WordsPairsAndMarkedWordsAsAnImportMeetsThem) {
    testing_support::PhonEnvPtr env = testing_support::LoadLanguage(1);
    ASSERT_NE(env, nullptr);
    Create(env.get());
    std::mt19937 rng(7);
    const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    std::vector<std::string> words;
    auto randomWord = [&](std::size_t min, std::size_t max) {
        std::string word(min + rng() % (max - min + 1), ' ');
        for (char& c : word) c = letters[rng() % (c == ' ' && rng() % 3 ? 6 : letters.size())];
        return word;
    };
    for (int n = 0; n < 12000; ++n) {
        std::string word = randomWord(1, 14);
        const unsigned kind = rng() % 16;
        if (kind == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        if (kind == 1) word += static_cast<char>('0' + rng() % 10);
        if (kind == 2) word.insert(rng() % word.size(), 1, static_cast<char>(4 + rng() % 3));
        if (kind == 3) word = randomWord(1, 4) + "\b" + randomWord(1, 8);
        words.push_back(word);
    }
    // Into new dictionaries in random order, then the same words again as the store lists
    // them from one of the dictionaries: into a full one and into a new one.
    for (const std::string& word : words) Words(rng() % 4 == 0, word, rng() % 8 != 0);
    CompareFiles();
    std::vector<std::string> listed;
    std::array<char, 256> out{};
    ClamHandle* source = sides_[kFast].handles[0].get();
    source->wordsRead = 0;
    while (ClamNextWord(out.data(), out.size(), source) == 1) listed.emplace_back(out.data());
    ASSERT_GT(listed.size(), 5000u);
    for (const std::string& word : listed) Words(0, word, true);
    Create(env.get());
    for (const std::string& word : listed) Words(0, word, true);
    CompareFiles();
}

}  // namespace
