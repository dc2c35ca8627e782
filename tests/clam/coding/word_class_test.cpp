#include "clam/coding/word_class.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

struct Encoded {
    int wordClass;
    std::string form;
};

Encoded Encode(const std::string& word, int language) {
    std::array<char, kClamEncodedCapacity> out{};
    const int wordClass = ClamEncodeWord(word.c_str(), out.data(), out.size(), language);
    return {wordClass, wordClass ? std::string(out.data()) : std::string()};
}

Encoded EncodePair(const std::string& word, int language) {
    std::array<char, kClamEncodedCapacity> out{};
    const int wordClass = ClamEncodePair(word.c_str(), out.data(), out.size(), language);
    return {wordClass, wordClass ? std::string(out.data()) : std::string()};
}

Encoded EncodeMarked(const std::string& word, int language) {
    std::array<char, kClamEncodedCapacity> out{};
    const int wordClass = ClamEncodeMarkedWord(word.c_str(), out.data(), out.size(), language);
    return {wordClass, wordClass ? std::string(out.data()) : std::string()};
}

std::string Display(const Encoded& encoded, int language) {
    std::array<char, kClamDisplayCapacity> out{};
    ClamDisplayForm(encoded.form.c_str(), encoded.wordClass, out.data(), out.size(), language);
    return out.data();
}

void ExpectEncoding(const std::string& word, int language, int wordClass, const std::string& form) {
    const Encoded encoded = Encode(word, language);
    EXPECT_EQ(encoded.wordClass, wordClass) << word;
    EXPECT_EQ(encoded.form, form) << word;
}

const std::string kSep(1, kClamPairSeparator);

TEST(WordClass, CaseOfTheLetters) {
    ExpectEncoding("hello", 1, 1, "hello");
    ExpectEncoding("Hello", 1, 2, "hello");
    ExpectEncoding("HELLO", 1, 3, "hello");
    ExpectEncoding("A", 1, 3, "a");
    ExpectEncoding("HeLLo", 1, 16, "hello" + kSep + "HeLLo");
    ExpectEncoding("O'Neil", 1, 16, "o'neil" + kSep + "O'Neil");
    ExpectEncoding("-", 1, 1, "-");
    ExpectEncoding("", 1, 1, "");
}

TEST(WordClass, InvalidCharactersKeepTheExactForm) {
    ExpectEncoding("b52", 1, 16, "b52" + kSep + "b52");
    ExpectEncoding("1999", 1, 16, "1999" + kSep + "1999");
    ExpectEncoding("hello", 18, 16, "hello" + kSep + "hello");  // no Latin letters
    ExpectEncoding("qu", 22, 16, "qu" + kSep + "qu");
    ExpectEncoding("a\x07", 1, 16, "a\x07" + kSep + "a\x07");
    // Mixed case on top of an invalid character or a broken abbreviation.
    ExpectEncoding("Ab1C", 1, 16, "ab1c" + kSep + "Ab1C");
    ExpectEncoding(".AbC.", 1, 20, ".abc" + kSep + ".AbC");
}

TEST(WordClass, Periods) {
    ExpectEncoding("etc.", 1, 5, "etc");
    ExpectEncoding("Etc.", 1, 6, "etc");
    ExpectEncoding(".", 1, 5, "");
    ExpectEncoding("U.S.A.", 1, 11, "usa");
    ExpectEncoding("u.s.a.", 1, 9, "usa");
    ExpectEncoding("U.s.a.", 1, 10, "usa");
    ExpectEncoding("U.S.A", 1, 16, "u.s.a" + kSep + "U.S.A");
    ExpectEncoding("U.S.", 1, 11, "us");
    ExpectEncoding("e.g..", 1, 20, "e.g." + kSep + "e.g.");
    ExpectEncoding("HeLLo.", 1, 20, "hello" + kSep + "HeLLo");
    ExpectEncoding("a..", 1, 20, "a." + kSep + "a.");
    // Where the period is no word character it is kept like any other.
    ExpectEncoding("abc.", 31, 20, "abc" + kSep + "abc");
}

