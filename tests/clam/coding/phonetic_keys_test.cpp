#include "clam/coding/phonetic_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>

#include "clam/coding/phonetic_symbols.h"
#include "clam/store/phon_env.h"
#include "support/env_files.h"

namespace {

using testing_support::Bytes;
using testing_support::Pairs;
using testing_support::PhonEnvPtr;

// Codes: 0 vowel, 1 labial, 3 dental, 4 l, 5 nasal, 8 breath, 14 silent; 25 the x class.
std::string Definition(int language, int classesPerRow = 4) {
    return "language " + std::to_string(language) + "\nclass-base 32\nclasses-per-row " +
           std::to_string(classesPerRow) +
           "\nclass 25\nclass 17 19\nclass\nclass 19\nclass 17\n"  // the compiler sorts them
           "rule a = 0\nrule b = 1\nrule d = 3\nrule e = 5\nrule n = 5\nrule ll = 4\n"
           "rule ch : 18 30\nrule sch : 23 18 30\nrule ^kn : 30 21\nrule ng$ : 21 18\n"
           "rule ^h = 8\nrule e$ = 14\nrule cea = 7\nrule x > x:25 _:23\n";
}

PhonEnvPtr Load(const std::string& text) {
    int status = -1;
    PhonEnvPtr env = testing_support::LoadEnvBytes(testing_support::CompileText(text), &status);
    EXPECT_EQ(status, 0);
    return env;
}

std::string Transcribe(const std::string& text, ClamPhonEnv* env, int* result = nullptr) {
    std::array<char, kClamTranscriptionCapacity> out{};
    const int r = ClamTranscribe(text.c_str(), out.data(), out.size(), env);
    if (result != nullptr) *result = r;
    return out.data();
}

std::string ClassString(const std::string& text, ClamPhonEnv* env) {
    std::array<char, kClamClassStringCapacity> out{};
    ClamClassString(Transcribe(text, env).c_str(), out.data(), out.size(), env);
    return out.data();
}

std::string PhoneticClass(const std::string& text, ClamPhonEnv* env) {
    std::array<char, kClamClassBytesCapacity> out{};
    ClamPhoneticClass(Transcribe(text, env).c_str(), out.data(), env);
    return std::string(out.data(), 2);
}

std::string PhoneticKey(const std::string& encoded, ClamPhonEnv* env) {
    std::array<char, kClamPhoneticKeyCapacity> out{};
    ClamPhoneticKey(encoded.c_str(), out.data(), out.size(), env);
    return out.data();
}

// The stored key, or "refused".
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

std::string Symbol(ClamPhonEnv* env, char letter, int tag) {
    return {static_cast<char>(ClamSymbolOf(*env, std::uint8_t(letter), std::uint8_t(tag)))};
}

TEST(Transcription, CodesEveryKindOfRule) {
    PhonEnvPtr env = Load(Definition(1));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"bad", "b17 a16 d19"},      {"all", "a16 l20 +11"},  // doubled letter: the second repeats
        {"ch", "c18 h30"},                                    // codes-form digraph
        {"sch", "s23 c18 h30"},       // the trigraph beats the digraph in it
        {"knab", "k30 n21 a16 b17"},  // word start, codes form
        {"akn", "a16 k11 n21"},       // ... only at the start
        {"hah", "h24 a16 h11"},       // word start, direct code
        {"be", "b17 e30"},            // word end
        {"ee", "e21 e30"},            //
        {"bang", "b17 a16 n21 g18"},  // codes form with the end mark
        {"cea", "c23 e21 a16"},       // right context, left for the next rule
        {"box", "b17 o11 x25 _23"},   // string form: x and a letterless sound
        {"b'e", "b17 '11 e30"},       // uncovered valid character
        {"b<82>", "b17 e30"},         // invalid letter: its base letter
    };
    for (const auto& [text, pairs] : cases) {
        int result = -1;
        EXPECT_EQ(Transcribe(Bytes(text), env.get(), &result), Pairs(pairs)) << text;
        EXPECT_EQ(result, 1) << text;
    }
    EXPECT_EQ(Transcribe(Bytes("ab<08>A<06>Z"), env.get()),
              Pairs("a16 b17 <08>11") + Bytes("A<06>Z"));  // the raw tail after byte 8
}

