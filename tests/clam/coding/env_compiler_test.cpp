#include "clam/coding/env_compiler.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "clam/coding/phonetic_keys.h"
#include "clam/coding/phonetic_symbols.h"
#include "clam/coding/rule_automaton.h"
#include "support/env_files.h"

namespace {

using testing_support::PhonEnvPtr;

struct Compiled {
    bool ok = false;
    ClamEnvDefinition definition;
    ClamCompiledEnv compiled;
    ClamEnvError error;
    PhonEnvPtr env;
};

Compiled Build(const std::string& text) {
    Compiled c;
    c.ok = ClamParseEnvDefinition(text, c.definition, c.error) &&
           ClamCompileEnv(c.definition, c.compiled, c.error);
    int status = -1;
    if (c.ok) c.env = testing_support::LoadEnvBytes(c.compiled.file, &status);
    EXPECT_EQ(c.env != nullptr, c.ok) << status;
    return c;
}

// The longest pattern that starts the text, found by trying every rule: its length and value.
std::pair<std::size_t, int> NaiveLongest(const Compiled& c, const std::string& text) {
    std::pair<std::size_t, int> best{0, -1};
    for (std::size_t r = 0; r < c.definition.rules.size(); ++r) {
        const std::string& pattern = c.definition.rules[r].pattern;
        if (pattern.size() > best.first && text.compare(0, pattern.size(), pattern) == 0) {
            best = {pattern.size(), c.compiled.ruleValues[r]};
        }
    }
    return best;
}

// Every position of many random texts: the automaton finds the rule the naive search finds.
void ExpectAutomatonMatchesNaive(const Compiled& c, std::mt19937& random, int texts) {
    std::string letters = "YZq";  // q: a letter that some definitions have no rule for
    for (const ClamEnvRule& rule : c.definition.rules) letters += rule.pattern;
    for (int t = 0; t < texts; ++t) {
        std::string text;
        for (int i = 1 + int(random() % 12); i > 0; --i) text += letters[random() % letters.size()];
        for (std::size_t p = 0; p < text.size(); ++p) {
            const std::string rest = text.substr(p);
            const auto [length, value] = NaiveLongest(c, rest);
            const ClamRuleMatch found = ClamLongestRule(
                *c.env, {reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size()});
            ASSERT_EQ(found.length, length) << "text '" << rest << "'";
            ASSERT_EQ(found.cell < 0 ? -1 : c.env->trieValue[found.cell], value) << rest;
        }
    }
}

// Random rules over a few letters, dense enough that states compete for bases and cells.
std::string RandomRules(std::mt19937& random, std::size_t count) {
    const std::vector<std::string> letters = {"a", "b", "c", "d", "e", "f", "'", "\\x80", "\\xfe"};
    std::string text = "language 39\nclass-base 32\nclass\n";
    std::set<std::string> patterns;
    while (patterns.size() < count) {
        const int n = 1 + int(random() % 4);
        std::string pattern = random() % 5 == 0 ? "^" : "";
        for (int i = 0; i < n; ++i) pattern += letters[random() % letters.size()];
        if (random() % 5 == 0) pattern += "$";
        if (!patterns.insert(pattern).second) continue;
        if (n == 1 && pattern.back() != '$') {
            text += "rule " + pattern + " = " + std::to_string(random() % 16) + "\n";
        } else {
            text += "rule " + pattern + " :";
            for (int i = 0; i < n; ++i) text += " " + std::to_string(17 + n);
            text += "\n";
        }
    }
    return text;
}

TEST(EnvCompiler, AutomataMatchTheNaiveSearchOrAreRefused) {
    std::mt19937 random(7);
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        const Compiled c = Build(testing_support::ReadSourceFile(
            "data/env/" + testing_support::DefinitionName(language) + ".def"));
        ASSERT_TRUE(c.ok) << c.error.line << ": " << c.error.message;
        ExpectAutomatonMatchesNaive(c, random, 3000);
    }
    int compiledSets = 0;
    for (std::size_t set = 0; set < 30; ++set) {
        const Compiled c = Build(RandomRules(random, 20 + set * 6));
        if (!c.ok) {  // dense sets may run out of bases: said so, never a wrong automaton
            EXPECT_NE(c.error.message.find("bases"), std::string::npos) << c.error.message;
            continue;
        }
        ++compiledSets;
        ExpectAutomatonMatchesNaive(c, random, 300);
    }
    EXPECT_GE(compiledSets, 15);

    // 26 * 11 two-letter prefixes, each a state with a child: more than 255 bases.
    std::string tooMany = "language 1\nclass-base 32\nclass\n";
    for (char a = 'a'; a <= 'z'; ++a) {
        for (char b = 'a'; b <= 'k'; ++b) tooMany += std::string("rule ") + a + b + "a = 1\n";
    }
    const Compiled refused = Build(tooMany);
    EXPECT_NE(refused.error.message.find("bases"), std::string::npos) << refused.error.message;
    EXPECT_GT(refused.error.line, 3);
}

// The output that each rule's value selects, read as the transcription reads it, is the
// rule's own.
void ExpectValuesSelectTheirOutputs(const Compiled& c) {
    const ClamPhonEnv& env = *c.env;
    for (std::size_t r = 0; r < c.definition.rules.size(); ++r) {
        const ClamEnvRule& rule = c.definition.rules[r];
        if (rule.kind == ClamRuleKind::kDirect) continue;
        const std::uint32_t value = c.compiled.ruleValues[r];
        ASSERT_GE(value, env.directValueCount) << "line " << rule.line;
        std::size_t offset = value - env.directValueCount;
        if (rule.pattern.size() != 2) offset += std::size_t(env.rightContextOffset);
        ASSERT_LT(offset, env.ruleOutputSize) << "line " << rule.line;
        EXPECT_EQ(reinterpret_cast<const char*>(env.ruleOutput + offset), rule.output)
            << "line " << rule.line;
    }
}