TEST(WordClass, LeadingMarkersStayInFront) {
    ExpectEncoding("\x04Hello", 1, 2, "\x04hello");
    ExpectEncoding("\x05\x07U.S.", 1, 11, "\x05\x07us");
    ExpectEncoding("\x06HeLLo", 1, 16, "\x06hello" + kSep + "\x06HeLLo");
}

TEST(WordClass, UnknownLanguageStoresTheWordUnchanged) {
    for (int language : {0, 40, -3}) {
        ExpectEncoding("HeLLo.", language, 1, "HeLLo.");
        ExpectEncoding("\x04x" + kSep + "y", language, 1, "\x04x" + kSep + "y");
    }
}

TEST(WordClass, ByteEightIsNoPlainWordCharacter) {
    EXPECT_EQ(Encode("ab" + kSep + "c", 1).wordClass, 0);
    EXPECT_EQ(Encode(kSep, 5).wordClass, 0);
}

TEST(WordClass, DutchIjDigraph) {
    ExpectEncoding("IJsselmeer", 10, 2, "ijsselmeer");
    ExpectEncoding("ijs", 10, 1, "ijs");
    ExpectEncoding("BIJ", 10, 3, "bij");
    ExpectEncoding("Ijsselmeer", 10, 16, "ijsselmeer" + kSep + "Ijsselmeer");
    ExpectEncoding("iJs", 10, 16, "ijs" + kSep + "iJs");
    // Elsewhere i and j are two letters.
    ExpectEncoding("IJsselmeer", 1, 16, "ijsselmeer" + kSep + "IJsselmeer");
    // The one-byte digraph reads back as two letters.
    const std::string lower = "\xC8s";
    ExpectEncoding(lower, 10, 1, "ijs");
    EXPECT_EQ(Display(Encode("\xC9s", 10), 10), "IJs");
}

TEST(WordClass, GermanUmlautDigraphs) {
    ExpectEncoding("Aepfel", 14, 2, "\x84pfel");
    ExpectEncoding("Oel", 14, 2, "\x94l");
    ExpectEncoding("Ueber", 14, 2,
                   "\x81"
                   "ber");
    ExpectEncoding("AePFEL", 14, 3, "\x84pfel");
    ExpectEncoding("AEPFEL", 14, 3, "aepfel");
    ExpectEncoding("aepfel", 14, 1, "aepfel");
    const std::string typed = "\x8Epfel";
    ExpectEncoding(typed, 14, 16, "\x84pfel" + kSep + typed);
    ExpectEncoding("Aepfel", 2, 2, "aepfel");
}

// A spelling that only the exact form keeps must not be lost to the spaced
// abbreviation's class, which has no room for it.
TEST(WordClass, SpacedAbbreviationsKeepSpellingsTheClassCannotShow) {
    for (const std::string word : {"I.J.", "i.j.", "A.I.J.", "Ij.B.", "iJ.b."}) {
        const Encoded encoded = Encode(word, 10);
        EXPECT_TRUE(encoded.wordClass & WordClassExactForm) << word;
        EXPECT_EQ(Display(encoded, 10), word);
    }
    const std::string umlaut = "\x8E.B.";
    EXPECT_TRUE(Encode(umlaut, 14).wordClass & WordClassExactForm);
    EXPECT_EQ(Display(Encode(umlaut, 14), 14), umlaut);
    // The digraph as one spaced letter is fine.
    ExpectEncoding("IJ.B.", 10, 11, "ijb");
    EXPECT_EQ(Display(Encode("IJ.B.", 10), 10), "IJ.B.");
    ExpectEncoding("I.J.", 1, 11, "ij");
}

