// The phonetic environment of one language ("phon.env"): the rule automaton, class strings
// and symbol table that turn words into phonetic keys.
//
// File layout (16-bit numbers little-endian):
//
//   offset 0   version (1 or 2)
//   offset 1   language id (1 to 39)
//   offset 2   "PH"
//   offset 4   N0..N15, sixteen u16 numbers:
//                N0 classCount      N1 symbolCount     N2 classBase     N3 classesPerRow
//                N4 defaultSymbol   N5 trieSize        N6 rightContextOffset
//                N7..N15 byte sizes of the nine sections
//   offset 36  sections, back to back:
//                1 class table: N0 NUL-terminated strings, sorted
//                2 symbol table: N1 (letter, tag) byte pairs
//                3 (skipped)
//                4 matrix1, at most 512 bytes     5 matrix2, at most 512 bytes
//                6 trieBase   7 trieCheck   8 trieValue (127: no rule ends here)
//                9 rule output strings
//
// Besides the layout, the loader refuses (status 3) only what would make it or the coding
// read outside what was loaded: fewer class strings than the class count, a symbol table
// shorter than the entries the coding reads, sections 4 or 5 above 512 bytes, and automaton
// sections shorter than trieSize. Rule outputs are bounded where the coding reads them.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kClamPhonEnvHeaderSize = 36;
inline constexpr std::size_t kClamPhonEnvMatrixSize = 512;
inline constexpr std::size_t kClamSymbolIndexSize = 256 * 256;
inline constexpr std::uint16_t kClamNoRuleStart = 0xFFFF;
inline constexpr std::uint8_t kClamNoRuleValue = 127;
inline constexpr std::uint32_t kClamDirectValuesVersion1 = 10;
inline constexpr std::uint32_t kClamDirectValuesVersion2 = 16;

struct ClamPhonEnv {
    std::uint8_t languageCode;
    // Automaton values below it are direct codes, values from it on select an output string.
    std::uint32_t directValueCount;
    std::uint32_t classCount;
    std::uint32_t symbolCount;
    std::uint32_t classBase;
    std::int32_t classesPerRow;  // 0: symbolCount divides instead
    std::uint32_t defaultSymbol;
    // classCount pointers (at least one); entry 0 owns the bytes of the whole section.
    char** classTable;
    std::uint8_t* symbolTable;  // (letter, tag) pairs; the first symbolCount, 256 at most, are read
    // kClamSymbolIndexSize bytes, built by the loader: the symbol of each pair (letter * 256 +
    // tag), so that coding a letter costs no search. Null: the coding searches symbolTable.
    std::uint8_t* symbolIndex;
    std::int32_t language;
    std::uint8_t* matrix1;  // kClamPhonEnvMatrixSize bytes each; nothing reads them
    std::uint8_t* matrix2;
    std::int32_t trieSize;
    std::int32_t rightContextOffset;
    std::uint8_t* trieBase;  // trieSize cells each, at least
    std::uint8_t* trieCheck;
    std::uint8_t* trieValue;
    // 256 cells, built by the loader: the automaton's cell after one byte from its start, or
    // kClamNoRuleStart. Null: the coding takes that step in the tables.
    std::uint16_t* ruleStarts;
    std::uint8_t* ruleOutput;
    std::uint32_t ruleOutputSize;  // bytes in ruleOutput
    // Optional marks set by the coding when present (trieSize and 256 bytes); the loader
    // leaves them null and the owner of the marks frees them.
    std::uint8_t* ruleUsed;
    std::uint8_t* letterUsed;
    std::int32_t lastClass;  // class number of the last coding
    // Set by the loader when the class strings strictly ascend: the class of the last coding
    // may then be tried first, as neighbouring words mostly share a class.
    bool classesAscend;
};

// Loads the environment from an open descriptor (positioned anywhere; the caller closes it).
// `unused` is not read. Writes a ClamStatus code to *status (0 on success) and returns the
// environment, or null.
ClamPhonEnv* ClamLoadPhonEnv(int fd, int unused, int* status);

// Frees everything the loader allocated; null is allowed.
void ClamFreePhonEnv(ClamPhonEnv* env);
