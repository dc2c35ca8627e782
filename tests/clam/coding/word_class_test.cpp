#include "clam/coding/word_class.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "clam/coding/char_tables.h"
#include "support/env_files.h"

namespace {

using testing_support::Bytes;

struct Coded {
    int wordClass;
    std::string form, shown;
};

// Encoded by kind into 128 bytes, as a word is added to a dictionary, and shown again.
Coded Code(const std::string& word, int language) {
    std::array<char, kClamEncodedCapacity> form{};
    std::array<char, kClamDisplayCapacity> shown{};
    const bool pair = word.find('\b') != std::string::npos;
    const bool marked = word.find_first_of("\x04\x05\x06") != std::string::npos;
    auto encode = pair ? ClamEncodePair : marked ? ClamEncodeMarkedWord : ClamEncodeWord;
    const int wordClass = encode(word.c_str(), form.data(), form.size(), language);
    if (wordClass) ClamDisplayForm(form.data(), wordClass, shown.data(), shown.size(), language);
    return {wordClass, form.data(), shown.data()};
}

// "word language class form [shown]": bytes as <hh>, <08> the pair separator, '' nothing;
// class 0 for a refused word; without shown, the word itself is shown.
const char* const kExamples[] = {
    // Case of the letters; anything the case field cannot say is kept exactly (Cyrillic has
    // no Latin letters).
    "hello 1 1 hello", "Hello 1 2 hello", "HELLO 1 3 hello", "A 1 3 a", "- 1 1 -",
    "HeLLo 1 16 hello<08>HeLLo", "O'Neil 1 16 o'neil<08>O'Neil", "b52 1 16 b52<08>b52",
    "hello 18 16 hello<08>hello",
    // Periods; language 31 has no period.
    "etc. 1 5 etc", "Etc. 1 6 etc", ". 1 5 ''", "U.S.A. 1 11 usa", "u.s.a. 1 9 usa",
    "U.s.a. 1 10 usa", "U.S.A 1 16 u.s.a<08>U.S.A", "e.g.. 1 20 e.g.<08>e.g.",
    "HeLLo. 1 20 hello<08>HeLLo", ".AbC. 1 20 .abc<08>.AbC", "abc. 31 20 abc<08>abc",
    // Markers; a byte 6 before the exact form's byte 8 would read as a pair.
    "<04>Hello 1 2 <04>hello", "<05><07>U.S. 1 11 <05><07>us", "Hel<05>lo 1 2 hel<05>lo",
    "<06>HeLLo 1 16 <06>hello<08><06>HeLLo", "AbC<06> 1 0", "AbC<06>x 1 16 abc<06>x<08>AbC<06>x",
    // No language: stored as given.
    "HeLLo. 0 1 HeLLo.", "HeLLo. 40 1 HeLLo.",
    // Language 10: ij as one letter; spaced abbreviations the display would join stay exact.
    "IJsselmeer 10 2 ijsselmeer", "BIJ 10 3 bij", "Ijsselmeer 10 16 ijsselmeer<08>Ijsselmeer",
    "IJsselmeer 1 16 ijsselmeer<08>IJsselmeer", "<C8>s 10 1 ijs ijs", "<C9>s 10 2 ijs IJs",
    "IJ.B. 10 11 ijb", "I.J. 1 11 ij", "I.J. 10 20 i.j<08>I.J", "Ij.B. 10 20 ij.b<08>Ij.B",
    "<8E>.B. 14 20 <84>.b<08><8E>.B",
    // Umlauts (language 14) and sharp s (language 2).
    "Aepfel 14 2 <84>pfel", "Ueber 14 2 <81>ber", "AePFEL 14 3 <84>pfel", "AEPFEL 14 3 aepfel",
    "<8E>pfel 14 16 <84>pfel<08><8E>pfel", "Aepfel 2 2 aepfel", "Stra<E1>e 2 2 stra<E1>e",
    "STRA<E1>E 2 3 stra<E1>e STRASSE",
    // Pairs: the first half is shown folded.
    "ab<08>cd 1 1 ab<08>cd", "Ab.<08>HeLLo. 1 20 ab<06><08>HeLLo ab<08>HeLLo.",
    "HeLLo<08>World 1 2 hello<08>world hello<08>World", "<08>Hello 1 2 <08>hello Hello",
    "IJs<08>U.S.A. 10 11 ijs<08>usa ijs<08>U.S.A.", "a<05><08>b 1 0", "a<08>b<08>c 1 0"};

TEST(WordClass, ExamplesEncodeAndShow) {
    for (const char* example : kExamples) {
        SCOPED_TRACE(example);
        std::istringstream fields(example);
        std::string word, form, shown;
        int language = 0, wordClass = 0;
        fields >> word >> language >> wordClass >> form >> shown;
        word = Bytes(word);
        const Coded coded = Code(word, language);
        ASSERT_EQ(coded.wordClass, wordClass);
        if (wordClass == 0) continue;
        EXPECT_EQ(coded.form, form == "''" ? "" : Bytes(form));
        EXPECT_EQ(coded.shown, shown.empty() ? word : Bytes(shown));
    }
}

TEST(WordClass, WhatDoesNotFitIsRefusedOrCut) {
    const std::string half(63, 'x');
    EXPECT_EQ(Code(half + "\b" + half, 1).form.size(), 127u);
    EXPECT_EQ(Code(half + "x\bb", 1).wordClass, 0);
    EXPECT_EQ(Code("a\b" + half + "x", 1).wordClass, 0);
    // Both halves fit, but not with an exact second half.
    EXPECT_EQ(Code(half + "\bXx" + std::string(60, 'x') + "X", 1).wordClass, 0);
    EXPECT_EQ(Code("\x04" + std::string(126, 'a'), 1).form.size(), 127u);
    EXPECT_EQ(Code("\x04" + std::string(127, 'a'), 1).wordClass, 0);
    // Fits the marked word's work buffer, but not the 127 bytes of a form.
    EXPECT_EQ(Code("\x04H" + std::string(70, 'a') + "H", 1).wordClass, 0);

    char out[8];
    EXPECT_EQ(ClamEncodeWord("ab\bc", out, sizeof out, 1), 0);  // a pair is no plain word
    EXPECT_EQ(ClamEncodeWord("abcdefgh", out, 8, 1), 0);
    EXPECT_EQ(ClamEncodeWord("\x04\x04\x04", out, 3, 1), 0);
    EXPECT_EQ(ClamEncodeWord("abcdefgh", out, 8, 0), 1);
    EXPECT_STREQ(out, "abcdefg");
    ClamDisplayForm("abc\bdef", 1, out, 4, 1);  // first half does not fit
    EXPECT_STREQ(out, "");
    ClamDisplayForm("abc\bdef", 1, out, 6, 1);
    EXPECT_STREQ(out, "abc\bd");
    ClamApplyClass("str\xE1", 3, out, 5, 2);
    EXPECT_STREQ(out, "STRS");
}

// Random texts, half of them bytes that mean something to the coding, into buffers of random
// capacity: nothing is written past the capacity, and what is written ends in a NUL.
TEST(WordClass, CodingStaysInsideItsBuffers) {
    static const std::string meaningful = "\x04\x05\x06\x07\b.iIjJAeOU\xC8\xC9\x8E\x99\x9A\xE1";
    const std::set<int> classes = {0, 1, 2, 3, 5, 6, 7, 9, 10, 11, 16, 20};
    decltype(&ClamEncodeWord) encoders[] = {ClamEncodeWord, ClamEncodeMarkedWord, ClamEncodePair};
    decltype(&ClamDisplayForm) shows[] = {ClamDisplayForm, ClamApplyClass};
    std::mt19937 random(1);
    for (int n = 0; n < 50000; ++n) {
        std::string text(random() % (n % 10 ? 200 : 2000), 'x');
        for (char& c : text)
            c = random() % 2 ? meaningful[random() % meaningful.size()] : char(random() % 255 + 1);
        const size_t capacity = random() % 300;
        const int language = int(random() % 43) - 1, kind = n % 5;
        // The marked word and pair encoders never write past 128 bytes.
        const size_t room = kind == 1 || kind == 2 ? std::min(capacity, size_t{128}) : capacity;
        std::string out(room + 32, '\x7F');
        int wordClass = 1;  // the display forms end in a NUL whenever there is room
        if (kind < 3) {
            wordClass = encoders[kind](text.c_str(), out.data(), capacity, language);
        } else {
            const uint32_t anyClass = random() % (n % 2 ? 0x10000 : 32);
            shows[kind - 3](text.c_str(), anyClass, out.data(), capacity, language);
        }
        ASSERT_TRUE(classes.count(wordClass)) << wordClass;
        ASSERT_EQ(out.substr(room), std::string(32, '\x7F')) << n;
        ASSERT_TRUE(wordClass == 0 || capacity == 0 || out.find('\0') < room) << n;
    }
}

// Random words of every language, encoded as the store encodes them and shown again: the
// display form gives the word back.
TEST(WordClass, WordsAndPairsOfEveryLanguageShowAsGiven) {
    const std::set<int> allClasses = {1, 2, 3, 5, 6, 7, 9, 10, 11, 16, 20};
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        std::string pools[3];  // lower-case letters, capitals, other valid characters
        for (int b = 1; b < 256; ++b) {
            // Markers and periods are placed below; bytes shown as two letters on purpose are
            // left to the examples.
            const bool placed = (b >= 4 && b <= 6) || b == '.' ||
                                (language == 10 && (b | 1) == 0xC9) || (language == 2 && b == 0xE1);
            if (!(ClamAlphabetTable(language)[b] & kClamValidWordChar) || placed) continue;
            const uint8_t type = ClamLetterTypeTable(language)[b];
            pools[type & kClamLowerCaseLetter ? 0 : type & kClamUpperCaseLetter ? 1 : 2] += char(b);
        }
        const bool hasCase = !pools[0].empty() && !pools[1].empty();
        if (!hasCase) pools[0] = pools[1] = pools[2];
        std::mt19937 random(language);
        auto from = [&](std::size_t pool) { return pools[pool][random() % pools[pool].size()]; };
        std::set<int> classes;
        for (int n = 0; n < 3000; ++n) {
            // Lower, capitalised, capitals, mixed or anything, spaced out with periods or not.
            const unsigned shape = random() % 5;
            std::string text;
            for (int i = 1 + random() % 16; i > 0; --i) {
                const bool other = random() % 5 == 0;
                text += from(shape == 4                   ? random() % 3
                             : shape == 3                 ? random() % 2
                             : shape == 1 && text.empty() ? 1
                             : other                      ? 2
                                                          : shape == 2);
            }
            if (random() % 10 == 0) text[random() % text.size()] = char('0' + random() % 10);
            if (random() % 10 == 0)
                text.insert(1 + random() % text.size(), 1, char(4 + random() % 3));
            std::string word(random() % 8 == 0 ? 1 + random() % 2 : 0, char(4 + random() % 4));
            if (random() % 6 == 0) {
                for (char c : text) word += std::string{c, '.'};
            } else {
                word += text;
                if (random() % 4 == 0) word.insert(random() % (word.size() + 1), 1, '.');
                if (random() % 4 == 0) word += '.';
            }
            if (n % 4 == 0) {  // a pair, whose folded first half shows as given
                std::erase_if(word, [](char c) { return c >= 4 && c <= 6; });
                std::string first;
                for (int i = 1 + random() % 20; i > 0; --i) first += from(0);
                word = first + "\b" + word.substr(0, 40);
            }
            const Coded coded = Code(word, language);
            // Only an exact form whose folded text would end in byte 6 is refused.
            ASSERT_TRUE(coded.wordClass || word.find('\x06') != std::string::npos) << word;
            classes.insert(coded.wordClass);
            ASSERT_TRUE(!coded.wordClass || coded.shown == word) << language << " " << word;
        }
        classes.erase(0);
        EXPECT_TRUE(hasCase ? classes == allClasses : classes.size() >= 3) << language;
    }
}

}  // namespace
