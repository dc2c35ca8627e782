// Section 9 as a provider lays it out: the outputs of two-letter rules, then those of all
// others, with rightContextOffset the size of the first part. A value is read plainly for a
// match of two bytes and past the offset otherwise, so whichever part is the longer, the
// other reading of a value may lie past the section: such files load and code as their rules
// say. Outputs that do lie past the section, or run to its end without a NUL, are bounded
// where the coding reads them.
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "clam/coding/env_compiler.h"
#include "clam/coding/phonetic_keys.h"
#include "clam/store/clam_status.h"
#include "clam/store/phon_env.h"
#include "support/env_files.h"

namespace {

using testing_support::Bytes;
using testing_support::CraftedEnv;
using testing_support::Pairs;
using testing_support::PhonEnvPtr;

std::string Transcribe(const std::string& text, ClamPhonEnv* env) {
    std::array<char, kClamTranscriptionCapacity> out{};
    ClamTranscribe(text.c_str(), out.data(), out.size(), env);
    return out.data();
}

// The word its stored key reads back as, or "refused".
std::string ThroughKey(const std::string& word, ClamPhonEnv* env) {
    std::array<char, kClamStoredKeyCapacity> key{};
    if (ClamBuildStoredKeyWithEnv(word.c_str(), key.data(), env) == 0) return "refused";
    std::array<char, kClamKeyWordCapacity> back{};
    ClamKeyToWordWithEnv(key.data(), back.data(), env);
    return back.data();
}

// Each entry is "word|pairs": the word transcribes to the pairs, and its key reads back as
// the word.
void ExpectCodes(std::initializer_list<const char*> entries, ClamPhonEnv* env) {
    for (const std::string_view entry : entries) {
        const std::string word(entry.substr(0, entry.find('|')));
        EXPECT_EQ(Transcribe(word, env), Pairs(entry.substr(entry.find('|') + 1))) << entry;
        EXPECT_EQ(ThroughKey(word, env), word);
    }
}

struct Compiled {
    ClamEnvDefinition definition;
    ClamCompiledEnv compiled;
    PhonEnvPtr env;
};

Compiled CompileAndLoad(const std::string& text) {
    Compiled c;
    ClamEnvError error;
    EXPECT_TRUE(ClamParseEnvDefinition(text, c.definition, error) &&
                ClamCompileEnv(c.definition, c.compiled, error))
        << error.line << ": " << error.message << "\n"
        << text;
    int status = -1;
    c.env = testing_support::LoadEnvBytes(c.compiled.file, &status);
    EXPECT_EQ(status, kClamStatusOk) << text;
    return c;
}

// Where the coding reads the output of a rule that is not direct.
std::size_t OutputOffset(const ClamPhonEnv& env, std::uint8_t value, std::size_t matchLength) {
    return value - env.directValueCount + (matchLength != 2 ? env.rightContextOffset : 0);
}

// Whether some two-letter rule's value, read past the right-context offset, leaves section 9.
bool TwoLetterValuePastTheEnd(const Compiled& c) {
    const std::vector<ClamEnvRule>& rules = c.definition.rules;
    for (std::size_t r = 0; r < rules.size(); ++r) {
        if (rules[r].kind == ClamRuleKind::kDirect || rules[r].pattern.size() != 2) continue;
        if (OutputOffset(*c.env, c.compiled.ruleValues[r], 3) >= c.env->ruleOutputSize) {
            return true;
        }
    }
    return false;
}

// Made by hand, so that no compiler stands between the layout and the loader: "a" = 0,
// "bb" = 1 (direct), "cc" : 18 30 (codes), "dd" > d:19 +:30 (string), "f" : 17 (codes, past
// the offset). Bytes are fed as byte - 0x58: a 9, b 10, c 11, d 12, f 14.
TEST(TwoLetterOutputsFirst, HandMadeEnvironmentLoadsAndCodesDoubledLettersEveryWay) {
    CraftedEnv f;
    constexpr std::size_t kCells = 25;
    std::string base(kCells, '\0'), check(kCells, '\xFF'), value(kCells, '\x7F');
    base[0] = 1;                                  // a 10, b 11, c 12, d 13, f 15
    base[11] = 10, base[12] = 11, base[13] = 12;  // bb 20, cc 22, dd 24
    const std::array<std::pair<int, int>, 8> kChildren = {
        {{10, 9}, {11, 10}, {12, 11}, {13, 12}, {15, 14}, {20, 10}, {22, 11}, {24, 12}}};
    for (const auto& [cell, code] : kChildren) check[cell] = static_cast<char>(code);
    value[10] = 0, value[20] = 1;
    value[22] = 16 + 0, value[24] = 16 + 3;  // two-letter outputs at 0 and 3
    value[15] = 16 + 0;                      // the first output past the offset
    const std::string twoLetter = Bytes("<12><1e><00>d<13><09><1e><00>");
    f.numbers = {1, 17, 32, 16, 5, kCells, static_cast<std::uint16_t>(twoLetter.size())};
    f.sections = {std::string(1, '\0'),
                  Pairs("<00>0 <04>11 <05>11 <06>11 <08>11 _11 +11 a16 b17 c18 c30 d19 +30 "
                        "f17 b11 c11 d11"),
                  "",
                  "",
                  "",
                  base,
                  check,
                  value,
                  twoLetter + Bytes("<11><00>")};
    int status = -1;
    PhonEnvPtr env = f.Load(status);
    ASSERT_EQ(status, kClamStatusOk);
    ASSERT_GE(OutputOffset(*env, 16 + 3, 3), env->ruleOutputSize);  // "dd", read the other way
    ExpectCodes({"abba|a16 b17 +11 a16", "acca|a16 c18 c30 a16", "adda|a16 d19 +30 a16",
                 "fab|f17 a16 b11", "cf|c11 f17", "abbbb|a16 b17 +11 b17 +11"},
                env.get());
}

// Our German definition gives its two-letter rules the longer part, and codes doubled letters
// by direct, codes-form and string-form rules.
TEST(TwoLetterOutputsFirst, ShippedGermanDefinitionCodesItsDoubledLetters) {
    const Compiled c = CompileAndLoad(testing_support::ReadSourceFile("data/env/lang02.def"));
    ASSERT_NE(c.env, nullptr);
    EXPECT_GT(static_cast<std::uint32_t>(c.env->rightContextOffset) * 2, c.env->ruleOutputSize);
    EXPECT_TRUE(TwoLetterValuePastTheEnd(c));
    ExpectCodes({"wasser|w17 a16 s23 +11 e16 r22", "ebbe|e16 b17 b30 e30", "boot|b17 o16 +30 t19",
                 "pizza|p17 i16 z23 +30 a16"},
                c.env.get());
}

// The pairs a rule gives when its output, read where its match length says, is cut to its
// first `kept` bytes at the end of section 9: none kept is an output past the section, and
// the letters are uncovered; otherwise a codes output codes as many letters as it has codes,
// and a string output is copied as far as it goes.
std::string CutOutputPairs(const ClamEnvRule& rule, std::size_t kept) {
    std::string letters;
    for (const char l : rule.pattern) {
        if (l != 'Y' && l != 'Z') letters += l;
    }
    if (rule.kind == ClamRuleKind::kString && kept > 0) return rule.output.substr(0, kept);
    std::string pairs;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        pairs += {letters[i], i < kept ? rule.output[i] : '\x0b'};
    }
    return pairs;
}