TEST(EnvCompiler, RuleValuesSelectTheirOwnOutputs) {
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        ExpectValuesSelectTheirOutputs(Build(testing_support::ReadSourceFile(
            "data/env/" + testing_support::DefinitionName(language) + ".def")));
    }
    // Outputs up to the last offset a value byte can name, the last one starting there. The
    // tail of it lies beyond that offset, so a rule with that output cannot share it.
    std::string text = "language 1\nclass-base 32\nclass\n";
    for (int n = 0; n < 59; ++n) {  // 4 bytes each
        text += "rule q" + std::string{char('a' + n / 10), char('a' + n % 10)} + " : " +
                std::to_string(20 + n / 10) + " " + std::to_string(20 + n % 10) + " 17\n";
    }
    text += "rule ^zq : 40 39\n";  // 3 bytes: the next output starts at offset 239
    text += "rule wqz : 18 19 5\n";
    const Compiled full = Build(text);
    ASSERT_TRUE(full.ok) << full.error.message;
    ExpectValuesSelectTheirOutputs(full);
    const Compiled refused = Build(text + "rule x : 5\n");
    EXPECT_NE(refused.error.message.find("rule outputs"), std::string::npos);
    EXPECT_EQ(refused.error.line, 65);
}

TEST(EnvCompiler, SymbolTablesHoldTheFixedEntriesAndEveryPairTheCodingMakes) {
    std::mt19937 random(5);
    for (int language : testing_support::DefinedLanguages()) {
        SCOPED_TRACE(language);
        PhonEnvPtr env = testing_support::LoadLanguage(language);
        ASSERT_LT(env->symbolCount, 256u);
        const std::uint8_t* table = env->symbolTable;
        EXPECT_EQ(std::vector<std::uint8_t>(table + 2, table + 10),
                  (std::vector<std::uint8_t>{4, 11, 5, 11, 6, 11, 8, 11}));
        EXPECT_EQ(table[2 * env->defaultSymbol], 11);

        // Words of every character that reaches the automaton in a folded text, and digits.
        const std::string letters = testing_support::FoldedLetters(language) + "0123456789";
        for (int w = 0; w < 4000; ++w) {
            std::string word;
            for (int i = 1 + w % 9; i > 0; --i) word += letters[random() % letters.size()];
            std::array<char, kClamTranscriptionCapacity> t{};
            ASSERT_EQ(ClamTranscribe(word.c_str(), t.data(), t.size(), env.get()), 1);
            for (std::size_t i = 0; t[i] != 0; i += 2) {
                const std::uint8_t symbol = ClamSymbolOf(*env, t[i], t[i + 1]);
                ASSERT_NE(symbol, 0);
                ASSERT_NE(symbol, env->defaultSymbol)
                    << "pair " << int(t[i]) << "," << int(t[i + 1]);
            }
            std::array<char, kClamClassBytesCapacity> classBytes{};
            ClamPhoneticClass(t.data(), classBytes.data(), env.get());
            ASSERT_GE(static_cast<std::uint8_t>(classBytes[0]), 5);  // never 0 or a marker code
            ASSERT_GE(static_cast<std::uint8_t>(classBytes[1]), 5);
        }
    }
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
        {"version 1\n" + head + "rule a = 10\n", 5, "0 to 9"},
        {head + "rule ch : 17\n", 4, "one code per letter"},
        {head + "rule a^b = 1\n", 4, "'^'"},
        {head + "rule aZ = 1\n", 4, "marks"},
        {head + "rule a = 1\n\n# comment\nrule a = 2\n", 7, "twice"},
        {head + "rule x > y:17 _:18\n", 4, "spell"},
        {head + "rule x > x:17 _:18 _:19\n", 4, "without letter"},
        {head + "rule a\\x08 = 1\n", 4, "separator"},
        // The repeat and no-letter bytes of a transcription, and the default symbol's pair.
        {head + "rule a\\x0b : 17 18\n", 4, "repeat"},
        {head + "rule \\x09 : 17\n", 4, "repeat"},
        {head + "rule x > x:17 _:11\n", 4, "default"},
        {head + "class 17\nclass 17\n", 5, "twice"},
        {"language 1\nclass-base 3\nclass\n", 2, "class byte"},
        {"language 1\nclass-base 255\nclasses-per-row 1\nclass\nclass 17\n", 2, "class byte"},
    };
    for (const Case& c : cases) {
        const Compiled compiled = Build(c.text);
        EXPECT_FALSE(compiled.ok) << c.text;
        EXPECT_EQ(compiled.error.line, c.line) << c.text << "\n" << compiled.error.message;
        EXPECT_NE(compiled.error.message.find(c.fragment), std::string::npos)
            << compiled.error.message;
    }

    // Distinct three-code outputs, 4 bytes each: about 60 fit under one-byte values.
    std::string outputs = "language 39\nclass-base 32\nclass\n";
    for (char a = 'a'; a <= 'j'; ++a) {
        for (char b = 'a'; b <= 'j'; ++b) {
            outputs += std::string("rule q") + a + b + " : " + std::to_string(a - 80) + " " +
                       std::to_string(b - 80) + " 17\n";
        }
    }
    const Compiled refused = Build(outputs);
    EXPECT_NE(refused.error.message.find("rule outputs"), std::string::npos);
    EXPECT_GT(refused.error.line, 40);
}

}  // namespace
