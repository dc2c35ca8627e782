#include "clam/coding/word_ops.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "clam/coding/phonetic_keys.h"
#include "clam/coding/word_class.h"
#include "clam/store/block_cache.h"
#include "clam/store/block_search.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"

namespace {

constexpr std::size_t kEncodedBuffer = 128;
constexpr std::size_t kPairHalfBuffer = 129;

bool IsFailed(const ClamHandle* handle) {
    return (handle->flags & kClamFailed) != 0;
}

bool IsMarker(char c) {
    return c == kClamMarker1 || c == kClamMarker2 || c == kClamMarker3;
}

// Length of a word, or `limit` when it has at least that many bytes.
std::size_t BoundedLength(const char* word, std::size_t limit) {
    return strnlen(word, limit);
}

bool HoldsAny(const char* word, bool (*test)(char)) {
    for (; *word != '\0'; ++word) {
        if (test(*word)) return true;
    }
    return false;
}

bool IsSeparator(char c) {
    return c == kClamPairSeparator;
}

bool IsMarkerOrSeparator(char c) {
    return IsMarker(c) || IsSeparator(c);
}

void SentinelKey(const ClamHandle* handle, std::array<char, 3>& key) {
    const char base = static_cast<char>(handle->phonEnv->classBase & 0xFF);
    key = {base, base, '\0'};
}

// The stored classes, in the order of the acceptance masks' bits.
constexpr std::array<std::uint32_t, 11> kClassList = {1, 2, 3, 5, 6, 7, 9, 10, 11, 16, 20};
constexpr std::array<std::uint32_t, 11> kAcceptMasks = {0x001, 0x003, 0x107, 0x009, 0x01B, 0x13F,
                                                        0x040, 0x0C0, 0x1C0, 0x200, 0x600};

int ClassIndex(std::uint32_t wordClass) {
    for (std::size_t i = 0; i < kClassList.size(); ++i) {
        if (kClassList[i] == wordClass) return static_cast<int>(i);
    }
    return -1;
}

// Puts the handle back where the previous ClamNextWord left it.
bool ResumeEnumeration(ClamHandle* handle) {
    if (handle->savedBlock < 0) return false;
    // Loading the block again would find it first in the cache and change nothing.
    if (handle->atSavedPosition && handle->savedRequests == handle->cache->requests) return true;
    const auto number = static_cast<std::uint32_t>(handle->savedBlock);
    if (ClamLoadBlock(handle, number, kClamModeRead) == 0) return false;
    const auto offset = static_cast<std::size_t>(handle->savedOffset);
    const std::size_t keyLength = strnlen(handle->savedKey.data(), handle->savedKey.size());
    if (offset < kClamHeaderSize || offset > kClamBlockSize || keyLength > kClamMaxKeyLength) {
        return false;
    }
    handle->cursor = handle->block + offset;
    ClamCopyKey(handle->key, handle->savedKey, keyLength);
    handle->keyEnd = handle->key.data() + keyLength;
    handle->currentBlock = number;
    return true;
}

void SaveEnumeration(ClamHandle* handle) {
    handle->savedBlock = static_cast<std::int32_t>(handle->currentBlock);
    handle->savedOffset = static_cast<std::int32_t>(handle->cursor - handle->block);
    const std::size_t keyLength = static_cast<std::size_t>(handle->keyEnd - handle->key.data());
    ClamCopyKey(handle->savedKey, handle->key, keyLength);
    handle->atSavedPosition = true;
    handle->savedRequests = handle->cache->requests;
}

// A pair's first half is shown with # where the environment had no letter for a symbol.
void MarkUnnamedLetters(char* out) {
    std::size_t separator = 0;
    while (out[separator] != '\0' && out[separator] != kClamPairSeparator) ++separator;
    if (out[separator] == '\0') return;
    for (std::size_t i = 0; i < separator; ++i) {
        if (out[i] == static_cast<char>(kClamNoLetter)) out[i] = '#';
    }
}

// Candidate against probe: 0 when the candidate is the probe followed by the separator.
int CompareWithProbe(const char* candidate, const char* probe) {
    for (std::size_t i = 0;; ++i) {
        const auto c = static_cast<unsigned char>(candidate[i]);
        const auto p = static_cast<unsigned char>(probe[i]);
        if (p == 0) return static_cast<int>(c) - kClamKeySeparator;
        if (c != p) return static_cast<int>(c) - static_cast<int>(p);
    }
}

// Where RemovePair deleted a pair, so that a pair that then cannot be stored gives it back.
struct PairRemoval {
    bool done = false;
    std::uint32_t block = 0;
    std::size_t offset = 0;
    std::uint16_t value = 0;
};

int RemovePair(const char* pairWord, ClamHandle* handle, PairRemoval& removal) {
    if ((handle->flags & kClamReadOnly) != 0) return 0;
    handle->savedBlock = -1;
    std::array<char, kEncodedBuffer> firstHalf{};
    std::size_t length = 0;
    for (const char* c = pairWord; *c != '\0' && *c != kClamPairSeparator; ++c) {
        if (IsMarker(*c)) continue;
        if (length + 1 >= firstHalf.size()) return 0;
        firstHalf[length++] = *c;
    }
    if (length == 0 || length > kClamMaxWordLength) return 0;
    std::array<char, kPairHalfBuffer> encoded{};
    const int firstClass =
        ClamEncodeWord(firstHalf.data(), encoded.data(), encoded.size(), handle->language);
    if (firstClass == 0) return 0;
    if ((firstClass & WordClassExactForm) != 0) {
        if (char* separator = std::strchr(encoded.data(), kClamPairSeparator)) *separator = '\0';
    }
    if (encoded[0] == '\0' || BoundedLength(encoded.data(), kEncodedBuffer) >= kEncodedBuffer) {
        return 1;
    }
    std::array<char, kClamPhoneticKeyCapacity> probe{};
    ClamPhoneticKey(encoded.data(), probe.data(), probe.size(), handle->phonEnv);
    if (ClamFindPairEntry(handle, probe.data()) == 1) {
        const auto offset = static_cast<std::size_t>(handle->recordStart - handle->block);
        if (ClamLoadBlock(handle, handle->currentBlock, kClamModeRead | kClamModeChange) == 0) {
            return 0;
        }
        removal = {true, handle->currentBlock, offset, ClamGetU16(handle->block + offset)};
        ClamPutU16(handle->block + offset, 0);
    }
    return 1;
}

// An insertion that fails on a usable handle has changed nothing, so the deleted pair is
// still where it was.
void RestorePair(ClamHandle* handle, const PairRemoval& removal) {
    if (!removal.done || IsFailed(handle)) return;
    if (ClamLoadBlock(handle, removal.block, kClamModeRead | kClamModeChange) == 0) return;
    std::uint8_t* record = handle->block + removal.offset;
    if (ClamGetU16(record) == 0) ClamPutU16(record, removal.value);
}

// ClamLookupKey of an encoded form known to end within kEncodedBuffer bytes, leaving the
// phonetic key it looked for in `probe` (empty when none).
std::uint32_t LookupWithProbe(const char* encoded, ClamHandle* handle,
                              std::array<char, kClamPhoneticKeyCapacity>& probe) {
    handle->variantMatch = 0;
    probe[0] = '\0';
    if (IsFailed(handle) || encoded == nullptr || encoded[0] == '\0') return 0;
    const std::size_t length =
        ClamPhoneticKey(encoded, probe.data(), probe.size(), handle->phonEnv);
    if (ClamSeekProbe(handle, ClamMakeProbe(probe.data(), length)) == 1) return handle->value;
    return 0;
}

void RememberWord(ClamHandle* handle, const char* word, int wordClass, const char* encoded,
                  const std::array<char, kClamPhoneticKeyCapacity>& probe) {
    ClamWordMemo& memo = handle->wordMemo;
    memo.valid = probe[0] != '\0';
    if (!memo.valid) return;
    memo.wordClass = wordClass;
    std::memcpy(memo.word.data(), word, std::strlen(word) + 1);
    std::memcpy(memo.encoded.data(), encoded, std::strlen(encoded) + 1);
    std::memcpy(memo.phoneticKey.data(), probe.data(), std::strlen(probe.data()) + 1);
}

// The encoding and phonetic key of a word that ClamFindWord just looked up, when the key
// it looked for is the phonetic key of its whole encoded form (no marker bytes, no byte 8).
const ClamWordMemo* RecallWord(const ClamHandle* handle, const char* word) {
    const ClamWordMemo& memo = handle->wordMemo;
    if (!memo.valid || std::strcmp(memo.word.data(), word) != 0) return nullptr;
    for (const char* c = memo.encoded.data(); *c != '\0'; ++c) {
        const auto b = static_cast<unsigned char>(*c);
        if (b >= kClamMarker1 && b <= kClamSeparatorByte) return nullptr;
    }
    return &memo;
}

}  // namespace