// Match lengths 1 to 3, codes and string form, with the word marks counted in the length.
TEST(RuleOutputBounds, OutputsPastSectionNineOrUnendedInItCodeInsideIt) {
    const Compiled c = CompileAndLoad(
        "language 1\nclass-base 32\nclass\n"
        "rule a : 17\nrule b > b:18\nrule cd : 19 20\nrule ef > e:21 f:22\nrule ^m : 23\n"
        "rule n$ : 24\nrule ghi : 25 26 27\nrule jkl > j:28 k:29 l:30 _:31\n");
    ASSERT_NE(c.env, nullptr);
    const CraftedEnv original = testing_support::ParseEnvFile(c.compiled.file);
    const std::vector<ClamEnvRule>& rules = c.definition.rules;
    int status = -1;
    for (std::size_t r = 0; r < rules.size(); ++r) {
        const ClamEnvRule& rule = rules[r];
        std::string word = rule.pattern;
        std::erase_if(word, [](char l) { return l == 'Y' || l == 'Z'; });
        const std::size_t offset =
            OutputOffset(*c.env, c.compiled.ruleValues[r], rule.pattern.size());
        for (std::size_t kept = 0; kept <= rule.output.size(); ++kept) {
            CraftedEnv cut = original;
            cut.sections[8] = original.sections[8].substr(0, offset) + rule.output.substr(0, kept);
            PhonEnvPtr env = cut.Load(status);
            ASSERT_EQ(status, kClamStatusOk);
            EXPECT_EQ(Transcribe(word, env.get()), CutOutputPairs(rule, kept))
                << word << " keeping " << kept;
            ThroughKey(word, env.get());  // for the sanitizers
        }
    }
    // An offset far past section 9: only the rules read past it lose their outputs.
    CraftedEnv far = original;
    far.numbers[6] = 0xFFFF;
    PhonEnvPtr env = far.Load(status);
    ASSERT_EQ(status, kClamStatusOk);
    for (const ClamEnvRule& rule : rules) {
        std::string word = rule.pattern;
        std::erase_if(word, [](char l) { return l == 'Y' || l == 'Z'; });
        EXPECT_EQ(Transcribe(word, env.get()),
                  CutOutputPairs(rule, rule.pattern.size() == 2 ? rule.output.size() : 0))
            << word;
    }
}

