// The environment compiler: a parsed definition (env_definition.h) to the bytes of a
// "phon.env" file.
//
// The rule automaton is a double array with one-byte bases, whose check cells hold only the
// code that leads into them. A walk from state s with code c therefore lands on a cell of
// another state exactly when that state has the same base; so every state with children gets
// a base of its own, and the compiler checks the finished arrays for any cell that would
// match for a state it does not belong to.
//
// The symbol table starts with fixed entries: 0 a pair no coding produces, 1 to 3 the marker
// letters 4 to 6, 4 the separator pair (8, 11), 5 the default symbol (11, 11), 6 the repeat
// pair (9, 11); then every pair that the rules and the uncovered letters can produce, in
// (letter, tag) order.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "clam/coding/env_definition.h"

inline constexpr std::uint32_t kClamEnvDefaultSymbol = 5;
inline constexpr std::uint32_t kClamEnvFixedSymbols = 7;

struct ClamCompiledEnv {
    std::vector<std::uint8_t> file;
    // The automaton value of each rule, in the order of the definition.
    std::vector<std::uint8_t> ruleValues;
    std::vector<std::array<std::uint8_t, 2>> symbols;
};

bool ClamCompileEnv(const ClamEnvDefinition& definition, ClamCompiledEnv& compiled,
                    ClamEnvError& error);

// Parses and compiles a definition text.
bool ClamCompileEnvText(std::string_view text, ClamCompiledEnv& compiled, ClamEnvError& error);
