// Random words of every language, encoded as the store encodes them and shown
// again: the display form must give the word back.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "clam/coding/char_tables.h"
#include "clam/coding/word_class.h"

namespace {

constexpr char kSep = kClamPairSeparator;

// The valid bytes of a language, sorted by what the classification sees.
struct Pool {
    std::vector<char> lower, upper, other;

    explicit Pool(int language) {
        const uint8_t* alphabet = ClamAlphabetTable(language);
        const uint8_t* type = ClamLetterTypeTable(language);
        for (int b = 1; b < 256; ++b) {
            if (!(alphabet[b] & kClamValidWordChar) || (b >= 4 && b <= 6) || b == '.') continue;
            // Shown differently on purpose: the one-byte ij as two letters,
            // a sharp s in capitals as SS (checked on their own).
            if (language == 10 && (b == 0xC8 || b == 0xC9)) continue;
            if (language == 2 && b == 0xE1) continue;
            const char c = static_cast<char>(b);
            if (type[b] & kClamLowerCaseLetter) {
                lower.push_back(c);
            } else if (type[b] & kClamUpperCaseLetter) {
                upper.push_back(c);
            } else {
                other.push_back(c);
            }
        }
    }

    bool HasCase() const { return !lower.empty() && !upper.empty(); }
};

class WordMaker {
  public:
    WordMaker(int language, unsigned seed) : pool_(language), random_(seed) {}

    const Pool& pool() const { return pool_; }

    // A word of up to 63 bytes in one of the shapes the classes describe.
    std::string Next() {
        std::string word;
        const int markers = Chance(8) ? Pick(1, 2) : 0;
        for (int i = 0; i < markers; ++i) word += static_cast<char>(Pick(4, 7));
        const bool spaced = Chance(6);
        std::string text = Text(spaced ? Pick(1, 12) : Pick(1, 24));
        if (Chance(10)) text[Pick(0, text.size() - 1)] = static_cast<char>(Pick('0', '9'));
        if (Chance(10))
            text.insert(text.begin() + Pick(1, text.size()), static_cast<char>(Pick(4, 6)));
        if (spaced) {
            for (char c : text) word += std::string{c, '.'};
        } else {
            word += text;
            if (Chance(4)) word.insert(word.begin() + Pick(0, word.size()), '.');
            if (Chance(4)) word += '.';
        }
        return word;
    }

    // A first half that folds to itself, so the pair shows as given.
    std::string FoldedHalf() {
        const std::vector<char>& from = pool_.lower.empty() ? pool_.other : pool_.lower;
        std::string half;
        for (int i = Pick(1, 20); i > 0; --i) half += from[Pick(0, from.size() - 1)];
        return half;
    }

    bool Chance(int oneIn) { return Pick(1, oneIn) == 1; }

  private:
    std::string Text(int length) {
        const int shape = pool_.HasCase() ? Pick(0, 4) : 4;
        std::string text;
        for (int i = 0; i < length; ++i) {
            const std::vector<char>* from = &pool_.other;
            switch (shape) {
                case 0:
                    from = Chance(5) ? &pool_.other : &pool_.lower;
                    break;
                case 1:
                    from = i == 0 ? &pool_.upper : &pool_.lower;
                    break;
                case 2:
                    from = Chance(5) ? &pool_.other : &pool_.upper;
                    break;
                case 3:
                    from = Chance(2) ? &pool_.upper : &pool_.lower;
                    break;
                default:
                    from = AnyOf();
                    break;
            }
            if (from->empty()) from = &pool_.other;
            text += (*from)[Pick(0, from->size() - 1)];
        }
        return text;
    }

    const std::vector<char>* AnyOf() {
        const int which = Pick(0, 2);
        return which == 0 ? &pool_.lower : which == 1 ? &pool_.upper : &pool_.other;
    }

    int Pick(size_t low, size_t high) {
        return std::uniform_int_distribution<int>(static_cast<int>(low),
                                                  static_cast<int>(high))(random_);
    }

    Pool pool_;
    std::mt19937 random_;
};

// Encodes as the word addition does: by kind, into 128 bytes.
int EncodeByKind(const std::string& word, std::array<char, kClamEncodedCapacity>& out,
                 int language) {
    if (word.find(kSep) != std::string::npos) {
        return ClamEncodePair(word.c_str(), out.data(), out.size(), language);
    }
    if (word.find_first_of("\x04\x05\x06") != std::string::npos) {
        return ClamEncodeMarkedWord(word.c_str(), out.data(), out.size(), language);
    }
    return ClamEncodeWord(word.c_str(), out.data(), out.size(), language);
}

std::string RoundTrip(const std::string& word, int language, int& wordClass) {
    std::array<char, kClamEncodedCapacity> encoded{};
    wordClass = EncodeByKind(word, encoded, language);
    if (wordClass == 0) return {};
    std::array<char, kClamDisplayCapacity> shown{};
    ClamDisplayForm(encoded.data(), wordClass, shown.data(), shown.size(), language);
    return shown.data();
}

std::string Printable(const std::string& word) {
    std::string out;
    for (unsigned char c : word) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

TEST(WordRoundTrip, EveryLanguageShowsItsWordsAsGiven) {
    constexpr int kWords = 3000;
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        WordMaker maker(language, 1000 + language);
        std::set<int> classes;
        int encoded = 0;
        for (int n = 0; n < kWords; ++n) {
            const std::string word = maker.Next();
            int wordClass = 0;
            const std::string shown = RoundTrip(word, language, wordClass);
            if (wordClass == 0) continue;
            ++encoded;
            classes.insert(wordClass);
            ASSERT_EQ(Printable(shown), Printable(word))
                << "language " << language << " class " << wordClass;
        }
        EXPECT_GT(encoded, kWords * 9 / 10) << language;
        if (maker.pool().HasCase()) {
            EXPECT_EQ(classes, (std::set<int>{1, 2, 3, 5, 6, 7, 9, 10, 11, 16, 20})) << language;
        } else {
            EXPECT_GE(classes.size(), 3u) << language;
        }
    }
}

TEST(WordRoundTrip, PairsShowTheirSecondHalfAsGiven) {
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        WordMaker maker(language, 2000 + language);
        int encoded = 0;
        for (int n = 0; n < 1000; ++n) {
            std::string second = maker.Next();
            std::erase_if(second, [](char c) { return c >= 4 && c <= 6; });
            if (second.size() > 40) second.resize(40);
            const std::string word = maker.FoldedHalf() + kSep + second;
            int wordClass = 0;
            const std::string shown = RoundTrip(word, language, wordClass);
            if (wordClass == 0) continue;
            ++encoded;
            ASSERT_EQ(Printable(shown), Printable(word)) << "language " << language;
        }
        EXPECT_GT(encoded, 900) << language;
    }
}

}  // namespace
