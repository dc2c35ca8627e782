// The store's search and insertion as they were before they were made fast: every record
// decoded and every whole key compared, and each insertion building the block's new image.
// The differential test holds the store to what this plain path writes, byte for byte.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "clam/coding/phonetic_keys.h"
#include "clam/coding/word_class.h"
#include "clam/coding/word_ops.h"
#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"

namespace reference {

namespace keys {
constexpr std::uint8_t kLastMarkerCode = 3;
constexpr std::uint8_t kPairExactCode = 3;  // counts when it stands right before the separator
constexpr std::uint8_t kFirstRawMarker = 4;
constexpr std::uint8_t kLastRawMarker = 7;

// Yields the bytes of a key that take part in the order.
class SignificantBytes {
  public:
    explicit SignificantBytes(const char* key) : p_(reinterpret_cast<const std::uint8_t*>(key)) {}

    std::uint8_t Next() {
        for (;;) {
            const std::uint8_t c = *p_;
            if (c == 0) return 0;
            ++p_;
            if (afterSeparator_) {
                if (c >= kFirstRawMarker && c <= kLastRawMarker) continue;
                return c;
            }
            if (c == kClamKeySeparator) {
                afterSeparator_ = true;
                return c;
            }
            if (c >= 1 && c <= kLastMarkerCode) {
                if (c == kPairExactCode && *p_ == kClamKeySeparator) return c;
                continue;
            }
            return c;
        }
    }

  private:
    const std::uint8_t* p_;
    bool afterSeparator_ = false;
};

}  // namespace keys

inline int CompareKeys(const char* a, const char* b) {
    keys::SignificantBytes left(a);
    keys::SignificantBytes right(b);
    for (;;) {
        const std::uint8_t x = left.Next();
        const std::uint8_t y = right.Next();
        if (x != y) return static_cast<int>(x) - static_cast<int>(y);
        if (x == 0) return 0;
    }
}

// Deeper than any tree of 65535 blocks can be; a deeper descent is a loop in the file.
constexpr int kMaxDescent = 32;

inline bool CursorFailed(const ClamHandle* handle) {
    return (handle->flags & kClamFailed) != 0;
}

inline void MarkFailed(ClamHandle* handle) {
    handle->flags |= kClamFailed;
}

// A child or link read from the file must name another block in use than the root.
inline bool IsInnerBlock(const ClamHandle* handle, std::uint32_t number) {
    return number != handle->rootBlock && number < handle->blockCount;
}

inline bool FindChild(ClamHandle* handle, const char* key, std::uint32_t& child) {
    bool found = false;
    while (ClamReadRecord(handle) == 1) {
        if (CompareKeys(handle->key.data(), key) > 0) break;
        child = handle->value;
        found = true;
    }
    return found;
}

inline int SeekKey(ClamHandle* handle, const char* key) {
    std::uint32_t number = handle->rootBlock;
    for (int depth = 0;; ++depth) {
        if (CursorFailed(handle)) return 0;
        if (ClamLoadBlock(handle, number, kClamModeRead) == 0) return 0;
        if (ClamIsLeaf(handle->block)) break;
        std::uint32_t child = 0;
        const bool found = FindChild(handle, key, child);
        if (CursorFailed(handle) || !found) return 0;
        if (!IsInnerBlock(handle, child) || depth + 1 >= kMaxDescent) {
            MarkFailed(handle);
            return 0;
        }
        number = child;
    }
    handle->currentBlock = number;
    while (ClamReadRecord(handle) == 1) {
        const int order = CompareKeys(handle->key.data(), key);
        if (order == 0) return 1;
        if (order > 0) return 0;
    }
    return 0;
}

namespace detail {

using Key = std::array<char, kClamKeyBufferSize>;

// A full block, the new record, and a follower that had to be written out in full.
constexpr std::size_t kImageCapacity = kClamBlockSize + 2 * kClamMaxRecordSize;
constexpr std::size_t kSplitPoint = 512;
// An index block with this much room takes the key a split below pushes up.
constexpr std::size_t kRoomForPushedKey = 198;

struct Image {
    std::array<std::uint8_t, kImageCapacity> bytes;
    std::size_t length = 0;

