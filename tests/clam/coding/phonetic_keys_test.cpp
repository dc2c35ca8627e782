#include "clam/coding/phonetic_keys.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

#include "clam/coding/phonetic_symbols.h"
#include "clam/store/phon_env.h"
#include "support/env_files.h"

namespace {

using testing_support::Bytes;
using testing_support::Pairs;
using testing_support::PhonEnvPtr;

// Codes: 0 vowel, 1 labial, 3 dental, 4 l, 5 nasal, 8 breath, 14 silent; 25 the x class.
PhonEnvPtr Load(int language, int classesPerRow = 4) {
    const std::string text =
        "language " + std::to_string(language) + "\nclass-base 32\nclasses-per-row " +
        std::to_string(classesPerRow) +
        "\nclass 25\nclass 17 19\nclass\nclass 19\nclass 17\n"  // the compiler sorts them
        "rule a = 0\nrule b = 1\nrule d = 3\nrule e = 5\nrule n = 5\nrule ll = 4\n"
        "rule ch : 18 30\nrule sch : 23 18 30\nrule ^kn : 30 21\nrule ng$ : 21 18\n"
        "rule ^h = 8\nrule e$ = 14\nrule cea = 7\nrule x > x:25 _:23\n";
    int status = -1;
    PhonEnvPtr env = testing_support::LoadEnvBytes(testing_support::CompileText(text), &status);
    EXPECT_EQ(status, 0);
    return env;
}

std::string Transcribe(const std::string& text, ClamPhonEnv* env) {
    std::array<char, kClamTranscriptionCapacity> out{};
    ClamTranscribe(text.c_str(), out.data(), out.size(), env);
    return out.data();
}

std::string ClassString(const std::string& text, ClamPhonEnv* env) {
    std::array<char, kClamClassStringCapacity> out{};
    ClamClassString(Transcribe(text, env).c_str(), out.data(), out.size(), env);
    return out.data();
}

std::string ClassBytes(const std::string& text, ClamPhonEnv* env) {
    std::array<char, kClamClassBytesCapacity> out{};
    ClamPhoneticClass(Transcribe(text, env).c_str(), out.data(), env);
    return std::string(out.data(), 2);
}

std::string StoredKey(const std::string& encoded, ClamPhonEnv* env) {
    std::array<char, kClamStoredKeyCapacity> out{};
    if (ClamBuildStoredKeyWithEnv(encoded.c_str(), out.data(), env) == 0) return "refused";
    return out.data();
}

std::string KeyToWord(const std::string& key, ClamPhonEnv* env) {
    std::array<char, kClamKeyWordCapacity> out{};
    ClamKeyToWordWithEnv(key.c_str(), out.data(), env);
    return out.data();
}

// Single letters; a doubled letter (the second a repeat); codes-form digraph and trigraph (the
// longer wins); word start (codes form, then direct code, and only at the start); word end
// (direct, then codes form); a right context left for the next rule; the string form with a
// letterless sound; an uncovered valid character; an invalid letter as its base letter.
TEST(Transcription, CodesEveryKindOfRule) {
    PhonEnvPtr env = Load(1);
    for (const char* c : {"bad|b17 a16 d19", "all|a16 l20 +11", "ch|c18 h30", "sch|s23 c18 h30",
                          "knab|k30 n21 a16 b17", "akn|a16 k11 n21", "hah|h24 a16 h11",
                          "be|b17 e30", "ee|e21 e30", "bang|b17 a16 n21 g18", "cea|c23 e21 a16",
                          "box|b17 o11 x25 _23", "b'e|b17 '11 e30", "b<82>|b17 e30"}) {
        const std::string_view entry = c;  // text|pairs
        const std::string text = Bytes(entry.substr(0, entry.find('|')));
        std::array<char, kClamTranscriptionCapacity> out{};
        EXPECT_EQ(ClamTranscribe(text.c_str(), out.data(), out.size(), env.get()), 1) << c;
        EXPECT_EQ(out.data(), Pairs(entry.substr(entry.find('|') + 1))) << c;
    }
    EXPECT_EQ(Transcribe(Bytes("ab<08>A<06>Z"), env.get()),
              Pairs("a16 b17 <08>11") + Bytes("A<06>Z"));  // the raw tail after byte 8
}

TEST(Transcription, StaysInsideEveryBuffer) {
    PhonEnvPtr env = Load(1);
    const std::string text = std::string(200, 'b') + "box\b" + std::string(300, 'r');
    for (std::size_t capacity = 1; capacity <= kClamTranscriptionCapacity; ++capacity) {
        std::string out(capacity + 8, '\x7f');
        EXPECT_EQ(ClamTranscribe(text.c_str(), out.data(), capacity, env.get()), 0);
        ASSERT_LT(out.find('\0'), capacity);
        ASSERT_EQ(out.substr(capacity), std::string(8, '\x7f')) << capacity;
    }
    std::string key(kClamPhoneticKeyCapacity + 4, '\x7f');
    ClamPhoneticKey(("b\b" + std::string(300, 'r')).c_str(), key.data(), kClamPhoneticKeyCapacity,
                    env.get());
    EXPECT_EQ(key.substr(kClamPhoneticKeyCapacity - 1), Bytes("<00><7f><7f><7f><7f>"));
    std::string classString(12, '\x7f');
    ClamClassString(Transcribe("bdbdbdbdbd", env.get()).c_str(), classString.data(), 8, env.get());
    EXPECT_EQ(classString, Bytes("<11><13><11><13><11><13><11><00><7f><7f><7f><7f>"));
}

// Repeats of a code drop; 30 and 24 never count, 25 always does. Languages 2 and 14 class by
// letters; 0x82 (e-acute) is a letter of 10 and 27, and only 10 classes it as e.
TEST(ClassStringsAndBytes, KeepTheSignificantCodesOrLetters) {
    for (const char* c :
         {"bbaddd 1 <11><13>", "dbd 1 <13><11><13>", "chbe 1 <12><11>", "hb 1 <11>",
          "xx 1 <19><17><19>", "ooo 1", "bad 2 bd", "sch 2 sc", "bad 14 bd", "sch 14 sc",
          "b<82>b 10 <11><15><11>", "b<82>b 27 <11>", "beb 27 <11><15><11>"}) {
        std::istringstream fields(c);  // text, language, class string
        std::string text, expected;
        int language = 0;
        fields >> text >> language >> expected;
        EXPECT_EQ(ClassString(Bytes(text), Load(language).get()), Bytes(expected)) << c;
    }
    // The class bytes name the last class string not above the word's; sorted classes:
    // "" 0, 17 1, 17 19 2, 19 3, 25 4; four a row from 32.
    PhonEnvPtr env = Load(1);
    const std::tuple<const char*, const char*, int> kClassBytes[] = {
        {"ooo", "<20><20>", 0}, {"bad", "<20><22>", 2}, {"badb", "<20><22>", 2},
        {"db", "<20><23>", 3},  {"xd", "<21><20>", 4},
    };
    for (const auto& [text, expected, lastClass] : kClassBytes) {
        EXPECT_EQ(ClassBytes(text, env.get()), Bytes(expected)) << text;
        EXPECT_EQ(env->lastClass, lastClass) << text;
    }
    PhonEnvPtr bySymbols = Load(1, 0);  // no divisor: the symbol count divides
    ASSERT_GT(bySymbols->symbolCount, 4u);
    EXPECT_EQ(ClassBytes("xd", bySymbols.get()), "\x20\x24");
}

TEST(StoredKeys, PutMarkerCodesInPlaceAndPairsAfterTheSeparator) {
    PhonEnvPtr env = Load(1);
    ClamPhonEnv* e = env.get();
    auto symbol = [&](int letter, int tag) {
        return std::string(1, ClamSymbolOf(*e, letter, tag));
    };
    const std::string bad = symbol('b', 17) + symbol('a', 16) + symbol('d', 19);
    EXPECT_EQ(StoredKey("bad", e), "\x20\x22" + bad);
    EXPECT_EQ(StoredKey(Bytes("<04>ba<05><06>d"), e),
              "\x20\x22\x01" + bad.substr(0, 2) + "\x02\x03" + bad.substr(2));
    // A letterless symbol goes with the letter before it.
    EXPECT_EQ(StoredKey("xo", e), "\x21\x20" + symbol('x', 25) + symbol(11, 23) + symbol('o', 11));
    EXPECT_EQ(KeyToWord(StoredKey("xo", e), e), "xo");
    // Pairs: the second half raw after the separator, with code 3 for an exact one (byte 6).
    EXPECT_EQ(StoredKey(Bytes("bad<08>bed"), e), "\x20\x22" + bad + Bytes("<04>bed"));
    EXPECT_EQ(StoredKey(Bytes("bad<06><08>BeD"), e), "\x20\x22" + bad + Bytes("<03><04>BeD"));
    // A letter without a symbol is lost in a word, and shows as byte 11 in a pair.
    EXPECT_EQ(KeyToWord(StoredKey(Bytes("b<01>d"), e), e), "bd");
    EXPECT_EQ(KeyToWord(StoredKey(Bytes("b<01>d<08>x"), e), e), Bytes("b<0b>d<08>x"));

    // What the store cannot hold: 197 bytes at most, marker codes and raw bytes included;
    // 127 letters at most; byte 7, which would become code 4, the separator.
    const std::string longest(127, 'b'), markers(68, '\x05');
    EXPECT_EQ(StoredKey("\x04" + longest + "\x05", e).size(), 131u);
    EXPECT_EQ(StoredKey(longest + "b", e), "refused");
    EXPECT_EQ(StoredKey(markers + longest, e).size(), 197u);
    EXPECT_EQ(StoredKey(markers + "\x04" + longest, e), "refused");
    EXPECT_EQ(StoredKey("bad\b" + std::string(191, 'z'), e).size(), 197u);
    EXPECT_EQ(StoredKey("bad\b" + std::string(192, 'z'), e), "refused");
    EXPECT_EQ(StoredKey(Bytes("<07>bad"), e), "refused");
    EXPECT_NE(StoredKey(Bytes("bad<08><07>"), e), "refused");
}

// Every environment we ship gives keys that read back as the encoded form, with markers and
// pairs, for words of every character that reaches its rules; no class byte is a NUL, a marker
// code or the separator.
TEST(StoredKeys, ReadBackAsTheEncodedFormForEveryLanguage) {
    std::mt19937 random(3);
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        PhonEnvPtr env = testing_support::LoadLanguage(language);
        ASSERT_LT(env->symbolCount, 256u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(env->symbolTable) + 2, 8),
                  Bytes("<04><0b><05><0b><06><0b><08><0b>"));
        const std::string letters = testing_support::FoldedLetters(language) + "0123456789";
        for (int w = 0; w < 4000; ++w) {
            std::string word;
            for (int i = 1 + random() % 20; i > 0; --i) {
                word +=
                    w % 4 == 1 && i % 5 == 0 ? char(4 + i % 3) : letters[random() % letters.size()];
            }
            if (w % 4 >= 2) {  // a pair or an exact form: raw bytes after byte 8
                word += w % 4 == 3 ? "\x06\b" : "\b";
                for (int i = 1 + random() % 20; i > 0; --i) word += char(1 + random() % 255);
            }
            const std::string key = StoredKey(word, env.get());
            ASSERT_NE(key, "refused") << word;
            ASSERT_TRUE(std::uint8_t(key[0]) >= 5 && std::uint8_t(key[1]) >= 5) << word;
            ASSERT_EQ(KeyToWord(key, env.get()), word);
        }
    }
}

// Marker codes are ignored, but a code 3 right before the separator counts; the separator
// sorts low and raw bytes follow it; a prefix sorts first; bytes compare unsigned.
TEST(KeyOrder, IgnoresMarkersAndOrdersBySeparatorAndPrefix) {
    for (const char* c :
         {"AB<01>cd = ABcd", "AB<02>c<03>d = ABc<01>d", "ABc<04>x<05><07>y = ABc<04>xy",
          "ABc<03><04>x < ABc<04>x", "ABc<04>z < ABcd", "ABc<04><03> > ABc<04>", "AB < ABc",
          "<20><20> < <20><20><05>", "AB<80> > ABa"}) {
        std::istringstream fields(c);
        std::string a, order, b;
        fields >> a >> order >> b;
        const int sign = ClamCompareKeys(Bytes(a).c_str(), Bytes(b).c_str());
        EXPECT_EQ((sign > 0) - (sign < 0), order == "<" ? -1 : order == ">" ? 1 : 0) << c;
    }
}

}  // namespace
