#include "clam/coding/env_compiler.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "clam/coding/char_tables.h"
#include "clam/coding/phonetic_keys.h"
#include "clam/coding/phonetic_symbols.h"
#include "clam/coding/rule_automaton.h"
#include "support/env_files.h"

namespace {

using testing_support::LoadEnvBytes;
using testing_support::PhonEnvPtr;

struct Compiled {
    ClamEnvDefinition definition;
    ClamCompiledEnv compiled;
    PhonEnvPtr env;
};

Compiled CompileAndLoad(const ClamEnvDefinition& definition) {
    Compiled c;
    c.definition = definition;
    ClamEnvError error;
    EXPECT_TRUE(ClamCompileEnv(definition, c.compiled, error))
        << "line " << error.line << ": " << error.message;
    int status = -1;
    c.env = LoadEnvBytes(c.compiled.file, &status);
    EXPECT_EQ(status, 0);
    return c;
}

ClamEnvDefinition Parse(const std::string& text) {
    ClamEnvDefinition definition;
    ClamEnvError error;
    EXPECT_TRUE(ClamParseEnvDefinition(text, definition, error))
        << "line " << error.line << ": " << error.message;
    return definition;
}

// The longest pattern that starts the text, found by trying every rule.
ClamRuleMatch NaiveLongest(const Compiled& c, const std::string& text, std::uint8_t& value) {
    ClamRuleMatch best;
    for (std::size_t r = 0; r < c.definition.rules.size(); ++r) {
        const std::string& pattern = c.definition.rules[r].pattern;
        if (pattern.size() > best.length && text.compare(0, pattern.size(), pattern) == 0) {
            best = {static_cast<int>(r), pattern.size()};
            value = c.compiled.ruleValues[r];
        }
    }
    return best;
}

// Every position of many random texts: the automaton finds the rule the naive search finds.
void ExpectAutomatonMatchesNaive(const Compiled& c, std::mt19937& random, int texts) {
    std::vector<char> letters = {'Y', 'Z', 'q'};  // 'q': a byte some sets have no rule for
    for (const ClamEnvRule& rule : c.definition.rules) {
        letters.insert(letters.end(), rule.pattern.begin(), rule.pattern.end());
    }
    std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
    std::uniform_int_distribution<int> length(1, 12);
    for (int t = 0; t < texts; ++t) {
        std::string text;
        for (int i = length(random); i > 0; --i) text.push_back(letters[pick(random)]);
        for (std::size_t p = 0; p < text.size(); ++p) {
            const std::string rest = text.substr(p);
            std::uint8_t expectedValue = 0;
            const ClamRuleMatch expected = NaiveLongest(c, rest, expectedValue);
            const ClamRuleMatch found = ClamLongestRule(
                *c.env, {reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size()});
            ASSERT_EQ(found.length, expected.length) << "text '" << rest << "'";
            if (expected.cell >= 0) {
                ASSERT_GE(found.cell, 0);
                ASSERT_EQ(c.env->trieValue[found.cell], expectedValue) << "text '" << rest << "'";
            } else {
                ASSERT_LT(found.cell, 0);
            }
        }
    }
}

TEST(EnvCompiler, AutomataOfOurDefinitionsMatchTheNaiveSearch) {
    std::mt19937 random(7);
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        const Compiled c = CompileAndLoad(Parse(testing_support::ReadSourceFile(
            "data/env/" + testing_support::DefinitionName(language) + ".def")));
        ASSERT_NE(c.env, nullptr);
        ExpectAutomatonMatchesNaive(c, random, 3000);
    }
}

