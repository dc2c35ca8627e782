// The encoder's fast ways against the plain reference kept in the tests: random words of
// every defined language, in every buffer size around their length, must give the same
// class and the same encoded bytes.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "clam/coding/word_class.h"
#include "reference_word_class.h"
#include "support/env_files.h"

namespace {

// Mostly simple words (lower case, perhaps a capital first), the rest anything a word may
// hold: other cases, periods, high bytes, markers, digits.
std::string RandomWord(std::mt19937& random) {
    static const std::string kLower = "abcdefghijklmnopqrstuvwxyzeeiijj";
    static const std::string kOther = "ABCDEIJOUZ.'-0\x04\x05\x06\x07\x08";
    const int kind = static_cast<int>(random() % 4);
    const std::size_t length = 1 + random() % 14;
    std::string word;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned pick = random() % 16;
        if (kind == 3 && pick < 4) {
            word += static_cast<char>(0x80 + random() % 128);
        } else if (kind >= 2 && pick < 7) {
            word += kOther[random() % kOther.size()];
        } else {
            word += kLower[random() % kLower.size()];
        }
    }
    if (kind == 1) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    return word;
}

void ExpectSameEncoding(const std::string& word, int language) {
    for (std::size_t capacity = 1; capacity <= word.size() + 2; ++capacity) {
        std::array<char, 2 * kClamEncodedCapacity> ours{};
        std::array<char, 2 * kClamEncodedCapacity> plain{};
        const int ourClass = ClamEncodeWord(word.c_str(), ours.data(), capacity, language);
        const int plainClass =
            reference_encoding::EncodeWord(word.c_str(), plain.data(), capacity, language);
        ASSERT_EQ(ourClass, plainClass) << word << " language " << language << " in " << capacity;
        if (ourClass != 0) {
            ASSERT_STREQ(ours.data(), plain.data()) << word;
        }
    }
}

TEST(EncodingDifferential, RandomWordsOfEveryLanguageEncodeAsTheReference) {
    std::mt19937 random(7);
    for (int language : testing_support::DefinedLanguages()) {
        for (int i = 0; i < 20000; ++i) ExpectSameEncoding(RandomWord(random), language);
        for (const char* word : {"a", "A", "Ab", "aB", "ij", "Ij", "IJ", "Aepfel", "a.", "Ab."}) {
            ExpectSameEncoding(word, language);
        }
    }
}

}  // namespace