int ClamClassAccepts(std::uint32_t lookedUpClass, std::uint32_t storedValue) {
    const int row = ClassIndex(lookedUpClass);
    const int column = ClassIndex(storedValue & 0x1F);
    if (row < 0 || column < 0) return 0;
    return (kAcceptMasks[static_cast<std::size_t>(row)] >> column) & 1;
}

std::uint32_t ClamLookupKey(const char* encoded, std::uint32_t, ClamHandle* handle, int) {
    handle->variantMatch = 0;
    if (encoded != nullptr && BoundedLength(encoded, kEncodedBuffer) >= kEncodedBuffer) return 0;
    std::array<char, kClamPhoneticKeyCapacity> probe;
    return LookupWithProbe(encoded, handle, probe);
}

int ClamFindWord(const char* word, ClamHandle* handle, std::uint32_t* attributes,
                 std::uint32_t* flags) {
    const std::uint32_t askedFlags = flags != nullptr ? *flags : 0;
    if (flags != nullptr) *flags = 0;
    if (attributes != nullptr) *attributes = 0;
    handle->value = 0;
    if (word == nullptr || word[0] == '\0') return 0;
    // One pass: too long, or holding a marker or a separator, the word is not looked up.
    std::size_t length = 0;
    for (; word[length] != '\0'; ++length) {
        if (length == kClamMaxWordLength || IsMarkerOrSeparator(word[length])) return 0;
    }
    std::array<char, kEncodedBuffer> encoded;
    const int wordClass =
        ClamEncodeText({word, length}, encoded.data(), encoded.size(), handle->language);
    if (wordClass == 0) return 0;
    (void)askedFlags;  // no variant search is made
    std::array<char, kClamPhoneticKeyCapacity> probe;
    const std::uint32_t value = LookupWithProbe(encoded.data(), handle, probe);
    if (attributes != nullptr) *attributes = value;
    if (handle->variantMatch != 0 && flags != nullptr) *flags = 1;
    const bool found =
        value != 0 && ClamClassAccepts(static_cast<std::uint32_t>(wordClass), value) != 0;
    // Only a word not found is likely to be added next; the memory is a cache either way.
    if (!found) RememberWord(handle, word, wordClass, encoded.data(), probe);
    return found ? 1 : 0;
}