// A random definition over the letters a to h whose rule outputs lie mostly in two-letter
// rules, or mostly in rules of other lengths (1 to 3 letters, with or without word marks).
std::string RandomDefinition(std::mt19937& random, bool twoLetterHeavy) {
    const std::string letters = "abcdefgh";
    const auto letter = [&] { return letters[random() % letters.size()]; };
    const auto tag = [&] { return std::to_string(17 + random() % 14); };
    const int version = 1 + static_cast<int>(random() % 2);
    const auto direct = [&] { return " = " + std::to_string(random() % (version == 1 ? 10 : 16)); };
    std::string text = "language 1\nversion " + std::to_string(version) +
                       "\nclass-base 32\nclass\nclass 17\nclass 18 19\n";
    std::set<std::string> patterns;
    const auto add = [&](const std::string& pattern, const std::string& rest) {
        if (patterns.insert(pattern).second) text += "rule " + pattern + rest + "\n";
    };
    for (const char l : letters) {
        if (random() % 2 == 0) add(std::string(1, l), direct());
    }
    const unsigned twoLetter = twoLetterHeavy ? 12 + random() % 25 : random() % 6;
    const unsigned others = twoLetterHeavy ? random() % 6 : 12 + random() % 25;
    for (unsigned i = 0; i < twoLetter; ++i) {
        const char a = letter();
        const char b = random() % 3 == 0 ? a : letter();
        const std::string pattern{a, b};
        switch (random() % 3) {
            case 0:
                if (a == b) {
                    add(pattern, direct());
                    break;
                }
                [[fallthrough]];
            case 1:
                add(pattern, " : " + tag() + " " + tag());
                break;
            default:
                add(pattern,
                    std::string(" > ") + a + ":" + tag() + " " + (a == b ? '+' : b) + ":" + tag());
        }
    }
    for (unsigned i = 0; i < others; ++i) {
        const std::size_t count = random() % 2 == 0 ? 1 : 3;
        std::string word;
        for (std::size_t k = 0; k < count; ++k) word += letter();
        const std::string pattern =
            (random() % 4 == 0 ? "^" : "") + word + (random() % 4 == 0 ? "$" : "");
        std::string rest = " :";
        if (random() % 2 == 0) {
            rest = " >";
            for (const char l : word) rest += std::string(" ") + l + ":" + tag();
            if (random() % 2 == 0) rest += " _:" + tag();
        } else {
            for (std::size_t k = 0; k < count; ++k) rest += " " + tag();
        }
        add(pattern, random() % 8 == 0 ? direct() : rest);
    }
    return text;
}

// Random definitions, either part of section 9 the longer: every one compiles and loads, and
// random words code (inside the loaded sections, as the sanitizer build checks) into keys that
// read back as the words.
TEST(RandomEnvironments, EveryCompiledEnvironmentLoadsAndCodesWordsThatReadBack) {
    std::mt19937 random(9);
    int twoLetterLonger = 0, pastTheEnd = 0;
    for (int n = 0; n < 400; ++n) {
        const std::string text = RandomDefinition(random, n % 2 == 0);
        const Compiled c = CompileAndLoad(text);
        ASSERT_NE(c.env, nullptr);
        const auto firstPart = static_cast<std::uint32_t>(c.env->rightContextOffset);
        twoLetterLonger += firstPart * 2 > c.env->ruleOutputSize ? 1 : 0;
        pastTheEnd += TwoLetterValuePastTheEnd(c) ? 1 : 0;
        for (int w = 0; w < 100; ++w) {
            std::string word;
            for (int i = 1 + static_cast<int>(random() % 14); i > 0; --i) {
                word += "abcdefghijk"[random() % 11];
            }
            ASSERT_EQ(ThroughKey(word, c.env.get()), word) << text;
        }
    }
    EXPECT_GT(twoLetterLonger, 150);
    EXPECT_LT(twoLetterLonger, 250);
    EXPECT_GT(pastTheEnd, 150);
}

}  // namespace
