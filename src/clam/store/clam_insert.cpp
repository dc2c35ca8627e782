// Key insertion: the new record goes into its leaf, a block that overflows splits at byte
// 512, and the split pushes the first key of its right part into the parent, up to a new
// root grown in place at block 0.
//
// Before anything changes, an overflowing leaf has its whole cascade worked out on the
// cached blocks, so that an insertion the tree cannot take (a seventh level, a block
// number past 16 bits, a right part longer than a block) is refused with nothing changed.
// From the first split on, every completed block is written at once, in an order that
// keeps the file a whole tree: reserved blocks, right part, left part, parent; a root
// split writes its left part at its new number and then the new root.
#include <algorithm>
#include <cstring>

#include "clam/store/block_cache.h"
#include "clam/store/block_search.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"

namespace {

using Key = std::array<char, kClamKeyBufferSize>;

// A full block, the new record, and a follower that had to be written out in full.
constexpr std::size_t kImageCapacity = kClamBlockSize + 2 * kClamMaxRecordSize;
constexpr std::size_t kSplitPoint = 512;

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

bool IsFailed(const ClamHandle* handle) {
    return (handle->flags & kClamFailed) != 0;
}

bool Fail(ClamHandle* handle) {
    handle->flags |= kClamFailed;
    return false;
}

void CopyKey(Key& to, const char* from) {
    const std::size_t n = std::min(std::strlen(from), kClamMaxKeyLength);
    std::memcpy(to.data(), from, n);
    to[n] = '\0';
}

bool HasSaneLength(const ClamHandle* handle) {
    return handle->usedBytes >= static_cast<std::int32_t>(kClamHeaderSize) &&
           handle->usedBytes <= static_cast<std::int32_t>(kClamBlockSize);
}

bool WriteNow(ClamHandle* handle, std::uint32_t number) {
    ClamCacheSlot* slot = ClamFindSlot(handle->cache, number, handle->fd);
    return slot != nullptr && ClamWriteSlot(handle->cache, slot) == 1;
}

// Walks from the root to the leaf for `key`, noting the path and how many new blocks a
// split cascade from the leaf may need.
bool Descend(ClamHandle* handle, const ClamProbe& probe, Descent& descent) {
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
        descent.reservation = room >= kClamRoomForPushedKey ? 1 : descent.reservation + 1;
        std::uint32_t child = 0;
        const bool found = ClamFindChildOf(handle, probe, child);
        if (IsFailed(handle)) return false;
        if (!found || child == handle->rootBlock || child >= handle->blockCount) {
            return Fail(handle);
        }
        descent.path[descent.depth++] = child;
    }
}

// Where (key, value) goes in a block: the bytes from `at` to `replacedEnd` (an equal key's
// record, and the follower) give way to the new record and the follower coded against the
// new key. The follower's key is left in handle->key.
struct Placement {
    std::size_t used = 0;
    std::size_t at = 0;
    std::size_t replacedEnd = 0;
    std::size_t belowLength = 0;  // the key before the new record
    std::size_t belowShared = 0;  // bytes it shares with the new key
    bool hasFollower = false;
    std::uint16_t followerValue = 0;
    std::size_t followerShared = 0;
    std::size_t followerLength = 0;

    std::size_t RecordSize(std::size_t keyLength) const {
        return ClamRecordSize(keyLength - belowShared + 1);
    }
    std::size_t FollowerSize() const {
        return hasFollower ? ClamRecordSize(followerLength - followerShared + 1) : 0;
    }
    std::size_t NewUsed(std::size_t keyLength) const {
        return used - (replacedEnd - at) + RecordSize(keyLength) + FollowerSize();
    }
};

// Where the key goes, from a scan of the handle's block that ended with `stop`.
bool PlaceAfterScan(ClamHandle* handle, bool stopped, ClamScanStop stop, const ClamProbe& probe,
                    Placement& place) {
    place.used = static_cast<std::size_t>(handle->usedBytes);
    place.at = static_cast<std::size_t>(handle->recordStart - handle->block);
    place.belowLength = stop.belowLength;
    place.belowShared = stop.belowShared;
    place.replacedEnd = place.used;
    place.hasFollower = stopped && stop.order > 0;
    if (stopped && stop.order == 0) {
        place.hasFollower = ClamReadRecord(handle) == 1;
        if (IsFailed(handle)) return false;
        stop.shared = ClamSharedFrom(handle->key.data(), probe.key, 0);
    }
    if (place.hasFollower) {
        place.replacedEnd = static_cast<std::size_t>(handle->cursor - handle->block);
        place.followerValue = static_cast<std::uint16_t>(handle->value);
        place.followerShared = stop.shared;
        place.followerLength = static_cast<std::size_t>(handle->keyEnd - handle->key.data());
    }
    return true;
}