int ClamAddWord(const char* word, ClamHandle* handle) {
    if (word == nullptr || handle == nullptr) return 0;
    if (BoundedLength(word, kClamMaxWordLength + 1) > kClamMaxWordLength) return 0;
    std::array<char, kEncodedBuffer> encoded{};
    int wordClass = 0;
    const bool isPair = HoldsAny(word, IsSeparator);
    if (isPair) {
        wordClass = ClamEncodePair(word, encoded.data(), encoded.size(), handle->language);
    } else if (HoldsAny(word, IsMarker)) {
        wordClass = ClamEncodeMarkedWord(word, encoded.data(), encoded.size(), handle->language);
    } else if (const ClamWordMemo* memo = RecallWord(handle, word)) {
        if (IsFailed(handle)) return 0;
        return ClamInsertKeyFromKey(memo->encoded.data(), memo->phoneticKey.data(),
                                    static_cast<std::uint32_t>(memo->wordClass), handle);
    } else if (word[0] != '\0') {
        wordClass = ClamEncodeWord(word, encoded.data(), encoded.size(), handle->language);
    }
    if (wordClass == 0) return 0;
    PairRemoval removal;
    if (isPair && RemovePair(word, handle, removal) == 0) return 0;
    if (IsFailed(handle)) return 0;
    const int stored = ClamInsertKey(encoded.data(), static_cast<std::uint32_t>(wordClass), handle);
    if (stored == 0) RestorePair(handle, removal);
    return stored;
}

