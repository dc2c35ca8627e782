#include "clam/coding/char_tables.h"

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr uint8_t kCaseBits = kClamLowerCaseLetter | kClamUpperCaseLetter;

bool IsAsciiLetter(int b) {
    return (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
}

// Checked on every language, so on every character set: letters come in case pairs that map
// to each other; all else, and ASCII besides its letters, maps to itself; a base letter is its
// own base and keeps the case of its letter.
TEST(CharTables, CaseAndBaseMapsOfEveryCharacterSet) {
    for (int language = 1; language <= kClamLanguageCount; ++language) {
        const uint8_t* lower = ClamLowerTable(language);
        const uint8_t* upper = ClamUpperTable(language);
        const uint8_t* type = ClamLetterTypeTable(language);
        const uint8_t* base = ClamBaseLetterTable(language);
        const int set = ClamCharacterSet(language);
        for (int b = 0; b < 256; ++b) {
            SCOPED_TRACE(testing::Message() << "language " << language << " byte " << b);
            const int kind = type[b] & kCaseBits;
            ASSERT_NE(kind, kCaseBits);
            const bool isUpper = kind == kClamUpperCaseLetter;
            EXPECT_EQ((isUpper ? upper : lower)[b], b);
            EXPECT_EQ(kind ? b : upper[b], b);  // so a non-letter maps to itself both ways
            if (kind) {
                const uint8_t other = (isUpper ? lower : upper)[b];
                EXPECT_EQ(type[other] & kCaseBits, kind ^ kCaseBits);
                EXPECT_EQ((isUpper ? upper : lower)[other], b);
            }
            const bool set9Letter = b == 0x02 || (b >= 0x11 && b <= 0x14) || b == 0x19 || b == 0x1E;
            if (b < 0x80 && !IsAsciiLetter(b) && !(set == 9 && set9Letter)) {
                EXPECT_EQ(type[b], 0);
                EXPECT_EQ(base[b], b);
            }
            EXPECT_EQ(base[base[b]], base[b]);
            if (kind && (type[base[b]] & kCaseBits)) {
                EXPECT_EQ(type[base[b]] & kCaseBits, kind);
            }
            if (IsAsciiLetter(b) && !(set == 5 && (b | 0x20) == 'i')) {
                EXPECT_EQ(b < 'a' ? lower[b] : upper[b], b ^ 0x20);
            }
        }
    }
}

TEST(CharTables, WhereTheCodePagesAreCorrected) {
    decltype(&ClamLowerTable) tables[] = {ClamLowerTable, ClamUpperTable, ClamLetterTypeTable,
                                          ClamBaseLetterTable};
    // Language, table (lower, upper, letter type, base letter), byte, value.
    const int kCorrected[][4] = {
        {18, 0, 0xDF, 0x88}, {18, 2, 0xFF, 0},    {18, 3, 0xB4, 0xE3}, {18, 3, 0xE3, 0xE3},
        {26, 0, 'I', 0xFD},  {26, 1, 'i', 0xDD},  {26, 2, 0x8A, 0},    {26, 2, 0x9A, 0},
        {26, 2, 0x8C, 0},    {26, 2, 0x9C, 0},    {26, 2, 0x9F, 0},    {26, 2, 0xFF, 0},
        {26, 3, 0x9A, 0x9A}, {26, 3, 0xE7, 'c'},  {22, 3, 0xB3, 'l'},  {25, 3, 0xA1, 0xA1},
        {25, 3, 0xDC, 0xE1}, {10, 0, 0xC9, 0xC8}, {39, 0, 0x02, 0xC6},
    };
    for (const auto& c : kCorrected) {
        EXPECT_EQ(tables[c[1]](c[0])[c[2]], c[3]) << c[0] << " " << c[2];
    }
}

TEST(CharTables, AlphabetsOfTheLanguages) {
    for (auto table : {ClamLowerTable, ClamUpperTable, ClamLetterTypeTable, ClamBaseLetterTable,
                       ClamAlphabetTable}) {
        for (int language : {0, -1, 40}) EXPECT_EQ(table(language), nullptr) << language;
    }
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