TEST(Transcription, StaysInsideEveryBuffer) {
    PhonEnvPtr env = Load(Definition(1));
    const std::string text = std::string(200, 'b') + "box" + "\x08" + std::string(300, 'r');
    for (std::size_t capacity = 1; capacity <= kClamTranscriptionCapacity; ++capacity) {
        std::vector<char> out(capacity + 8, '\x7f');
        EXPECT_EQ(ClamTranscribe(text.c_str(), out.data(), capacity, env.get()), 0);
        ASSERT_NE(std::find(out.begin(), out.begin() + long(capacity), '\0'),
                  out.begin() + long(capacity));
        ASSERT_EQ(std::count(out.begin() + long(capacity), out.end(), '\x7f'), 8) << capacity;
    }
    // Texts longer than any work buffer are cut, not overrun.
    std::array<char, kClamTranscriptionCapacity> t{};
    EXPECT_EQ(ClamTranscribe(std::string(5000, 'o').c_str(), t.data(), t.size(), env.get()), 0);
    std::vector<char> key(kClamPhoneticKeyCapacity + 4, '\x7f');
    ClamPhoneticKey(("b\x08" + std::string(300, 'r')).c_str(), key.data(), kClamPhoneticKeyCapacity,
                    env.get());
    EXPECT_EQ(key[kClamPhoneticKeyCapacity - 1], '\0');
    EXPECT_EQ(key[kClamPhoneticKeyCapacity], '\x7f');
    std::vector<char> classString(12, '\x7f');
    ClamClassString(Transcribe("bdbdbdbdbd", env.get()).c_str(), classString.data(), 8, env.get());
    EXPECT_EQ(std::string(classString.data()), Bytes("<11><13><11><13><11><13><11>"));
    EXPECT_EQ(classString[8], '\x7f');
}

TEST(ClassStrings, KeepTheSignificantCodesOrLetters) {
    PhonEnvPtr env = Load(Definition(1));
    EXPECT_EQ(ClassString("bad", env.get()), "\x11\x13");
    EXPECT_EQ(ClassString("bbaddd", env.get()), "\x11\x13");  // repeats of a code drop
    EXPECT_EQ(ClassString("dbd", env.get()), "\x13\x11\x13");
    EXPECT_EQ(ClassString("chbe", env.get()), "\x12\x11");  // 30 and 24 never count
    EXPECT_EQ(ClassString("hb", env.get()), "\x11");
    EXPECT_EQ(ClassString("xx", env.get()), "\x19\x17\x19");  // 25 always counts
    EXPECT_EQ(ClassString("ooo", env.get()), "");
    for (int language : {2, 14}) {
        PhonEnvPtr letters = Load(Definition(language));
        EXPECT_EQ(ClassString("bad", letters.get()), "bd") << language;
        EXPECT_EQ(ClassString("sch", letters.get()), "sc") << language;
    }
    // 0x82 (e-acute) is a letter of languages 10 and 27; only language 10 classes it as e.
    PhonEnvPtr accentFree = Load(Definition(10));
    PhonEnvPtr accented = Load(Definition(27));
    EXPECT_EQ(ClassString(Bytes("b<82>b"), accentFree.get()), "\x11\x15\x11");
    EXPECT_EQ(ClassString(Bytes("b<82>b"), accented.get()), "\x11");
    EXPECT_EQ(ClassString("beb", accented.get()), "\x11\x15\x11");
}

TEST(ClassBytes, NameTheLastClassStringNotAboveTheWords) {
    PhonEnvPtr env = Load(Definition(1));
    // Sorted classes: "" 0, 17 1, 17 19 2, 19 3, 25 4; four a row from 32.
    EXPECT_EQ(PhoneticClass("ooo", env.get()), "  ");
    EXPECT_EQ(env->lastClass, 0);
    EXPECT_EQ(PhoneticClass("bad", env.get()), "\x20\x22");
    EXPECT_EQ(env->lastClass, 2);
    EXPECT_EQ(PhoneticClass("badb", env.get()), "\x20\x22");  // 17 19 17 after 17 19
    EXPECT_EQ(PhoneticClass("db", env.get()), "\x20\x23");
    EXPECT_EQ(PhoneticClass("xd", env.get()), "\x21\x20");
    EXPECT_EQ(env->lastClass, 4);
    // No divisor: the symbol count divides.
    PhonEnvPtr bySymbols = Load(Definition(1, 0));
    ASSERT_GT(bySymbols->symbolCount, 4u);
    EXPECT_EQ(PhoneticClass("xd", bySymbols.get()), "\x20\x24");
}

TEST(StoredKeys, PutMarkerCodesInPlaceAndCompareAsTheWordWithout) {
    PhonEnvPtr env = Load(Definition(1));
    ClamPhonEnv* e = env.get();
    const std::string bad = Symbol(e, 'b', 17) + Symbol(e, 'a', 16) + Symbol(e, 'd', 19);
    const std::string plain = StoredKey("bad", e);
    EXPECT_EQ(plain, PhoneticKey("bad", e));
    EXPECT_EQ(plain, "\x20\x22" + bad);

    const std::string marked = StoredKey(Bytes("<04>ba<05><06>d"), e);
    EXPECT_EQ(marked, "\x20\x22\x01" + bad.substr(0, 2) + "\x02\x03" + bad.substr(2));
    EXPECT_EQ(ClamCompareKeys(marked.c_str(), plain.c_str()), 0);
    EXPECT_EQ(KeyToWord(marked, e), Bytes("<04>ba<05><06>d"));

    // A letterless symbol goes with the letter before it.
    EXPECT_EQ(StoredKey("xo", e),
              "\x21\x20" + Symbol(e, 'x', 25) + Symbol(e, 11, 23) + Symbol(e, 'o', 11));
    EXPECT_EQ(KeyToWord(StoredKey("xo", e), e), "xo");

    // Pairs: the second half raw after the separator; an exact one (byte 6) sorts first.
    const std::string regular = StoredKey(Bytes("bad<08>bed"), e);
    const std::string exact = StoredKey(Bytes("bad<06><08>BeD"), e);
    EXPECT_EQ(regular, "\x20\x22" + bad + Bytes("<04>bed"));
    EXPECT_EQ(exact, "\x20\x22" + bad + Bytes("<03><04>BeD"));
    EXPECT_LT(ClamCompareKeys(exact.c_str(), regular.c_str()), 0);
    EXPECT_EQ(KeyToWord(regular, e), Bytes("bad<08>bed"));
    EXPECT_EQ(KeyToWord(exact, e), Bytes("bad<06><08>BeD"));

    // A letter without a symbol is lost in a word, and shows as byte 11 in a pair.
    EXPECT_EQ(KeyToWord(StoredKey(Bytes("b<01>d"), e), e), "bd");
    EXPECT_EQ(KeyToWord(StoredKey(Bytes("b<01>d<08>x"), e), e), Bytes("b<0b>d<08>x"));
}

