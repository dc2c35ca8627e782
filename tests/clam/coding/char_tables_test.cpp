#include "clam/coding/char_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

// One language of each character set, so every set is checked once.
std::vector<int> OneLanguagePerSet() {
    std::vector<int> languages(kClamCharacterSetCount + 1, 0);
    for (int language = kClamLanguageCount; language >= 1; --language) {
        languages[ClamCharacterSet(language)] = language;
    }
    languages.erase(languages.begin());
    return languages;
}

bool IsAsciiLetter(int b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

bool IsControlLetterOfSet9(int b) {
    return b == 0x02 || (b >= 0x11 && b <= 0x14) || b == 0x19 || b == 0x1E;
}

TEST(CharTables, NoTableForALanguageOutsideOneTo39) {
    for (int language : {0, -1, 40, 1000}) {
        EXPECT_EQ(ClamLowerTable(language), nullptr) << language;
        EXPECT_EQ(ClamUpperTable(language), nullptr) << language;
        EXPECT_EQ(ClamLetterTypeTable(language), nullptr) << language;
        EXPECT_EQ(ClamBaseLetterTable(language), nullptr) << language;
        EXPECT_EQ(ClamAlphabetTable(language), nullptr) << language;
    }
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        EXPECT_NE(ClamCharacterSet(language), 0) << language;
        EXPECT_NE(ClamAlphabetTable(language), nullptr) << language;
    }
}

// Letters come in case pairs: each letter maps to its partner and back, and
// everything else maps to itself.
TEST(CharTables, CaseMapsFormInversePairsInEverySet) {
    for (int language : OneLanguagePerSet()) {
        const uint8_t* lower = ClamLowerTable(language);
        const uint8_t* upper = ClamUpperTable(language);
        const uint8_t* type = ClamLetterTypeTable(language);
        int letters = 0;
        for (int b = 0; b < 256; ++b) {
            SCOPED_TRACE(testing::Message() << "language " << language << " byte " << b);
            const bool isLower = type[b] & kClamLowerCaseLetter;
            const bool isUpper = type[b] & kClamUpperCaseLetter;
            ASSERT_FALSE(isLower && isUpper);
            if (isUpper) {
                EXPECT_NE(lower[b], b);
                EXPECT_TRUE(type[lower[b]] & kClamLowerCaseLetter);
                EXPECT_EQ(upper[lower[b]], b);
                EXPECT_EQ(upper[b], b);
                ++letters;
            } else if (isLower) {
                EXPECT_NE(upper[b], b);
                EXPECT_TRUE(type[upper[b]] & kClamUpperCaseLetter);
                EXPECT_EQ(lower[upper[b]], b);
                EXPECT_EQ(lower[b], b);
                ++letters;
            } else {
                EXPECT_EQ(lower[b], b);
                EXPECT_EQ(upper[b], b);
            }
        }
        EXPECT_GE(letters, 52) << language;
    }
}

TEST(CharTables, AsciiBesidesLettersMapsToItselfInEverySet) {
    for (int language : OneLanguagePerSet()) {
        const bool set9 = ClamCharacterSet(language) == 9;
        const uint8_t* tables[] = {ClamLowerTable(language), ClamUpperTable(language),
                                   ClamBaseLetterTable(language)};
        for (int b = 0; b < 0x80; ++b) {
            if (IsAsciiLetter(b) || (set9 && IsControlLetterOfSet9(b))) continue;
            for (const uint8_t* table : tables) EXPECT_EQ(table[b], b) << language << " " << b;
        }
        if (set9) {
            EXPECT_EQ(ClamLowerTable(language)[0x02], 0xC6);
            EXPECT_EQ(ClamBaseLetterTable(language)[0x1E], 'Y');
        }
    }
}

TEST(CharTables, LatinPairsEverywhereButTheDotlessIOfSet5) {
    for (int language : OneLanguagePerSet()) {
        const uint8_t* lower = ClamLowerTable(language);
        const bool set5 = ClamCharacterSet(language) == 5;
        for (int b = 'A'; b <= 'Z'; ++b) {
            if (set5 && b == 'I') continue;
            EXPECT_EQ(lower[b], b + 0x20) << language;
        }
    }
    const int turkish = 26;
    ASSERT_EQ(ClamCharacterSet(turkish), 5);
    EXPECT_EQ(ClamLowerTable(turkish)['I'], 0xFD);
    EXPECT_EQ(ClamUpperTable(turkish)['i'], 0xDD);
    for (int b : {0x8A, 0x8C, 0x9F, 0x9A, 0x9C, 0xFF}) {
        EXPECT_EQ(ClamLetterTypeTable(turkish)[b], 0) << b;
    }
}

