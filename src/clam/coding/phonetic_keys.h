// Phonetic keys: transcription by the environment's rule automaton, class strings and class
// bytes, symbol keys, the stored key with its marker codes, the way back to the encoded form,
// and the order of keys in the store.
#pragma once

#include <cstddef>
#include <string_view>

struct ClamPhonEnv;
struct ClamHandle;

inline constexpr std::size_t kClamTranscriptionCapacity = 320;
inline constexpr std::size_t kClamClassStringCapacity = 128;
inline constexpr std::size_t kClamClassBytesCapacity = 3;
inline constexpr std::size_t kClamPhoneticKeyCapacity = 198;
inline constexpr std::size_t kClamStoredKeyCapacity = 200;
// Longest key (before its NUL) that the store handles; ClamBuildStoredKey refuses longer ones.
inline constexpr std::size_t kClamMaxKeyLength = 197;
// Marker-free text of an encoded form that ClamBuildStoredKey refuses (this many bytes or more).
inline constexpr std::size_t kClamMarkerFreeLimit = 128;
// ClamKeyToWord writes at most one byte per key byte: this many with the NUL.
inline constexpr std::size_t kClamKeyWordCapacity = kClamStoredKeyCapacity;

// Transcription byte values.
inline constexpr unsigned char kClamSeparatorByte = 8;
inline constexpr unsigned char kClamRepeatLetter = 9;
inline constexpr unsigned char kClamNoLetter = 11;  // also the tag of an uncovered letter
inline constexpr unsigned char kClamDirectTagBase = 16;
// Stored-key byte after which the raw bytes of a pair or exact form follow.
inline constexpr unsigned char kClamKeySeparator = 4;

// Transcribes text (up to its NUL) into out, (letter, tag) pairs and a NUL. Returns 1 when
// complete, 0 when cut at the end of out (which is NUL-terminated either way).
int ClamTranscribe(const char* text, char* out, std::size_t capacity, ClamPhonEnv* env);

// The class string of a transcription (the significant tags), cut to capacity - 1 bytes.
void ClamClassString(const char* transcription, char* out, std::size_t capacity, ClamPhonEnv* env);

// Writes the two class bytes and a NUL (out: kClamClassBytesCapacity) and sets env->lastClass.
void ClamPhoneticClass(const char* transcription, char* out, ClamPhonEnv* env);

// Class bytes and one symbol per transcription pair (then the raw tail of a byte 8), cut to
// capacity - 1 bytes and a NUL; returns the key's length as a string (up to its first NUL).
std::size_t ClamPhoneticKey(const char* encoded, char* out, std::size_t capacity, ClamPhonEnv* env);

// The stored key of an encoded form (out: kClamStoredKeyCapacity bytes). Returns 0 when the
// marker-free text is kClamMarkerFreeLimit bytes or longer, or when the key would be longer
// than kClamMaxKeyLength.
int ClamBuildStoredKeyWithEnv(const char* encoded, char* out, ClamPhonEnv* env);
// The same, given the phonetic key (ClamPhoneticKey with kClamPhoneticKeyCapacity) of the
// encoded form's text without its marker bytes and before its byte 8.
int ClamBuildStoredKeyFromKey(const char* encoded, const char* phoneticKey, char* out,
                              ClamPhonEnv* env);

// The encoded form of a stored key (out: kClamKeyWordCapacity bytes); returns its length.
// Reads at most kClamStoredKeyCapacity - 1 bytes of the key.
std::size_t ClamKeyToWordWithEnv(const char* key, char* out, ClamPhonEnv* env);
// The same, for a key whose length is known (only its first kClamStoredKeyCapacity - 1 bytes
// are read).
std::size_t ClamKeyToWordWithEnv(std::string_view key, char* out, ClamPhonEnv* env);

// The handle forms use the handle's phonEnv. They are defined beside ClamHandle in the store
// (clam/store), as calls of the ...WithEnv forms above.
int ClamBuildStoredKey(const char* encoded, char* out, ClamHandle* handle);
void ClamKeyToWord(const char* key, char* out, ClamHandle* handle);

// Key order of the store: negative, 0 or positive. Marker codes are ignored (except a 3 right
// before the separator), and a key that is a prefix of another sorts first.
int ClamCompareKeys(const char* a, const char* b);
