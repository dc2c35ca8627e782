// The generated table data behind the accessors of char_tables.h.
#pragma once

#include <array>
#include <cstdint>

#include "clam/coding/char_tables.h"

using ClamByteTable = std::array<uint8_t, 256>;

inline constexpr int kClamAlphabetCount = 32;

// Indexed by character set - 1.
extern const std::array<ClamByteTable, kClamCharacterSetCount> kClamLowerTables;
extern const std::array<ClamByteTable, kClamCharacterSetCount> kClamUpperTables;
extern const std::array<ClamByteTable, kClamCharacterSetCount> kClamLetterTypeTables;
extern const std::array<ClamByteTable, kClamCharacterSetCount> kClamBaseLetterTables;

// Alphabet of each language id: an index into kClamAlphabets (entry 0 unused).
extern const std::array<uint8_t, kClamLanguageCount + 1> kClamLanguageAlphabet;
extern const std::array<ClamByteTable, kClamAlphabetCount> kClamAlphabets;