// Loads a block and finds where the key goes.
bool Place(ClamHandle* handle, std::uint32_t number, const ClamProbe& probe, Placement& place) {
    if (ClamLoadBlock(handle, number, kClamModeRead) == 0) return false;
    if (!HasSaneLength(handle)) return Fail(handle);
    ClamScanStop stop;
    const bool stopped = ClamScanBlock(handle, probe, ClamScanFor::kPlacement, stop) == 1;
    if (IsFailed(handle)) return false;
    return PlaceAfterScan(handle, stopped, stop, probe, place);
}

// The placement that the handle's last seek found for the same key, when nothing can have
// changed since: the seek left the handle on the leaf and the cache as this descent would.
bool RecallPlace(ClamHandle* handle, const ClamProbe& probe, Descent& descent, Placement& place) {
    const ClamSeekMemo& memo = handle->seekMemo;
    if (!memo.valid || memo.requests != handle->cache->requests ||
        std::strcmp(memo.key.data(), probe.key) != 0) {
        return false;
    }
    descent.depth = memo.depth;
    descent.path = memo.path;
    descent.reservation = memo.reservation;
    handle->seekMemo.valid = false;
    ClamScanStop stop;
    stop.order = memo.order;
    stop.belowLength = memo.belowLength;
    stop.belowShared = memo.belowShared;
    stop.shared = memo.shared;
    return PlaceAfterScan(handle, memo.stopped, stop, probe, place);
}

// Writes the new record and the follower, whose key is `followerKey`, at `out`.
void PutPlacedRecords(std::uint8_t* out, const char* followerKey, const Placement& place,
                      const ClamProbe& probe, std::uint32_t value) {
    out = ClamPutRecord(out, value, place.belowLength - place.belowShared,
                        probe.key + place.belowShared, probe.length - place.belowShared);
    if (!place.hasFollower) return;
    ClamPutRecord(out, place.followerValue, probe.length - place.followerShared,
                  followerKey + place.followerShared, place.followerLength - place.followerShared);
}

// Builds a block's new content with (key, value) inserted: records before the insertion
// point unchanged, the new record, the follower re-encoded against the new key, the rest
// unchanged. An equal key's record is replaced.
bool BuildImage(ClamHandle* handle, std::uint32_t number, const char* key, std::uint32_t value,
                Image& image) {
    const ClamProbe probe = ClamMakeProbe(key);
    Placement place;
    if (!Place(handle, number, probe, place)) return false;
    const std::size_t newUsed = place.NewUsed(probe.length);
    if (newUsed > image.bytes.size()) return Fail(handle);
    const std::uint8_t* block = handle->block;
    std::uint8_t* out = image.bytes.data();
    std::memcpy(out, block, place.at);
    const std::size_t placed = place.RecordSize(probe.length) + place.FollowerSize();
    std::memcpy(out + place.at + placed, block + place.replacedEnd, place.used - place.replacedEnd);
    PutPlacedRecords(out + place.at, handle->key.data(), place, probe, value);
    image.length = newUsed;
    const std::uint32_t leaf = ClamIsLeaf(block) ? kClamLeafBit : 0;
    ClamPutU16(out + 2, static_cast<std::uint32_t>(newUsed) | leaf);
    return true;
}

void RememberInsertion(ClamHandle* handle, const ClamProbe& probe, const Placement& place,
                       std::uint32_t value) {
    ClamLeafHint& hint = handle->leafHint;
    hint.slot = handle->slot;
    hint.version = handle->slot->version;
    hint.end = static_cast<std::uint16_t>(place.at + place.RecordSize(probe.length));
    hint.value = static_cast<std::uint16_t>(value);
    hint.keyLength = probe.length;
    hint.plain = probe.plain;
    std::memcpy(hint.key.data(), probe.key, probe.length + 1);
}

// Inserts into a leaf that has room by moving its tail once; `inserted` stays false when the
// leaf must split. False on a failure (the handle is failed then).
bool InsertInPlace(ClamHandle* handle, std::uint32_t number, const ClamProbe& probe,
                   std::uint32_t value, const Placement& place, bool& inserted) {
    inserted = false;
    const std::size_t newUsed = place.NewUsed(probe.length);
    if (newUsed > kClamBlockSize) return true;
    // Loading the block again clears the handle's key, which holds the follower's.
    const Key followerKey = handle->key;
    if (ClamLoadBlock(handle, number, kClamModeRead | kClamModeChange) == 0) return false;
    std::uint8_t* block = handle->block;
    const std::size_t placed = place.RecordSize(probe.length) + place.FollowerSize();
    std::memmove(block + place.at + placed, block + place.replacedEnd,
                 place.used - place.replacedEnd);
    PutPlacedRecords(block + place.at, followerKey.data(), place, probe, value);
    const std::uint32_t leaf = ClamIsLeaf(block) ? kClamLeafBit : 0;
    ClamPutU16(block + 2, static_cast<std::uint32_t>(newUsed) | leaf);
    inserted = true;
    RememberInsertion(handle, probe, place, value);
    return true;
}

