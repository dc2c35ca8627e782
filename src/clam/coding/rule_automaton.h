// The rule automaton of a phonetic environment: the longest rule matching at a position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "clam/store/phon_env.h"

// Bytes are fed as (byte - 0x58) mod 256, so the start mark Y is code 1 and the end mark Z 2.
inline constexpr std::uint8_t kClamRuleCodeOffset = 0x58;

struct ClamRuleMatch {
    int cell = -1;           // -1: no rule matches
    std::size_t length = 0;  // bytes the rule matched
};

// Allocates and fills env.ruleStarts from the automaton's tables; false when out of memory.
bool ClamBuildRuleStarts(ClamPhonEnv& env);

// The longest rule matching a prefix of bytes. Inline: it runs once per letter.
inline ClamRuleMatch ClamLongestRule(const ClamPhonEnv& env, std::span<const std::uint8_t> bytes) {
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