    bool Append(const std::uint8_t* from, std::size_t count) {
        if (count > bytes.size() - length) return false;
        std::memcpy(bytes.data() + length, from, count);
        length += count;
        return true;
    }
    bool AppendRecord(std::uint32_t value, const char* prevKey, const char* key) {
        if (ClamEncodedRecordSize(prevKey, key) > bytes.size() - length) return false;
        length = static_cast<std::size_t>(
            ClamEncodeRecord(bytes.data() + length, value, prevKey, key) - bytes.data());
        return true;
    }
    bool IsLeaf() const { return ClamIsLeaf(bytes.data()); }
};

struct SplitPoint {
    std::size_t leftEnd = 0;       // end of the records that stay left
    std::size_t rightRecords = 0;  // end of the first right record; the rest follows it
    std::size_t rightLength = 0;   // used length of the right block
    std::uint16_t firstRightValue = 0;
    Key firstRightKey{};
};

struct Descent {
    std::array<std::uint32_t, kClamMaxLevels> path{};
    std::size_t depth = 0;
    std::uint32_t reservation = 2;
};

inline bool IsFailed(const ClamHandle* handle) {
    return (handle->flags & kClamFailed) != 0;
}

inline bool Fail(ClamHandle* handle) {
    handle->flags |= kClamFailed;
    return false;
}

inline void CopyKey(Key& to, const char* from) {
    const std::size_t n = std::min(std::strlen(from), kClamMaxKeyLength);
    std::memcpy(to.data(), from, n);
    to[n] = '\0';
}

inline bool HasSaneLength(const ClamHandle* handle) {
    return handle->usedBytes >= static_cast<std::int32_t>(kClamHeaderSize) &&
           handle->usedBytes <= static_cast<std::int32_t>(kClamBlockSize);
}

inline bool WriteNow(ClamHandle* handle, std::uint32_t number) {
    ClamCacheSlot* slot = ClamFindSlot(handle->cache, number, handle->fd);
    return slot != nullptr && ClamWriteSlot(handle->cache, slot) == 1;
}

// Walks from the root to the leaf for `key`, noting the path and how many new blocks a
// split cascade from the leaf may need.
inline bool Descend(ClamHandle* handle, const char* key, Descent& descent) {
    descent.path[0] = handle->rootBlock;
    descent.depth = 1;
    for (;;) {
        const std::uint32_t number = descent.path[descent.depth - 1];
        if (IsFailed(handle) || ClamLoadBlock(handle, number, kClamModeRead) == 0) return false;
        if (!HasSaneLength(handle)) return Fail(handle);
        if (ClamIsLeaf(handle->block)) return true;
        // A tree deeper than this was not made here; it is read, never extended.
        if (descent.depth == kClamMaxLevels) return false;
        const std::size_t room = kClamBlockSize - static_cast<std::size_t>(handle->usedBytes);
        descent.reservation = room >= kRoomForPushedKey ? 1 : descent.reservation + 1;
        std::uint32_t child = 0;
        const bool found = FindChild(handle, key, child);
        if (IsFailed(handle)) return false;
        if (!found || child == handle->rootBlock || child >= handle->blockCount) {
            return Fail(handle);
        }
        descent.path[descent.depth++] = child;
    }
}

// Loads a block and builds its new content with (key, value) inserted: records before the
// insertion point unchanged, the new record, the follower re-encoded against the new key,
// the rest unchanged. An equal key's record is replaced.
inline bool BuildImage(ClamHandle* handle, std::uint32_t number, const char* key,
                       std::uint32_t value, Image& image) {
    if (ClamLoadBlock(handle, number, kClamModeRead) == 0) return false;
    if (!HasSaneLength(handle)) return Fail(handle);
    const std::uint8_t* block = handle->block;
    const std::size_t used = static_cast<std::size_t>(handle->usedBytes);
    handle->prevKey[0] = '\0';
    int order = 1;
    bool atEnd = false;
    for (;;) {
        if (ClamReadRecord(handle) == 0) {
            if (IsFailed(handle)) return false;
            atEnd = true;
            break;
        }
        order = CompareKeys(handle->key.data(), key);
        if (order >= 0) break;
        CopyKey(handle->prevKey, handle->key.data());
    }
    image.length = 0;
    const std::size_t insertAt = static_cast<std::size_t>(handle->recordStart - block);
    if (!image.Append(block, insertAt)) return Fail(handle);
    if (!image.AppendRecord(value, handle->prevKey.data(), key)) return Fail(handle);
    bool hasFollower = !atEnd && order > 0;
    if (!atEnd && order == 0) {
        hasFollower = ClamReadRecord(handle) == 1;
        if (IsFailed(handle)) return false;
    }
    std::size_t rest = used;
    if (hasFollower) {
        if (!image.AppendRecord(handle->value, key, handle->key.data())) return Fail(handle);
        rest = static_cast<std::size_t>(handle->cursor - block);
    }
    if (!image.Append(block + rest, used - rest)) return Fail(handle);
    const std::uint32_t leaf = ClamIsLeaf(block) ? kClamLeafBit : 0;
    ClamPutU16(image.bytes.data() + 2, static_cast<std::uint32_t>(image.length) | leaf);
    return true;
}

// Where an overflowing image splits: the first record stays left, then every record that
// ends at or before byte 512; the right part starts with its first record written in full.
inline bool FindSplit(const Image& image, Key& firstKey, SplitPoint& split) {
    const std::span<const std::uint8_t> bytes{image.bytes.data(), image.length};
    Key key{};
    std::size_t keyLength = 0;
    std::size_t offset = kClamHeaderSize;
    std::uint16_t value = 0;
    if (ClamDecodeRecord(bytes, image.length, offset, key, keyLength, value) !=
        ClamRecordStep::kRecord) {
        return false;
    }
    firstKey = key;
    split.leftEnd = offset;
    for (;;) {
        if (ClamDecodeRecord(bytes, image.length, offset, key, keyLength, value) !=
            ClamRecordStep::kRecord) {
            return false;
        }
        if (offset > kSplitPoint) break;
        split.leftEnd = offset;
    }
    split.rightRecords = offset;
    split.firstRightKey = key;
    split.firstRightValue = value;
    split.rightLength =
        kClamHeaderSize + ClamEncodedRecordSize(nullptr, key.data()) + (image.length - offset);
    return true;
}

enum class Plan { kRefused, kFailed, kGo };

// Works out, on the blocks as they are, the cascade of a leaf whose image overflows, and
// whether the tree can take it; sets the number of blocks to reserve.
inline Plan PlanSplits(ClamHandle* handle, const Descent& descent, Image& image,
                       std::uint32_t& reservation) {
    std::uint32_t next = handle->blockCount;
    for (std::size_t level = descent.depth; level-- > 0;) {
        SplitPoint split;
        Key firstKey{};
        if (!FindSplit(image, firstKey, split)) {
            Fail(handle);
            return Plan::kFailed;
        }
        if (split.rightLength > kClamBlockSize) return Plan::kRefused;
        const std::uint32_t rightNumber = next++;
        if (level == 0) {
            if (descent.depth == kClamMaxLevels) return Plan::kRefused;
            ++next;  // the root's left part moves to a block of its own
            break;
        }
        if (!BuildImage(handle, descent.path[level - 1], split.firstRightKey.data(), rightNumber,
                        image)) {
            return Plan::kFailed;
        }
        if (image.length <= kClamBlockSize) break;
    }
    reservation = std::max(descent.reservation, next - handle->blockCount);
    if (handle->blockCount + reservation > kClamMaxBlocks) return Plan::kRefused;
    return Plan::kGo;
}

inline bool CommitInPlace(ClamHandle* handle, std::uint32_t number, const Image& image,
                          bool writeNow) {
    if (ClamLoadBlock(handle, number, kClamModeRead | kClamModeChange) == 0) return false;
    std::memcpy(handle->block, image.bytes.data(), image.length);
    if (writeNow && !WriteNow(handle, number)) return Fail(handle);
    return true;
}

// Writes the right part of a split as block `number`; false when it did not reach the file.
inline bool WriteRightPart(ClamHandle* handle, const Image& image, const SplitPoint& split,
                           std::uint32_t number, std::uint32_t link) {
    std::uint8_t* block = ClamGetBlock(handle->cache, number, handle->fd,
                                       static_cast<std::uint8_t>(kClamModeChange | 1));
    if (block == nullptr) return Fail(handle);
    ClamPutU16(block, link);
    std::uint8_t* end = ClamEncodeRecord(block + kClamHeaderSize, split.firstRightValue, nullptr,
                                         split.firstRightKey.data());
    const std::size_t restLength = image.length - split.rightRecords;
    std::memcpy(end, image.bytes.data() + split.rightRecords, restLength);
    const std::uint32_t leaf = image.IsLeaf() ? kClamLeafBit : 0;
    ClamPutU16(block + 2, static_cast<std::uint32_t>(split.rightLength) | leaf);
    return WriteNow(handle, number);
}

inline void PutLeftPart(std::uint8_t* block, const Image& image, const SplitPoint& split,
                        std::uint32_t rightNumber) {
    std::memcpy(block, image.bytes.data(), split.leftEnd);
    ClamPutU16(block, rightNumber);
    const std::uint32_t leaf = image.IsLeaf() ? kClamLeafBit : 0;
    ClamPutU16(block + 2, static_cast<std::uint32_t>(split.leftEnd) | leaf);
}

// The root has split: its left part moves to a new block (the cached root buffer, renamed,
// keeps the stale bytes past the records as the block would), and block 0 becomes an index
// of the two parts. Both are written at once, the left part first, so the file holds either
// the old root or the new one, never a root with half the tree.
inline bool GrowRoot(ClamHandle* handle, const Image& image, const SplitPoint& split,
                     std::uint32_t rightNumber) {
    const std::uint32_t root = handle->rootBlock;
    if (ClamLoadBlock(handle, root, kClamModeRead | kClamModeChange) == 0) return false;
    PutLeftPart(handle->block, image, split, rightNumber);
    const std::uint32_t leftNumber = handle->blockCount++;
    // The reserved zero block of that number must not stay cached beside the moved part.
    if (ClamCacheSlot* stale = ClamFindSlot(handle->cache, leftNumber, handle->fd)) {
        ClamReleaseSlot(handle->cache, stale);
    }
    ClamCacheSlot* slot = ClamFindSlot(handle->cache, root, handle->fd);
    if (slot == nullptr || slot->buffer == nullptr) return Fail(handle);
    slot->blockNumber = leftNumber;
    if (ClamWriteSlot(handle->cache, slot) == 0) return Fail(handle);
    std::uint8_t* block = ClamGetBlock(handle->cache, root, handle->fd, kClamModeChange);
    if (block == nullptr) return Fail(handle);
    block[0] = kClamVersion;
    block[1] = static_cast<std::uint8_t>(handle->language);
    std::uint8_t* end =
        ClamEncodeRecord(block + kClamHeaderSize, leftNumber, nullptr, handle->prevKey.data());
    end = ClamEncodeRecord(end, rightNumber, handle->prevKey.data(), split.firstRightKey.data());
    ClamPutU16(block + 2, static_cast<std::uint32_t>(end - block));
    if (!WriteNow(handle, root)) return Fail(handle);
    return true;
}

// Carries out a cascade that PlanSplits accepted.
inline bool SplitUpwards(ClamHandle* handle, const Descent& descent, const char* key,
                         std::uint32_t value, std::uint32_t reservation) {
    if (ClamReserveBlocks(handle, reservation) == 0) return false;
    Image image;
    Key pushedKey{};
    CopyKey(pushedKey, key);
    std::uint32_t pushedValue = value;
    for (std::size_t level = descent.depth; level-- > 0;) {
        const std::uint32_t number = descent.path[level];
        if (!BuildImage(handle, number, pushedKey.data(), pushedValue, image)) return false;
        if (image.length <= kClamBlockSize) return CommitInPlace(handle, number, image, true);
        SplitPoint split;
        Key firstKey{};
        if (!FindSplit(image, firstKey, split)) return Fail(handle);
        CopyKey(handle->prevKey, firstKey.data());
        const bool isRoot = number == handle->rootBlock;
        const std::uint32_t link = isRoot ? kClamNoLink : ClamGetU16(image.bytes.data());
        const std::uint32_t rightNumber = handle->blockCount;
        if (!WriteRightPart(handle, image, split, rightNumber, link)) {
            if (image.IsLeaf() && !IsFailed(handle)) {
                // Nothing of the tree changed yet: forget the unwritten block.
                if (ClamCacheSlot* slot = ClamFindSlot(handle->cache, rightNumber, handle->fd)) {
                    ClamReleaseSlot(handle->cache, slot);
                }
                return false;
            }
            return Fail(handle);
        }
        ++handle->blockCount;
        if (isRoot) return GrowRoot(handle, image, split, rightNumber);
        if (ClamLoadBlock(handle, number, kClamModeRead | kClamModeChange) == 0) return false;
        PutLeftPart(handle->block, image, split, rightNumber);
        if (!WriteNow(handle, number)) return Fail(handle);
        pushedKey = split.firstRightKey;
        pushedValue = rightNumber;
    }
    return Fail(handle);  // the root always ends the cascade
}

inline bool IsAboveSentinel(const ClamHandle* handle, const char* key) {
    const char base = static_cast<char>(handle->phonEnv->classBase & 0xFF);
    const char sentinel[3] = {base, base, '\0'};
    return CompareKeys(key, sentinel) > 0;
}

}  // namespace detail

using namespace detail;

inline int InsertStoredKey(ClamHandle* handle, const char* key, std::uint32_t value) {
    if (handle == nullptr || key == nullptr) return 0;
    if ((handle->flags & kClamReadOnly) != 0) return 0;
    handle->savedBlock = -1;
    if (IsFailed(handle) || handle->phonEnv == nullptr) return 0;
    if (std::strlen(key) > kClamMaxKeyLength || !IsAboveSentinel(handle, key)) return 0;
    Descent descent;
    if (!Descend(handle, key, descent)) return 0;
    const std::uint32_t leaf = descent.path[descent.depth - 1];
    Image image;
    if (!BuildImage(handle, leaf, key, value, image)) return 0;
    if (image.length <= kClamBlockSize) return CommitInPlace(handle, leaf, image, false) ? 1 : 0;
    std::uint32_t reservation = 0;
    if (PlanSplits(handle, descent, image, reservation) != Plan::kGo) return 0;
    return SplitUpwards(handle, descent, key, value, reservation) ? 1 : 0;
}

inline int InsertKey(const char* word, std::uint32_t value, ClamHandle* handle) {
    if (handle == nullptr || (handle->flags & kClamReadOnly) != 0) return 0;
    handle->savedBlock = -1;
    if (word == nullptr || word[0] == '\0' || IsFailed(handle)) return 0;
    std::array<char, kClamStoredKeyCapacity> key{};
    if (ClamBuildStoredKey(word, key.data(), handle) == 0) return 0;
    return InsertStoredKey(handle, key.data(), value);
}

// The word operations over the plain path.
namespace words {

inline int FindPairEntry(ClamHandle* handle, const char* probe);

constexpr std::size_t kEncodedBuffer = 128;
constexpr std::size_t kPairHalfBuffer = 129;

inline bool IsFailed(const ClamHandle* handle) {
    return (handle->flags & kClamFailed) != 0;
}

inline bool IsMarker(char c) {
    return c == kClamMarker1 || c == kClamMarker2 || c == kClamMarker3;
}

// Length of a word, or `limit` when it has at least that many bytes.
inline std::size_t BoundedLength(const char* word, std::size_t limit) {
    return strnlen(word, limit);
}

inline bool HoldsAny(const char* word, bool (*test)(char)) {
    for (; *word != '\0'; ++word) {
        if (test(*word)) return true;
    }
    return false;
}

inline bool IsSeparator(char c) {
    return c == kClamPairSeparator;
}

inline bool IsMarkerOrSeparator(char c) {
    return IsMarker(c) || IsSeparator(c);
}

inline void SentinelKey(const ClamHandle* handle, std::array<char, 3>& key) {
    const char base = static_cast<char>(handle->phonEnv->classBase & 0xFF);
    key = {base, base, '\0'};
}

// Candidate against probe: 0 when the candidate is the probe followed by the separator.
inline int CompareWithProbe(const char* candidate, const char* probe) {
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

inline int RemovePair(const char* pairWord, ClamHandle* handle, PairRemoval& removal) {
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
    if (FindPairEntry(handle, probe.data()) == 1) {
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
inline void RestorePair(ClamHandle* handle, const PairRemoval& removal) {
    if (!removal.done || IsFailed(handle)) return;
    if (ClamLoadBlock(handle, removal.block, kClamModeRead | kClamModeChange) == 0) return;
    std::uint8_t* record = handle->block + removal.offset;
    if (ClamGetU16(record) == 0) ClamPutU16(record, removal.value);
}

inline std::uint32_t LookupKey(const char* encoded, ClamHandle* handle) {
    handle->variantMatch = 0;
    if (IsFailed(handle) || encoded == nullptr || encoded[0] == '\0') return 0;
    if (BoundedLength(encoded, kEncodedBuffer) >= kEncodedBuffer) return 0;
    std::array<char, kClamPhoneticKeyCapacity> probe{};
    ClamPhoneticKey(encoded, probe.data(), probe.size(), handle->phonEnv);
    if (SeekKey(handle, probe.data()) == 1) return handle->value;
    return 0;
}

inline int FindWord(const char* word, ClamHandle* handle, std::uint32_t* attributes,
                    std::uint32_t* flags) {
    const std::uint32_t askedFlags = flags != nullptr ? *flags : 0;
    if (flags != nullptr) *flags = 0;
    if (attributes != nullptr) *attributes = 0;
    handle->value = 0;
    if (word == nullptr || word[0] == '\0') return 0;
    if (BoundedLength(word, kClamMaxWordLength + 1) > kClamMaxWordLength) return 0;
    if (HoldsAny(word, IsMarkerOrSeparator)) return 0;
    std::array<char, kEncodedBuffer> encoded{};
    const int wordClass = ClamEncodeWord(word, encoded.data(), encoded.size(), handle->language);
    if (wordClass == 0) return 0;
    const std::uint32_t value = LookupKey(encoded.data(), handle);
    (void)askedFlags;
    if (attributes != nullptr) *attributes = value;
    if (handle->variantMatch != 0 && flags != nullptr) *flags = 1;
    return value != 0 && ClamClassAccepts(static_cast<std::uint32_t>(wordClass), value) ? 1 : 0;
}

inline int AddWord(const char* word, ClamHandle* handle) {
    if (word == nullptr || handle == nullptr) return 0;
    if (BoundedLength(word, kClamMaxWordLength + 1) > kClamMaxWordLength) return 0;
    std::array<char, kEncodedBuffer> encoded{};
    int wordClass = 0;
    const bool isPair = HoldsAny(word, IsSeparator);
    if (isPair) {
        wordClass = ClamEncodePair(word, encoded.data(), encoded.size(), handle->language);
    } else if (HoldsAny(word, IsMarker)) {
        wordClass = ClamEncodeMarkedWord(word, encoded.data(), encoded.size(), handle->language);
    } else if (word[0] != '\0') {
        wordClass = ClamEncodeWord(word, encoded.data(), encoded.size(), handle->language);
    }
    if (wordClass == 0) return 0;
    PairRemoval removal;
    if (isPair && RemovePair(word, handle, removal) == 0) return 0;
    if (IsFailed(handle)) return 0;
    const int stored = InsertKey(encoded.data(), static_cast<std::uint32_t>(wordClass), handle);
    if (stored == 0) RestorePair(handle, removal);
    return stored;
}

inline int FindPairEntry(ClamHandle* handle, const char* probe) {
    if (probe[0] == '\0' || probe[1] == '\0') return 0;
    handle->probeKey = {probe[0], probe[1], '\0'};
    const char* probeKey = handle->probeKey.data();
    const int found = SeekKey(handle, probeKey);
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

}  // namespace words

}  // namespace reference
