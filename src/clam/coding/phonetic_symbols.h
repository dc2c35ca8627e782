// Symbols of a phonetic environment: the index of a (letter, tag) pair in its symbol table.
#pragma once

#include <cstdint>

struct ClamPhonEnv;

// Symbols are key bytes, so only the first 256 entries of a symbol table can be produced.
inline constexpr std::uint32_t kClamMaxSymbols = 256;

// The symbol of a pair: the first table entry equal to it, else the default symbol.
std::uint8_t ClamSymbolOf(const ClamPhonEnv& env, std::uint8_t letter, std::uint8_t tag);

// The letter of a symbol, or -1 when the table has no such entry.
int ClamSymbolLetter(const ClamPhonEnv& env, std::uint8_t symbol);

// The default symbol as it is written into keys.
std::uint8_t ClamDefaultSymbolByte(const ClamPhonEnv& env);

// Allocates and fills env.symbolIndex; false when out of memory.
bool ClamBuildSymbolIndex(ClamPhonEnv& env);
