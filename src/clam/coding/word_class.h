// Word kinds, class numbers and the encoded form of clam words, and the way
// back from an encoded form to the word as shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Class number of a word, stored as the 16-bit value of its leaf record.
// Bits 0-1 are the case field; 0 names no class (encoder failure).
using WordClass = uint16_t;

inline constexpr WordClass WordClassCaseMask = 3;
inline constexpr WordClass WordClassLowerCase = 1;
inline constexpr WordClass WordClassCapitalised = 2;
inline constexpr WordClass WordClassAllCapitals = 3;
inline constexpr WordClass WordClassFinalPeriod = 4;
inline constexpr WordClass WordClassSpacedDots = 8;
inline constexpr WordClass WordClassExactForm = 16;

// Bytes with a fixed meaning in word text.
inline constexpr char kClamMarker1 = 4;
inline constexpr char kClamMarker2 = 5;
inline constexpr char kClamMarker3 = 6;
inline constexpr char kClamNoWordChar = 7;
inline constexpr char kClamPairSeparator = 8;
inline constexpr char kClamPeriod = '.';

// Digraph bytes of language 10 (ij, IJ) in character set 1.
inline constexpr unsigned char kClamDigraphIjLower = 200;
inline constexpr unsigned char kClamDigraphIjUpper = 201;

// Encoded forms hold at most 127 bytes and a NUL.
inline constexpr size_t kClamEncodedCapacity = 128;
// A display form of a stored word needs at most 256 bytes with its NUL.
inline constexpr size_t kClamDisplayCapacity = 256;
// Longest half of a pair and longest marked word, in bytes.
inline constexpr size_t kClamMaxPairHalf = 63;
inline constexpr size_t kClamMaxMarkedWord = 127;

// Encodes a plain word (or the text of a marked word). Writes at most
// capacity - 1 bytes and a NUL. Returns the class, 0 on failure.
int ClamEncodeWord(const char* word, char* out, size_t capacity, int language);
// The same, for a word whose length is known.
int ClamEncodeText(std::string_view word, char* out, size_t capacity, int language);

// Encodes a word holding marker bytes 4, 5 or 6. out holds 128 bytes; the
// output is bounded by 128 bytes whatever capacity says. Returns the class or 0.
int ClamEncodeMarkedWord(const char* word, char* out, size_t capacity, int language);

// Encodes a pair A byte-8 B. out holds 128 bytes; the output is bounded by
// 128 bytes whatever capacity says. Returns the class of the pair (B's) or 0.
int ClamEncodePair(const char* word, char* out, size_t capacity, int language);

// Writes the display form of an encoded form read back from a dictionary,
// at most capacity bytes with its NUL.
void ClamDisplayForm(const char* encoded, uint32_t wordClass, char* out, size_t capacity,
                     int language);
// The same, for an encoded form whose length is known.
void ClamDisplayText(std::string_view encoded, uint32_t wordClass, char* out, size_t capacity,
                     int language);

// Restores case, periods and digraphs of a folded text from its class, at
// most capacity bytes with its NUL.
void ClamApplyClass(const char* folded, uint32_t wordClass, char* out, size_t capacity,
                    int language);
