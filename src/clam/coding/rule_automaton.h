// The rule automaton of a phonetic environment: the longest rule matching at a position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct ClamPhonEnv;

// Bytes are fed as (byte - 0x58) mod 256, so the start mark Y is code 1 and the end mark Z 2.
inline constexpr std::uint8_t kClamRuleCodeOffset = 0x58;

struct ClamRuleMatch {
    int cell = -1;           // -1: no rule matches
    std::size_t length = 0;  // bytes the rule matched
};

// The longest rule matching a prefix of bytes.
ClamRuleMatch ClamLongestRule(const ClamPhonEnv& env, std::span<const std::uint8_t> bytes);