int ClamNextWord(char* out, std::size_t capacity, ClamHandle* handle) {
    if (handle == nullptr || IsFailed(handle) || out == nullptr || capacity == 0) return 0;
    if (handle->wordsRead == 0) {
        std::array<char, 3> sentinel{};
        SentinelKey(handle, sentinel);
        if (ClamSeekKey(handle, sentinel.data(), 0) != 1) {
            // Every clam file starts with its sentinel: without it the tree is damaged, and
            // the dictionary must not read as empty.
            handle->flags |= kClamFailed;
            return 0;
        }
    } else if (!ResumeEnumeration(handle)) {
        return 0;
    }
    if (ClamNextRecord(handle) == 0) {
        handle->savedBlock = -1;
        return 0;
    }
    SaveEnumeration(handle);
    std::array<char, kClamKeyWordCapacity> encoded;
    const std::string_view key(handle->key.data(),
                               static_cast<std::size_t>(handle->keyEnd - handle->key.data()));
    const std::size_t length = ClamKeyToWordWithEnv(key, encoded.data(), handle->phonEnv);
    // Only keys this store did not build decode to more than an encoded form holds.
    const std::string_view text(encoded.data(), std::min(length, kEncodedBuffer - 1));
    ClamDisplayText(text, handle->value, out, capacity, handle->language);
    MarkUnnamedLetters(out);
    ++handle->wordsRead;
    return 1;
}

int ClamLoadCandidate(ClamHandle* handle, const char* probeKey) {
    const char* key = handle->key.data();
    if (key[0] != probeKey[0] || key[0] == '\0' || key[1] != probeKey[1]) return 0;
    char* out = handle->prevKey.data();
    std::size_t i = 0;
    for (; key[i] != '\0' && key[i] != static_cast<char>(kClamKeySeparator); ++i) {
        if (key[i] < 1 || key[i] > 3) *out++ = key[i];
    }
    if (key[i] != '\0') {
        *out++ = key[i++];
        for (; key[i] != '\0'; ++i) {
            if ((static_cast<unsigned char>(key[i]) & 0xFC) != 4) *out++ = key[i];
        }
    }
    *out = '\0';
    return 1;
}

int ClamFindPairEntry(ClamHandle* handle, const char* probe) {
    if (probe[0] == '\0' || probe[1] == '\0') return 0;
    handle->probeKey = {probe[0], probe[1], '\0'};
    const char* probeKey = handle->probeKey.data();
    const int found = ClamSeekKey(handle, probeKey, 0);
    if (IsFailed(handle)) return 0;
    if ((found == 1 || handle->value == 0) && ClamNextRecord(handle) == 0) return 0;
    if (ClamLoadCandidate(handle, probeKey) == 0) return 0;
    for (;;) {
        const int order = CompareWithProbe(handle->prevKey.data(), probe);
        if (order == 0) break;
        if (order > 0) return 0;
        if (ClamNextRecord(handle) == 0 || ClamLoadCandidate(handle, probeKey) == 0) return 0;
    }
    const char* key = handle->key.data();
    const char* separator = std::strchr(key + 2, kClamKeySeparator);
    if (separator != nullptr && separator[-1] == 3) return 1;
    return (handle->value & 16) == 0 ? 1 : 0;
}

int ClamRemovePairEntry(const char* pairWord, ClamHandle* handle) {
    PairRemoval removal;
    return RemovePair(pairWord, handle, removal);
}