// Random rule sets, dense enough that many states compete for bases and cells.
TEST(EnvCompiler, AutomataOfRandomRuleSetsMatchTheNaiveSearch) {
    std::mt19937 random(11);
    const std::string letters = "abcdefgh\x27\x80\xfe";
    int compiledSets = 0;
    for (int set = 0; set < 30; ++set) {
        ClamEnvDefinition d;
        d.language = 39;
        d.classBase = 32;
        d.classesPerRow = 16;
        d.classes = {""};
        d.classLines = {1};
        std::set<std::string> patterns;
        const int rules = 20 + set * 6;
        std::uniform_int_distribution<std::size_t> letter(0, letters.size() - 1);
        std::uniform_int_distribution<int> length(1, 4);
        while (static_cast<int>(patterns.size()) < rules) {
            std::string p;
            if (random() % 5 == 0) p.push_back('Y');
            for (int i = length(random); i > 0; --i) p.push_back(letters[letter(random)]);
            if (random() % 5 == 0) p.push_back('Z');
            patterns.insert(p);
        }
        for (const std::string& p : patterns) {
            ClamEnvRule rule;
            rule.pattern = p;
            rule.line = static_cast<int>(d.rules.size()) + 2;
            if (d.rules.size() % 3 == 0) {
                rule.kind = ClamRuleKind::kDirect;
                rule.directValue = static_cast<int>(d.rules.size() % 16);
            } else {
                rule.kind = ClamRuleKind::kCodes;
                rule.output = std::string(p.size(), static_cast<char>(17 + d.rules.size() % 8));
            }
            d.rules.push_back(rule);
        }
        ClamCompiledEnv compiled;
        ClamEnvError error;
        if (!ClamCompileEnv(d, compiled, error)) {
            // Dense sets may run out of bases; that must be said, never a wrong automaton.
            EXPECT_NE(error.message.find("bases"), std::string::npos) << error.message;
            continue;
        }
        ++compiledSets;
        const Compiled c = CompileAndLoad(d);
        ASSERT_NE(c.env, nullptr) << "set " << set;
        ExpectAutomatonMatchesNaive(c, random, 300);
    }
    EXPECT_GE(compiledSets, 15);
}

TEST(EnvCompiler, RefusesMoreStatesThanOneByteBasesCanSeparate) {
    std::string text = "language 1\nclass-base 32\nclasses-per-row 16\nclass\n";
    // 26 * 11 two-letter prefixes, each a state with a child of its own.
    for (char a = 'a'; a <= 'z'; ++a) {
        for (char b = 'a'; b <= 'k'; ++b) text += std::string("rule ") + a + b + "a = 1\n";
    }
    ClamCompiledEnv compiled;
    ClamEnvError error;
    ASSERT_FALSE(ClamCompileEnvText(text, compiled, error));
    EXPECT_NE(error.message.find("bases"), std::string::npos) << error.message;
    EXPECT_GT(error.line, 4);
}

TEST(EnvCompiler, SymbolTablesHoldTheFixedEntriesAndEveryPairTheCodingMakes) {
    std::mt19937 random(5);
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        PhonEnvPtr env = testing_support::LoadLanguage(language);
        ASSERT_NE(env, nullptr);
        ASSERT_LT(env->symbolCount, 256u);
        const std::uint8_t* table = env->symbolTable;
        const std::vector<std::uint8_t> fixed = {4, 11, 5, 11, 6, 11, 8, 11};
        EXPECT_EQ(std::vector<std::uint8_t>(table + 2, table + 10), fixed);
        EXPECT_EQ(table[2 * env->defaultSymbol], 11);

        // Words of every character that reaches the automaton in a folded text.
        const std::uint8_t* alphabet = ClamAlphabetTable(language);
        const std::uint8_t* types = ClamLetterTypeTable(language);
        std::string letters = "0123456789";
        for (int b = 1; b < 256; ++b) {
            if ((alphabet[b] & kClamValidWordChar) && !(types[b] & kClamUpperCaseLetter) &&
                (b < 4 || b > 6)) {
                letters.push_back(static_cast<char>(b));
            }
        }
        std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
        for (int w = 0; w < 4000; ++w) {
            std::string word;
            for (int i = 1 + w % 9; i > 0; --i) word.push_back(letters[pick(random)]);
            std::array<char, kClamTranscriptionCapacity> t{};
            ASSERT_EQ(ClamTranscribe(word.c_str(), t.data(), t.size(), env.get()), 1);
            for (std::size_t i = 0; t[i] != 0; i += 2) {
                const auto letter = static_cast<std::uint8_t>(t[i]);
                const auto tag = static_cast<std::uint8_t>(t[i + 1]);
                const std::uint8_t symbol = ClamSymbolOf(*env, letter, tag);
                ASSERT_NE(symbol, 0);
                ASSERT_NE(symbol, env->defaultSymbol) << "pair " << int(letter) << "," << int(tag);
            }
            std::array<char, kClamClassBytesCapacity> classBytes{};
            ClamPhoneticClass(t.data(), classBytes.data(), env.get());
            ASSERT_GE(static_cast<std::uint8_t>(classBytes[0]), 5);
            ASSERT_GE(static_cast<std::uint8_t>(classBytes[1]), 5);
        }
    }
}

