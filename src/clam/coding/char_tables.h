// Per-language character tables of clam words: case maps, letter types,
// base letters and the alphabets of valid word characters.
#pragma once

#include <array>
#include <cstdint>

// Letter-type bits of ClamLetterTypeTable; the word coding reads only these.
inline constexpr uint8_t kClamLowerCaseLetter = 0x04;
inline constexpr uint8_t kClamUpperCaseLetter = 0x08;

// Bit of ClamAlphabetTable marking a valid word character of the language.
inline constexpr uint8_t kClamValidWordChar = 0x01;

// Language ids run from 1 to kClamLanguageCount; character sets from 1 to
// kClamCharacterSetCount.
inline constexpr int kClamLanguageCount = 39;
inline constexpr int kClamCharacterSetCount = 10;

// Character set of each language id, indexed by the id (entry 0 is 0).
extern const std::array<uint32_t, kClamLanguageCount + 1> kClamLanguageCharacterSet;

// The character set of a language, 0 for an id outside 1 to 39.
int ClamCharacterSet(int language);

// Tables of the language's character set: 256 bytes indexed by a byte value,
// null for a language id outside 1 to 39.
const uint8_t* ClamLowerTable(int language);
const uint8_t* ClamUpperTable(int language);
const uint8_t* ClamLetterTypeTable(int language);
const uint8_t* ClamBaseLetterTable(int language);

// The language's own alphabet (bit kClamValidWordChar), null outside 1 to 39.
const uint8_t* ClamAlphabetTable(int language);