TEST(CharTables, CyrillicYaPairsWithTheLetterAt88) {
    const int language = 18;
    ASSERT_EQ(ClamCharacterSet(language), 2);
    EXPECT_EQ(ClamLowerTable(language)[0xDF], 0x88);
    EXPECT_EQ(ClamUpperTable(language)[0x88], 0xDF);
    EXPECT_EQ(ClamLetterTypeTable(language)[0xFF], 0);
    EXPECT_EQ(ClamUpperTable(language)[0xFF], 0xFF);
}

// Removing a diacritic twice changes nothing, and an accented letter keeps
// its case when its base is a letter.
TEST(CharTables, BaseLettersAreSettledAndKeepTheCase) {
    for (int language : OneLanguagePerSet()) {
        const uint8_t* base = ClamBaseLetterTable(language);
        const uint8_t* type = ClamLetterTypeTable(language);
        const uint8_t caseBits = kClamLowerCaseLetter | kClamUpperCaseLetter;
        for (int b = 0; b < 256; ++b) {
            SCOPED_TRACE(testing::Message() << "language " << language << " byte " << b);
            EXPECT_EQ(base[base[b]], base[b]);
            if ((type[b] & caseBits) && (type[base[b]] & caseBits)) {
                EXPECT_EQ(type[b] & caseBits, type[base[b]] & caseBits);
            }
        }
    }
    EXPECT_EQ(ClamBaseLetterTable(1)[0x84], 'a');    // own layout
    EXPECT_EQ(ClamBaseLetterTable(22)[0xE8], 'c');   // by decomposition
    EXPECT_EQ(ClamBaseLetterTable(22)[0xB3], 'l');   // listed besides it
    EXPECT_EQ(ClamBaseLetterTable(25)[0xA1], 0xA1);  // listed exception
    EXPECT_EQ(ClamBaseLetterTable(26)[0x9A], 0x9A);
    EXPECT_EQ(ClamBaseLetterTable(26)[0xE7], 'c');
    EXPECT_EQ(ClamBaseLetterTable(18)[0xE3], 0xE3);  // only listed entries
    EXPECT_EQ(ClamBaseLetterTable(18)[0xB4], 0xE3);
}

TEST(CharTables, AlphabetsShareOnlyWhereLanguagesDo) {
    std::set<const uint8_t*> distinct;
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        distinct.insert(ClamAlphabetTable(language));
    }
    EXPECT_EQ(distinct.size(), 32u);
    EXPECT_EQ(ClamAlphabetTable(1), ClamAlphabetTable(29));
    EXPECT_EQ(ClamAlphabetTable(22), ClamAlphabetTable(30));
    EXPECT_NE(ClamAlphabetTable(2), ClamAlphabetTable(3));
}

TEST(CharTables, AlphabetsHoldTheCommonSetAndNeverDigits) {
    const std::set<int> withoutCommonSet = {31, 34, 38};
    const std::set<int> withoutSpace = {2, 3, 13, 14, 31, 34, 38};
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        SCOPED_TRACE(language);
        const uint8_t* alphabet = ClamAlphabetTable(language);
        auto valid = [&](int b) { return (alphabet[b] & kClamValidWordChar) != 0; };
        for (int b : {0x07, 0x08, 0x00, 0xFF}) EXPECT_FALSE(valid(b)) << b;
        for (int b = '0'; b <= '9'; ++b) EXPECT_FALSE(valid(b));
        EXPECT_EQ(valid(' '), !withoutSpace.count(language));
        const bool common = !withoutCommonSet.count(language);
        for (int b : {4, 5, 6, 0x27, 0x2D, 0x2E}) EXPECT_EQ(valid(b), common) << b;
    }
    EXPECT_TRUE(ClamAlphabetTable(10)[0xC8] & kClamValidWordChar);
    EXPECT_FALSE(ClamAlphabetTable(18)['a'] & kClamValidWordChar);
    EXPECT_FALSE(ClamAlphabetTable(27)['c'] & kClamValidWordChar);
    EXPECT_TRUE(ClamAlphabetTable(39)[0x1E] & kClamValidWordChar);
}

}  // namespace
