// Random words of every language, encoded as the store encodes them and shown
// again: the display form gives the word back.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "clam/coding/char_tables.h"
#include "coded_word.h"

namespace {

class WordMaker {
  public:
    WordMaker(int language, unsigned seed) : random_(seed) {
        const uint8_t* alphabet = ClamAlphabetTable(language);
        const uint8_t* type = ClamLetterTypeTable(language);
        for (int b = 1; b < 256; ++b) {
            if (!(alphabet[b] & kClamValidWordChar) || (b >= 4 && b <= 6) || b == '.') continue;
            // Shown as two letters on purpose (checked with the examples).
            if ((language == 10 && (b == 0xC8 || b == 0xC9)) || (language == 2 && b == 0xE1)) {
                continue;
            }
            const int kind = type[b] & kClamLowerCaseLetter   ? kLower
                             : type[b] & kClamUpperCaseLetter ? kUpper
                                                              : kOther;
            pools_[kind].push_back(static_cast<char>(b));
        }
        hasCase_ = !pools_[kLower].empty() && !pools_[kUpper].empty();
        if (pools_[kLower].empty()) pools_[kLower] = pools_[kOther];
        if (pools_[kUpper].empty()) pools_[kUpper] = pools_[kOther];
    }

    bool hasCase() const { return hasCase_; }

    // Up to 63 bytes: lower, capitalised, capitals, mixed or anything, with
    // markers, digits and periods here and there.
    std::string Word() {
        const int shape = Pick(0, 4);
        const bool spaced = Pick(0, 5) == 0;
        std::string text;
        for (int i = Pick(1, spaced ? 12 : 24); i > 0; --i) {
            text += From(KindFor(shape, text.empty()));
        }
        if (Pick(0, 9) == 0) text[Pick(0, text.size() - 1)] = static_cast<char>(Pick('0', '9'));
        if (Pick(0, 9) == 0) text.insert(Pick(1, text.size()), 1, static_cast<char>(Pick(4, 6)));
        std::string word(Pick(0, 7) == 0 ? Pick(1, 2) : 0, static_cast<char>(Pick(4, 7)));
        if (spaced) {
            for (char c : text) word += std::string{c, '.'};
            return word;
        }
        word += text;
        if (Pick(0, 3) == 0) word.insert(Pick(0, word.size()), 1, '.');
        if (Pick(0, 3) == 0) word += '.';
        return word;
    }

    // Letters that fold to themselves, so a pair shows as given.
    std::string FoldedHalf() {
        std::string half;
        for (int i = Pick(1, 20); i > 0; --i) half += From(kLower);
        return half;
    }

  private:
    enum { kLower, kUpper, kOther };

    int KindFor(int shape, bool first) {
        if (shape == 4) return Pick(kLower, kOther);
        if (shape == 3) return Pick(kLower, kUpper);
        if (shape == 1 && first) return kUpper;
        if (Pick(0, 4) == 0) return kOther;
        return shape == 2 ? kUpper : kLower;
    }

    char From(int kind) {
        const std::vector<char>& pool = pools_[kind];
        return pool[Pick(0, pool.size() - 1)];
    }

    int Pick(size_t low, size_t high) {
        return std::uniform_int_distribution<int>(int(low), int(high))(random_);
    }

    std::vector<char> pools_[3];
    bool hasCase_ = false;
    std::mt19937 random_;
};

TEST(WordRoundTrip, WordsAndPairsOfEveryLanguageShowAsGiven) {
    const std::set<int> allClasses = {1, 2, 3, 5, 6, 7, 9, 10, 11, 16, 20};
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        WordMaker maker(language, language);
        std::set<int> classes;
        for (int n = 0; n < 3000; ++n) {
            std::string word = maker.Word();
            if (n % 4 == 0) {  // a pair, whose folded first half shows as given
                std::erase_if(word, [](char c) { return c >= 4 && c <= 6; });
                word = maker.FoldedHalf() + "\b" + word.substr(0, 40);
            }
            const CodedWord coded = EncodeByKind(word, language);
            if (coded.wordClass == 0) {
                // Only an exact form whose folded text would end in byte 6.
                ASSERT_NE(word.find('\x06'), std::string::npos) << Printable(word);
                continue;
            }
            classes.insert(coded.wordClass);
            ASSERT_EQ(Printable(Display(coded, language)), Printable(word))
                << "language " << language << " class " << coded.wordClass;
        }
        EXPECT_TRUE(maker.hasCase() ? classes == allClasses : classes.size() >= 3) << language;
    }
}

}  // namespace
