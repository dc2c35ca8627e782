#include "clam/coding/rule_automaton.h"

#include "clam/store/phon_env.h"

ClamRuleMatch ClamLongestRule(const ClamPhonEnv& env, std::span<const std::uint8_t> bytes) {
    ClamRuleMatch best;
    if (env.trieSize <= 0) return best;
    const auto size = static_cast<std::size_t>(env.trieSize);
    std::size_t cell = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t base = env.trieBase[cell];
        if (base == 0) break;
        const auto code = static_cast<std::uint8_t>(bytes[i] - kClamRuleCodeOffset);
        const std::size_t next = base + code;
        if (next >= size || env.trieCheck[next] != code) break;
        cell = next;
        if (env.trieValue[cell] != kClamNoRuleValue) best = {static_cast<int>(cell), i + 1};
    }
    return best;
}
