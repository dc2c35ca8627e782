// Word-level operations on an open clam dictionary: add a word, look one up, enumerate the
// words in key order, and keep at most one pair per first half.
#pragma once

#include <cstddef>
#include <cstdint>

struct ClamHandle;

// Longest word (in bytes) that is added or looked up.
inline constexpr std::size_t kClamMaxWordLength = 63;

// Nonzero when the word was stored; 0 when refused or not stored.
[[nodiscard]] int ClamAddWord(const char* word, ClamHandle* handle);
// 1 when the word is present and its stored class accepts the word's class. Writes the
// stored value (or 0) to *attributes and 0 to *flags (no variant search is made).
int ClamFindWord(const char* word, ClamHandle* handle, std::uint32_t* attributes,
                 std::uint32_t* flags);
// The value of the record whose key equals the key of the encoded form, 0 for none.
std::uint32_t ClamLookupKey(const char* encoded, std::uint32_t wordClass, ClamHandle* handle,
                            int allowVariant);
// 1 when a stored word of value `storedValue` accepts a looked-up word of `lookedUpClass`.
int ClamClassAccepts(std::uint32_t lookedUpClass, std::uint32_t storedValue);
// Writes the next word's display form (cut to capacity bytes with its NUL); 0 at the end
// or on failure.
int ClamNextWord(char* out, std::size_t capacity, ClamHandle* handle);
// Deletes an earlier pair with the same first half as `pairWord`; 1 when done or none.
int ClamRemovePairEntry(const char* pairWord, ClamHandle* handle);
// 1 when the current record is the pair of the probe's first half.
int ClamFindPairEntry(ClamHandle* handle, const char* probe);
// 1 when the current record has the probe's class bytes; its candidate key is then in
// prevKey (marker codes gone before the separator, bytes 4 to 7 gone after it).
int ClamLoadCandidate(ClamHandle* handle, const char* probeKey);
