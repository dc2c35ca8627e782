#include "clam/coding/word_class.h"

#include <gtest/gtest.h>

#include <string>

#include "coded_word.h"

namespace {

// "\b" is the pair separator, byte 8.
struct Example {
    const char* word;
    int language;
    int wordClass;  // 0: refused
    const char* form = "";
    const char* shown = nullptr;  // null: the word itself
};

const Example kExamples[] = {
    // Case of the letters; anything the case field cannot say is kept exactly.
    {"hello", 1, 1, "hello"},
    {"Hello", 1, 2, "hello"},
    {"HELLO", 1, 3, "hello"},
    {"A", 1, 3, "a"},
    {"HeLLo", 1, 16, "hello\bHeLLo"},
    {"O'Neil", 1, 16, "o'neil\bO'Neil"},
    {"-", 1, 1, "-"},
    {"b52", 1, 16, "b52\bb52"},
    {"Ab1C", 1, 16, "ab1c\bAb1C"},
    {"hello", 18, 16, "hello\bhello"},
    {"a\x07", 1, 16, "a\x07\ba\x07"},
    // Periods.
    {"etc.", 1, 5, "etc"},
    {"Etc.", 1, 6, "etc"},
    {".", 1, 5, ""},
    {"U.S.A.", 1, 11, "usa"},
    {"u.s.a.", 1, 9, "usa"},
    {"U.s.a.", 1, 10, "usa"},
    {"U.S.A", 1, 16, "u.s.a\bU.S.A"},
    {"e.g..", 1, 20, "e.g.\be.g."},
    {"HeLLo.", 1, 20, "hello\bHeLLo"},
    {".AbC.", 1, 20, ".abc\b.AbC"},
    {"abc.", 31, 20, "abc\babc"},  // no Latin letters, no period
    // Markers.
    {"\x04Hello", 1, 2, "\x04hello"},
    {"\x05\x07U.S.", 1, 11, "\x05\x07us"},
    {"\x06HeLLo", 1, 16, "\x06hello\b\x06HeLLo"},
    {"Hel\x05lo", 1, 2, "hel\x05lo"},
    {"AbC\x06", 1, 0},  // would read as a pair
    {"AbC\x06x", 1, 16, "abc\x06x\bAbC\x06x"},
    // No language: stored as given.
    {"HeLLo.", 0, 1, "HeLLo."},
    {"HeLLo.", 40, 1, "HeLLo."},
    // Language 10: ij as one letter.
    {"IJsselmeer", 10, 2, "ijsselmeer"},
    {"BIJ", 10, 3, "bij"},
    {"Ijsselmeer", 10, 16, "ijsselmeer\bIjsselmeer"},
    {"IJsselmeer", 1, 16, "ijsselmeer\bIJsselmeer"},
    {"\xC8s", 10, 1, "ijs", "ijs"},
    {"\xC9s", 10, 2, "ijs", "IJs"},
    {"IJ.B.", 10, 11, "ijb"},
    {"I.J.", 1, 11, "ij"},
    // Spaced abbreviations the display would join or respell stay exact.
    {"I.J.", 10, 20, "i.j\bI.J"},
    {"Ij.B.", 10, 20, "ij.b\bIj.B"},
    {"\x8E.B.", 14, 20, "\x84.b\b\x8E.B"},
    // Umlauts (language 14) and sharp s (language 2).
    {"Aepfel", 14, 2, "\x84pfel"},
    {"Ueber", 14, 2,
     "\x81"
     "ber"},
    {"AePFEL", 14, 3, "\x84pfel"},
    {"AEPFEL", 14, 3, "aepfel"},
    {"\x8Epfel", 14, 16, "\x84pfel\b\x8Epfel"},
    {"Aepfel", 2, 2, "aepfel"},
    {"STRA\xE1"
     "E",
     2, 3,
     "stra\xE1"
     "e",
     "STRASSE"},
    {"Stra\xE1"
     "e",
     2, 2,
     "stra\xE1"
     "e"},
    // Pairs: the first half is shown folded.
    {"ab\bcd", 1, 1, "ab\bcd"},
    {"Ab.\bHeLLo.", 1, 20, "ab\x06\bHeLLo", "ab\bHeLLo."},
    {"HeLLo\bWorld", 1, 2, "hello\bworld", "hello\bWorld"},
    {"IJs\bU.S.A.", 10, 11, "ijs\busa", "ijs\bU.S.A."},
    {"\bHello", 1, 2, "\bhello", "Hello"},
    {"a\x05\bb", 1, 0},
    {"a\bb\bc", 1, 0},
};

TEST(WordClass, ExamplesEncodeAndShow) {
    for (const Example& example : kExamples) {
        SCOPED_TRACE(Printable(example.word) + " in language " + std::to_string(example.language));
        const CodedWord coded = EncodeByKind(example.word, example.language);
        ASSERT_EQ(coded.wordClass, example.wordClass);
        if (coded.wordClass == 0) continue;
        EXPECT_EQ(Printable(coded.form), Printable(example.form));
        const std::string shown = example.shown ? example.shown : example.word;
        EXPECT_EQ(Printable(Display(coded, example.language)), Printable(shown));
    }
}

TEST(WordClass, LengthLimitsOfEachKind) {
    char out[kClamEncodedCapacity];
    EXPECT_EQ(ClamEncodeWord("ab\bc", out, sizeof out, 1), 0);  // a pair is no plain word
    const std::string half(63, 'x');
    EXPECT_EQ(EncodeByKind(half + "\b" + half, 1).form.size(), 127u);
    EXPECT_EQ(EncodeByKind(half + "x\bb", 1).wordClass, 0);
    EXPECT_EQ(EncodeByKind("a\b" + half + "x", 1).wordClass, 0);
    // Both halves fit, but not with an exact second half.
    EXPECT_EQ(EncodeByKind(half + "\bXx" + std::string(60, 'x') + "X", 1).wordClass, 0);
    EXPECT_EQ(EncodeByKind("\x04" + std::string(126, 'a'), 1).form.size(), 127u);
    EXPECT_EQ(EncodeByKind("\x04" + std::string(127, 'a'), 1).wordClass, 0);
    // Fits the marked word's work buffer, but not the 127 bytes of a form.
    EXPECT_EQ(EncodeByKind("\x04H" + std::string(70, 'a') + "H", 1).wordClass, 0);
}

}  // namespace