TEST(StoredKeys, RefuseWhatTheStoreCannotHold) {
    PhonEnvPtr env = Load(Definition(1));
    ClamPhonEnv* e = env.get();
    const std::string longest(127, 'b');
    EXPECT_NE(StoredKey(longest, e), "refused");
    EXPECT_EQ(StoredKey(longest + "b", e), "refused");
    EXPECT_NE(StoredKey("\x04" + longest + "\x05", e), "refused");  // markers do not count
    // Byte 7 would become code 4, the separator.
    EXPECT_EQ(StoredKey(Bytes("<07>bad"), e), "refused");
    EXPECT_NE(StoredKey(Bytes("bad<08><07>"), e), "refused");
    // Marker codes and raw bytes count toward the 197 bytes the store takes.
    const std::string markers68(68, '\x05');
    EXPECT_EQ(StoredKey(markers68 + longest, e).size(), 197u);
    EXPECT_EQ(StoredKey(markers68 + "\x04" + longest, e), "refused");
    EXPECT_EQ(StoredKey("bad\x08" + std::string(191, 'z'), e).size(), 197u);
    EXPECT_EQ(StoredKey("bad\x08" + std::string(192, 'z'), e), "refused");
}

TEST(StoredKeys, ReadBackAsTheEncodedFormForEveryLanguage) {
    std::mt19937 random(3);
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        PhonEnvPtr env = testing_support::LoadLanguage(language);
        const std::string letters = testing_support::FoldedLetters(language);
        std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
        std::uniform_int_distribution<int> length(1, 20);
        std::uniform_int_distribution<int> anyByte(1, 255);
        int checked = 0;
        for (int w = 0; w < 3000; ++w) {
            std::string word;
            for (int i = length(random); i > 0; --i) {
                word.push_back(w % 4 == 1 && i % 5 == 0 ? char(4 + i % 3) : letters[pick(random)]);
            }
            if (w % 4 >= 2) {  // a pair or an exact form: raw bytes after byte 8
                if (w % 4 == 3) word.push_back('\x06');
                word.push_back('\x08');
                for (int i = length(random); i > 0; --i) word.push_back(char(anyByte(random)));
            }
            std::array<char, kClamStoredKeyCapacity> key{};
            ASSERT_EQ(ClamBuildStoredKeyWithEnv(word.c_str(), key.data(), env.get()), 1);
            ASSERT_EQ(KeyToWord(key.data(), env.get()), word);
            ++checked;
        }
        EXPECT_EQ(checked, 3000);
    }
}

TEST(KeyOrder, IgnoresMarkersAndOrdersBySeparatorAndPrefix) {
    const auto sign = [](const std::string& a, const std::string& b) {
        const int c = ClamCompareKeys(Bytes(a).c_str(), Bytes(b).c_str());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    };
    EXPECT_EQ(sign("AB<01>cd", "ABcd"), 0);
    EXPECT_EQ(sign("AB<02>c<03>d", "ABc<01>d"), 0);
    EXPECT_EQ(sign("ABc<04>x<05><07>y", "ABc<04>xy"), 0);
    EXPECT_EQ(sign("ABc<03><04>x", "ABc<04>x"), -1);  // a code 3 before the separator counts
    EXPECT_EQ(sign("ABc<04>z", "ABcd"), -1);          // the separator sorts low
    EXPECT_EQ(sign("ABc<04><03>", "ABc<04>"), 1);     // codes after it are raw bytes
    EXPECT_EQ(sign("AB", "ABc"), -1);                 // a prefix sorts first
    EXPECT_EQ(sign("  ", "  <05>"), -1);              // the sentinel key too
    EXPECT_EQ(sign("AB<80>", "ABa"), 1);              // bytes compare unsigned
    EXPECT_EQ(sign("", ""), 0);
    EXPECT_EQ(ClamCompareKeys("ABa", "ABc"), 'a' - 'c');
}

}  // namespace