TEST(WordClass, DisplayRestoresCaseDigraphsAndPeriods) {
    EXPECT_EQ(Display(Encode("IJsselmeer", 10), 10), "IJsselmeer");
    EXPECT_EQ(Display(Encode("Aepfel", 14), 14), "Aepfel");
    EXPECT_EQ(Display(Encode("AePFEL", 14), 14), "AePFEL");
    EXPECT_EQ(Display(Encode("U.S.A.", 1), 1), "U.S.A.");
    EXPECT_EQ(Display(Encode("HeLLo.", 1), 1), "HeLLo.");
    EXPECT_EQ(Display(Encode(".", 1), 1), ".");
    EXPECT_EQ(Display(Encode("\x05\x07U.S.", 1), 1), "\x05\x07U.S.");
    EXPECT_EQ(Display({3,
                       "stra\xE1"
                       "e"},
                      2),
              "STRASSE");
    EXPECT_EQ(Display({2,
                       "stra\xE1"
                       "e"},
                      2),
              "Stra\xE1"
              "e");
    EXPECT_EQ(Display({1, "\x84pfel"}, 14), "\x84pfel");
}

TEST(WordClass, Pairs) {
    EXPECT_EQ(EncodePair("ab" + kSep + "cd", 1).form, "ab" + kSep + "cd");
    const Encoded exact = EncodePair("Ab." + kSep + "HeLLo.", 1);
    EXPECT_EQ(exact.wordClass, 20);
    EXPECT_EQ(exact.form, "ab\x06" + kSep + "HeLLo");
    EXPECT_EQ(Display(exact, 1), "ab" + kSep + "HeLLo.");
    const Encoded capitalised = EncodePair(kSep + "Hello", 1);
    EXPECT_EQ(capitalised.wordClass, 2);
    EXPECT_EQ(capitalised.form, kSep + "hello");
    // The first half is shown folded.
    const Encoded folded = EncodePair("HeLLo" + kSep + "World", 1);
    EXPECT_EQ(folded.form, "hello" + kSep + "world");
    EXPECT_EQ(Display(folded, 1), "hello" + kSep + "World");
    EXPECT_EQ(EncodePair("IJs" + kSep + "U.S.A.", 10).form, "ijs" + kSep + "usa");
}

TEST(WordClass, PairRefusals) {
    EXPECT_EQ(EncodePair("plain", 1).wordClass, 0);
    EXPECT_EQ(EncodePair("a\x05" + kSep + "b", 1).wordClass, 0);
    EXPECT_EQ(EncodePair("a" + kSep + "b" + kSep + "c", 1).wordClass, 0);
    const std::string half63(63, 'x');
    EXPECT_NE(EncodePair(half63 + kSep + half63, 1).wordClass, 0);
    EXPECT_EQ(EncodePair(half63 + "x" + kSep + "b", 1).wordClass, 0);
    EXPECT_EQ(EncodePair("a" + kSep + half63 + "x", 1).wordClass, 0);
    // Both halves fit but the exact second half does not.
    const std::string mixed = "Xx" + std::string(60, 'x') + "X";
    EXPECT_EQ(EncodePair(half63 + kSep + mixed, 1).wordClass, 0);
}

TEST(WordClass, MarkedWords) {
    const Encoded marked = EncodeMarked("Hel\x05lo", 1);
    EXPECT_EQ(marked.wordClass, 2);
    EXPECT_EQ(marked.form, "hel\x05lo");
    EXPECT_EQ(Display(marked, 1), "Hel\x05lo");
    // An exact form whose folded text ends in byte 6 would read as a pair.
    EXPECT_EQ(EncodeMarked("AbC\x06", 1).wordClass, 0);
    EXPECT_EQ(EncodeMarked("AbC\x06x", 1).wordClass, 16);
    EXPECT_EQ(EncodeMarked("", 1).wordClass, 0);
    EXPECT_EQ(EncodeMarked("\x04" + std::string(126, 'a'), 1).form.size(), 127u);
    EXPECT_EQ(EncodeMarked("\x04" + std::string(127, 'a'), 1).wordClass, 0);
    // Fits the 256-byte work buffer but not the 127 bytes of the form.
    EXPECT_EQ(EncodeMarked("\x04H" + std::string(70, 'a') + "H", 1).wordClass, 0);
}

}  // namespace