// Where an overflowing image splits: the first record stays left, then every record that
// ends at or before byte 512; the right part starts with its first record written in full.
bool FindSplit(const Image& image, Key& firstKey, SplitPoint& split) {
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
Plan PlanSplits(ClamHandle* handle, const Descent& descent, Image& image,
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

bool CommitInPlace(ClamHandle* handle, std::uint32_t number, const Image& image, bool writeNow) {
    if (ClamLoadBlock(handle, number, kClamModeRead | kClamModeChange) == 0) return false;
    std::memcpy(handle->block, image.bytes.data(), image.length);
    if (writeNow && !WriteNow(handle, number)) return Fail(handle);
    return true;
}

// Writes the right part of a split as block `number`; false when it did not reach the file.
bool WriteRightPart(ClamHandle* handle, const Image& image, const SplitPoint& split,
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

void PutLeftPart(std::uint8_t* block, const Image& image, const SplitPoint& split,
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
bool GrowRoot(ClamHandle* handle, const Image& image, const SplitPoint& split,
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
bool SplitUpwards(ClamHandle* handle, const Descent& descent, const char* key, std::uint32_t value,
                  std::uint32_t reservation) {
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

bool IsAboveSentinel(const ClamHandle* handle, const char* key) {
    const char base = static_cast<char>(handle->phonEnv->classBase & 0xFF);
    const char sentinel[3] = {base, base, '\0'};
    return ClamCompareKeys(key, sentinel) > 0;
}

}  // namespace

int ClamReserveBlocks(ClamHandle* handle, std::uint32_t count) {
    if (handle->blockCount + count > kClamMaxBlocks) return 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (IsFailed(handle)) return 0;
        const std::uint32_t number = handle->blockCount + i;
        std::uint8_t* block = ClamGetBlock(handle->cache, number, handle->fd,
                                           static_cast<std::uint8_t>(kClamModeChange | 1));
        if (block == nullptr) {
            Fail(handle);
            return 0;
        }
        block[0] = 0;
        block[1] = 0;
        if (!WriteNow(handle, number)) return 0;
    }
    return 1;
}

int ClamInsertStoredKey(ClamHandle* handle, const char* key, std::uint32_t value) {
    if (handle == nullptr || key == nullptr) return 0;
    if ((handle->flags & kClamReadOnly) != 0) return 0;
    handle->savedBlock = -1;
    if (IsFailed(handle) || handle->phonEnv == nullptr) return 0;
    if (std::strlen(key) > kClamMaxKeyLength || !IsAboveSentinel(handle, key)) return 0;
    const ClamProbe probe = ClamMakeProbe(key);
    Descent descent;
    Placement place;
    if (!RecallPlace(handle, probe, descent, place)) {
        if (IsFailed(handle) || !Descend(handle, probe, descent)) return 0;
        if (!Place(handle, descent.path[descent.depth - 1], probe, place)) return 0;
    }
    const std::uint32_t leaf = descent.path[descent.depth - 1];
    bool inserted = false;
    if (!InsertInPlace(handle, leaf, probe, value, place, inserted)) return 0;
    if (inserted) return 1;
    Image image;
    if (!BuildImage(handle, leaf, key, value, image)) return 0;
    std::uint32_t reservation = 0;
    if (PlanSplits(handle, descent, image, reservation) != Plan::kGo) return 0;
    return SplitUpwards(handle, descent, key, value, reservation) ? 1 : 0;
}

int ClamInsertKey(const char* word, std::uint32_t value, ClamHandle* handle) {
    return ClamInsertKeyFromKey(word, nullptr, value, handle);
}

int ClamInsertKeyFromKey(const char* word, const char* phoneticKey, std::uint32_t value,
                         ClamHandle* handle) {
    if (handle == nullptr || (handle->flags & kClamReadOnly) != 0) return 0;
    handle->savedBlock = -1;
    if (word == nullptr || word[0] == '\0' || IsFailed(handle)) return 0;
    std::array<char, kClamStoredKeyCapacity> key{};
    const int built = phoneticKey != nullptr ? ClamBuildStoredKeyFromKey(
                                                   word, phoneticKey, key.data(), handle->phonEnv)
                                             : ClamBuildStoredKey(word, key.data(), handle);
    if (built == 0) return 0;
    return ClamInsertStoredKey(handle, key.data(), value);
}
