#include "clam/coding/char_tables.h"

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr uint8_t kCaseBits = kClamLowerCaseLetter | kClamUpperCaseLetter;

bool IsAsciiLetter(int b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

bool IsControlLetterOfSet9(int b) {
    return b == 0x02 || (b >= 0x11 && b <= 0x14) || b == 0x19 || b == 0x1E;
}

TEST(CharTables, NoTableOutsideLanguagesOneTo39) {
    for (auto table : {ClamLowerTable, ClamUpperTable, ClamLetterTypeTable, ClamBaseLetterTable,
                       ClamAlphabetTable}) {
        for (int language : {0, -1, 40}) EXPECT_EQ(table(language), nullptr) << language;
    }
}

// Checked on every language, so on every character set: letters come in case
// pairs that map to each other; all else, and ASCII besides its letters, maps
// to itself; a base letter is its own base and keeps the case of its letter.
TEST(CharTables, CaseAndBaseMapsOfEveryCharacterSet) {
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        const uint8_t* lower = ClamLowerTable(language);
        const uint8_t* upper = ClamUpperTable(language);
        const uint8_t* type = ClamLetterTypeTable(language);
        const uint8_t* base = ClamBaseLetterTable(language);
        const bool set9 = ClamCharacterSet(language) == 9;
        for (int b = 0; b < 256; ++b) {
            SCOPED_TRACE(testing::Message() << "language " << language << " byte " << b);
            ASSERT_NE(type[b] & kCaseBits, kCaseBits);
            if (type[b] & kClamUpperCaseLetter) {
                EXPECT_EQ(type[lower[b]] & kCaseBits, kClamLowerCaseLetter);
                EXPECT_EQ(upper[lower[b]], b);
                EXPECT_EQ(upper[b], b);
            } else if (type[b] & kClamLowerCaseLetter) {
                EXPECT_EQ(type[upper[b]] & kCaseBits, kClamUpperCaseLetter);
                EXPECT_EQ(lower[upper[b]], b);
                EXPECT_EQ(lower[b], b);
            } else {
                EXPECT_EQ(lower[b], b);
                EXPECT_EQ(upper[b], b);
            }
            if (b < 0x80 && !IsAsciiLetter(b) && !(set9 && IsControlLetterOfSet9(b))) {
                EXPECT_EQ(type[b], 0);
                EXPECT_EQ(base[b], b);
            }
            EXPECT_EQ(base[base[b]], base[b]);
            if ((type[b] & kCaseBits) && (type[base[b]] & kCaseBits)) {
                EXPECT_EQ(type[b] & kCaseBits, type[base[b]] & kCaseBits);
            }
            if (IsAsciiLetter(b) && !(ClamCharacterSet(language) == 5 && (b == 'I' || b == 'i'))) {
                EXPECT_EQ(b < 'a' ? lower[b] : upper[b], b ^ 0x20);
            }
        }
    }
}

TEST(CharTables, WhereTheCodePagesAreCorrected) {
    const int cyrillic = 18, turkish = 26;
    EXPECT_EQ(ClamLowerTable(cyrillic)[0xDF], 0x88);
    EXPECT_EQ(ClamLetterTypeTable(cyrillic)[0xFF], 0);
    EXPECT_EQ(ClamBaseLetterTable(cyrillic)[0xB4], 0xE3);
    EXPECT_EQ(ClamBaseLetterTable(cyrillic)[0xE3], 0xE3);
    EXPECT_EQ(ClamLowerTable(turkish)['I'], 0xFD);
    EXPECT_EQ(ClamUpperTable(turkish)['i'], 0xDD);
    for (int b : {0x8A, 0x9A, 0x8C, 0x9C, 0x9F, 0xFF}) {
        EXPECT_EQ(ClamLetterTypeTable(turkish)[b], 0) << b;
    }
    EXPECT_EQ(ClamBaseLetterTable(turkish)[0x9A], 0x9A);
    EXPECT_EQ(ClamBaseLetterTable(turkish)[0xE7], 'c');
    EXPECT_EQ(ClamBaseLetterTable(22)[0xB3], 'l');
    EXPECT_EQ(ClamBaseLetterTable(25)[0xA1], 0xA1);
    EXPECT_EQ(ClamBaseLetterTable(25)[0xDC], 0xE1);  // accented alpha
    EXPECT_EQ(ClamLowerTable(10)[0xC9], 0xC8);       // the one-byte ij
    EXPECT_EQ(ClamLowerTable(39)[0x02], 0xC6);
}

TEST(CharTables, AlphabetsOfTheLanguages) {
    const std::set<int> withoutCommonSet = {31, 34, 38};
    const std::set<int> withoutSpace = {2, 3, 13, 14, 31, 34, 38};
    std::set<const uint8_t*> distinct;
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        SCOPED_TRACE(language);
        const uint8_t* alphabet = ClamAlphabetTable(language);
        distinct.insert(alphabet);
        auto valid = [&](int b) { return (alphabet[b] & kClamValidWordChar) != 0; };
        for (int b : {0x00, 0x07, 0x08, 0xFF, 0x30, 0x35, 0x39}) EXPECT_FALSE(valid(b)) << b;
        EXPECT_EQ(valid(' '), !withoutSpace.count(language));
        const bool common = !withoutCommonSet.count(language);
        for (int b : {4, 5, 6, 0x27, 0x2D, 0x2E}) EXPECT_EQ(valid(b), common) << b;
    }
    EXPECT_EQ(distinct.size(), 32u);
    EXPECT_EQ(ClamAlphabetTable(1), ClamAlphabetTable(29));
    EXPECT_TRUE(ClamAlphabetTable(10)[0xC8] & kClamValidWordChar);
    EXPECT_FALSE(ClamAlphabetTable(18)['a'] & kClamValidWordChar);
    EXPECT_FALSE(ClamAlphabetTable(27)['c'] & kClamValidWordChar);
}

}  // namespace
