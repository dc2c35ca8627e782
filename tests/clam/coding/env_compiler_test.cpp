#include "clam/coding/env_compiler.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "clam/coding/rule_automaton.h"
#include "support/env_files.h"

namespace {

using testing_support::PhonEnvPtr;

const std::string kHead = "language 1\nclass-base 32\nclass\n";

struct Compiled {
    ClamEnvDefinition definition;
    ClamCompiledEnv compiled;
    ClamEnvError error;
    PhonEnvPtr env;
};

Compiled Build(const std::string& text) {
    Compiled c;
    int status = -1;
    if (ClamParseEnvDefinition(text, c.definition, c.error) &&
        ClamCompileEnv(c.definition, c.compiled, c.error)) {
        c.env = testing_support::LoadEnvBytes(c.compiled.file, &status);
        EXPECT_NE(c.env, nullptr) << status;
    }
    return c;
}

// Outputs up to the last offset a value byte can name, 4 bytes each, the last one starting
// there: its tail lies beyond that offset, so a later rule with that output cannot share it.
std::string OutputsToTheLastValue() {
    std::string text = kHead;
    for (int n = 0; n < 59; ++n) {
        text += "rule q" + std::string{char('a' + n / 10), char('a' + n % 10)} + " : " +
                std::to_string(20 + n / 10) + " " + std::to_string(20 + n % 10) + " 17\n";
    }
    return text + "rule ^zq : 40 39\nrule wqz : 18 19 5\n";
}

// Random rules over a few letters, dense enough that states compete for bases and cells.
std::string RandomRules(std::mt19937& random, std::size_t count) {
    const std::vector<std::string> letters = {"a", "b", "c", "d", "e", "f", "'", "\\x80", "\\xfe"};
    std::string text = "language 39\nclass-base 32\nclass\n";
    for (std::set<std::string> patterns; patterns.size() < count;) {
        const std::size_t n = 1 + random() % 4;
        std::string pattern = random() % 5 == 0 ? "^" : "";
        for (std::size_t i = 0; i < n; ++i) pattern += letters[random() % letters.size()];
        if (random() % 5 == 0) pattern += "$";
        if (!patterns.insert(pattern).second) continue;
        const bool direct = n == 1 && pattern.back() != '$';
        text += "rule " + pattern + (direct ? " = " + std::to_string(random() % 16) : " :");
        for (std::size_t i = 0; i < n && !direct; ++i) text += " " + std::to_string(17 + n);
        text += "\n";
    }
    return text;
}

// At every position of many random texts, the automaton finds the longest rule that a search
// through every rule finds; and the value of each rule selects its own output.
void ExpectSound(const Compiled& c, std::mt19937& random, int texts) {
    const std::vector<ClamEnvRule>& rules = c.definition.rules;
    const ClamPhonEnv& env = *c.env;
    std::string letters = "YZq";  // q: a letter that some definitions have no rule for
    for (const ClamEnvRule& rule : rules) letters += rule.pattern;
    for (int t = 0; t < texts; ++t) {
        std::string text;
        for (int i = 1 + int(random() % 12); i > 0; --i) text += letters[random() % letters.size()];
        for (std::size_t p = 0; p < text.size(); ++p) {
            const std::string_view rest = std::string_view(text).substr(p);
            std::size_t length = 0;
            int value = -1;
            for (std::size_t r = 0; r < rules.size(); ++r) {
                if (rules[r].pattern.size() > length && rest.starts_with(rules[r].pattern)) {
                    length = rules[r].pattern.size();
                    value = c.compiled.ruleValues[r];
                }
            }
            const ClamRuleMatch found = ClamLongestRule(
                env, {reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size()});
            ASSERT_EQ(found.length, length) << rest;
            ASSERT_EQ(found.cell < 0 ? -1 : env.trieValue[found.cell], value) << rest;
        }
    }
    for (std::size_t r = 0; r < rules.size(); ++r) {
        if (rules[r].kind == ClamRuleKind::kDirect) continue;
        const std::uint32_t value = c.compiled.ruleValues[r];
        const std::size_t offset = value - env.directValueCount +
                                   (rules[r].pattern.size() != 2 ? env.rightContextOffset : 0);
        ASSERT_TRUE(value >= env.directValueCount && offset < env.ruleOutputSize) << rules[r].line;
        EXPECT_EQ(reinterpret_cast<const char*>(env.ruleOutput + offset), rules[r].output)
            << "line " << rules[r].line;
    }
}

TEST(EnvCompiler, AutomataAndOutputsOfShippedBoundaryAndRandomDefinitions) {
    std::mt19937 random(7);
    std::vector<std::string> texts = {OutputsToTheLastValue()};
    for (int language : testing_support::DefinedLanguages()) {
        texts.push_back(testing_support::ReadSourceFile(
            "data/env/" + testing_support::DefinitionName(language) + ".def"));
    }
    const std::size_t fixed = texts.size();
    for (std::size_t set = 0; set < 30; ++set) texts.push_back(RandomRules(random, 20 + set * 6));
    std::size_t compiled = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const Compiled c = Build(texts[i]);
        ASSERT_TRUE(c.env || i >= fixed) << c.error.line << ": " << c.error.message;
        if (!c.env) {  // dense sets may run out of bases: said so, never a wrong automaton
            EXPECT_NE(c.error.message.find("bases"), std::string::npos) << c.error.message;
            continue;
        }
        ++compiled;
        ExpectSound(c, random, i < fixed ? 3000 : 300);
    }
    EXPECT_GE(compiled, fixed + 15);
}

TEST(EnvCompiler, ErrorsNameTheLine) {
    // 26 * 11 two-letter prefixes, each a state with a child: more than 255 bases.
    std::string tooManyStates = kHead;
    for (char a = 'a'; a <= 'z'; ++a) {
        for (char b = 'a'; b <= 'k'; ++b) tooManyStates += std::string("rule ") + a + b + "a = 1\n";
    }
    const struct {
        std::string text;
        int line;
        std::string fragment;
    } kCases[] = {
        {"language 40\n", 1, "language id"},
        {kHead + "rule ab = 1\n", 4, "doubled"},
        {"version 1\n" + kHead + "rule a = 10\n", 5, "0 to 9"},
        {kHead + "rule aZ = 1\n", 4, "marks"},
        {kHead + "rule a = 1\n\n# comment\nrule a = 2\n", 7, "twice"},
        {kHead + "rule x > x:17 _:18 _:19\n", 4, "without letter"},
        {kHead + "rule a\\x08 = 1\n", 4, "separator"},
        // The repeat and no-letter bytes of a transcription, and the default symbol's pair.
        {kHead + "rule a\\x0b : 17 18\n", 4, "repeat"},
        {kHead + "rule \\x09 : 17\n", 4, "repeat"},
        {kHead + "rule x > x:17 _:11\n", 4, "default"},
        {"language 1\nclass-base 3\nclass\n", 2, "class byte"},
        {"language 1\nclass-base 255\nclasses-per-row 1\nclass\nclass 17\n", 2, "class byte"},
        {OutputsToTheLastValue() + "rule x : 5\n", 65, "rule outputs"},
        {tooManyStates, 235, "bases"},
    };
    for (const auto& c : kCases) {
        const Compiled compiled = Build(c.text);
        EXPECT_FALSE(compiled.env) << c.text;
        EXPECT_EQ(compiled.error.line, c.line) << c.text << "\n" << compiled.error.message;
        EXPECT_NE(compiled.error.message.find(c.fragment), std::string::npos)
            << compiled.error.message;
    }
}

}  // namespace