TEST(EnvCompiler, SortsClassStringsAsTheClassSearchNeedsThem) {
    PhonEnvPtr env;
    int status = -1;
    env = LoadEnvBytes(testing_support::CompileText("language 1\nclass-base 32\nclass 20\n"
                                                    "class \\xe1\nclass\nclass 17 19\nclass 17\n"),
                       &status);
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(env->classCount, 5u);
    const std::vector<std::string> expected = {"", "\x11", "\x11\x13", "\x14", "\xe1"};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(env->classTable[i], expected[i]);
}

TEST(EnvCompiler, ErrorsNameTheLine) {
    struct Case {
        std::string text;
        int line;
        std::string fragment;
    };
    const std::string head = "language 1\nclass-base 32\nclass\n";
    const std::vector<Case> cases = {
        {"language 40\n", 1, "language id"},
        {head + "rule ab = 1\n", 4, "doubled"},
        {head + "rule a = 16\n", 4, "direct code"},
        {"version 1\n" + head + "rule a = 10\n", 5, "0 to 9"},
        {head + "rule ch : 17\n", 4, "one code per letter"},
        {head + "rule ch : 65 17\n", 4, "a code"},
        {head + "rule a^b = 1\n", 4, "'^'"},
        {head + "rule aZ = 1\n", 4, "marks"},
        {head + "rule a = 1\n\n# comment\nrule a = 2\n", 7, "twice"},
        {head + "rule x > y:17 _:18\n", 4, "spell"},
        {head + "rule x > _:17\n", 4, "0x41"},
        {head + "rule x > x:17 _:18 _:19\n", 4, "without letter"},
        {head + "rule a\\x08 = 1\n", 4, "separator"},
        {head + "frobnicate 3\n", 4, "unknown directive"},
        {head + "class 17\nclass 17\n", 5, "twice"},
        {"language 1\nclass-base 3\nclass\n", 2, "class byte"},
        {"language 1\nclass-base 255\nclasses-per-row 1\nclass\nclass 17\n", 2, "class byte"},
        {"language 1\nclass\n", 0, "class-base"},
    };
    for (const Case& c : cases) {
        ClamCompiledEnv compiled;
        ClamEnvError error;
        EXPECT_FALSE(ClamCompileEnvText(c.text, compiled, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text << "\n" << error.message;
        EXPECT_NE(error.message.find(c.fragment), std::string::npos) << error.message;
    }
}

TEST(EnvCompiler, RefusesRuleOutputsBeyondWhatOneByteValuesReach) {
    std::string text = "language 39\nclass-base 32\nclass\n";
    int line = 3;
    int failingLine = 0;
    // Distinct three-letter outputs: 4 bytes each, about 60 fit.
    for (int a = 0; a < 10 && failingLine == 0; ++a) {
        for (int b = 0; b < 10; ++b) {
            const char x = static_cast<char>('a' + a);
            const char y = static_cast<char>('a' + b);
            text += std::string("rule q") + x + y + " : " + std::to_string(17 + a) + " " +
                    std::to_string(17 + b) + " 17\n";
            ++line;
        }
    }
    ClamCompiledEnv compiled;
    ClamEnvError error;
    ASSERT_FALSE(ClamCompileEnvText(text, compiled, error));
    EXPECT_NE(error.message.find("rule outputs"), std::string::npos) << error.message;
    EXPECT_GT(error.line, 40);
    EXPECT_LE(error.line, line);
}

}  // namespace
