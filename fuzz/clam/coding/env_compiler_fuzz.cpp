// The environment-definition compiler on arbitrary text; whatever it compiles must load, and
// words coded under it keep their bounds.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "clam/coding/env_compiler.h"
#include "fuzz_env.h"

namespace {

const char* const kFixedWords[] = {"a", "Word", "ABC", "e.g.", "x\x08y"};
constexpr std::size_t kPatternWords = 4;

// The letters of the n-th rule's pattern, without its start and end marks.
std::string PatternLetters(const std::string& text, std::size_t n) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream tokens(line);
        std::string directive;
        std::string pattern;
        if (!(tokens >> directive >> pattern) || directive != "rule") continue;
        if (n-- > 0) continue;
        if (pattern.starts_with('^')) pattern.erase(0, 1);
        if (pattern.ends_with('$')) pattern.pop_back();
        return pattern;
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ClamCompiledEnv compiled;
    ClamEnvError error;
    if (!ClamCompileEnvText(text, compiled, error)) return 0;
    const ClamPhonEnvPtr env = fuzz_support::LoadEnvBytes(compiled.file);
    if (env == nullptr) __builtin_trap();
    for (const char* word : kFixedWords) fuzz_support::CodeWord(word, env.get());
    // Words made of the rule patterns reach the rules: each alone, then all in one word.
    std::string all;
    for (std::size_t i = 0; i < compiled.ruleValues.size() && i < kPatternWords; ++i) {
        std::string pattern = PatternLetters(text, i);
        fuzz_support::CodeWord(pattern, env.get());
        all += pattern;
    }
    fuzz_support::CodeWord(all, env.get());
    return 0;
}
