// The handle's cursor: loading a block, reading live records along the leaf chain, and
// descending the tree to a key. A damaged file may point anywhere; every block number that
// comes from the file is checked against the blocks in use before it is followed.
#include <cstring>

#include "clam/store/block_cache.h"
#include "clam/store/block_search.h"
#include "clam/store/clam_store.h"

namespace {

// Deeper than any tree of 65535 blocks can be; a deeper descent is a loop in the file.
constexpr int kMaxDescent = 32;

bool IsFailed(const ClamHandle* handle) {
    return (handle->flags & kClamFailed) != 0;
}

void MarkFailed(ClamHandle* handle) {
    handle->flags |= kClamFailed;
}

bool HasSaneLength(const ClamHandle* handle) {
    return handle->usedBytes >= static_cast<std::int32_t>(kClamHeaderSize) &&
           handle->usedBytes <= static_cast<std::int32_t>(kClamBlockSize);
}

// A child or link read from the file must name another block in use than the root.
bool IsInnerBlock(const ClamHandle* handle, std::uint32_t number) {
    return number != handle->rootBlock && number < handle->blockCount;
}

// The key the handle stands on (empty before any block was read).
void CopyKey(const ClamHandle* handle, std::array<char, kClamKeyBufferSize>& out) {
    const char* key = handle->key.data();
    const std::size_t length = handle->keyEnd != nullptr
                                   ? static_cast<std::size_t>(handle->keyEnd - key)
                                   : strnlen(key, out.size() - 1);
    ClamCopyKey(out, handle->key, length);
    out[length] = '\0';
}

}  // namespace

int ClamLoadBlock(ClamHandle* handle, std::uint32_t blockNumber, std::uint8_t mode) {
    if (IsFailed(handle)) return 0;
    const std::uint8_t priority = blockNumber != handle->rootBlock ? 1 : 0;
    std::uint8_t* buffer = ClamGetBlock(handle->cache, blockNumber, handle->fd,
                                        static_cast<std::uint8_t>(mode | priority));
    if (buffer == nullptr) {
        MarkFailed(handle);
        return 0;
    }
    handle->seekMemo.valid = false;
    handle->atSavedPosition = false;
    handle->slot = handle->cache->head;  // the slot just asked for
    handle->block = buffer;
    handle->cursor = buffer + kClamHeaderSize;
    handle->key[0] = '\0';
    handle->keyEnd = handle->key.data();
    handle->usedBytes = static_cast<std::int32_t>(ClamUsedLength(buffer));
    return 1;
}

int ClamNextRecord(ClamHandle* handle) {
    std::uint32_t hops = 0;
    // Keys ascend from the one the handle stands on, across blocks too. In a damaged file a
    // chain that leads back, through blocks with or without records, would otherwise be
    // read forever.
    std::array<char, kClamKeyBufferSize> lastKey;
    CopyKey(handle, lastKey);
    for (;;) {
        while (!IsFailed(handle) && ClamReadRecord(handle) == 1) {
            if (lastKey[0] != '\0' && ClamCompareKeys(handle->key.data(), lastKey.data()) <= 0) {
                MarkFailed(handle);
                return 0;
            }
            if (handle->value != 0) return 1;
            CopyKey(handle, lastKey);
        }
        handle->value = 0;
        if (IsFailed(handle) || handle->currentBlock == handle->rootBlock) return 0;
        const std::uint32_t link = ClamGetU16(handle->block);
        if (link == kClamNoLink) return 0;
        if (!IsInnerBlock(handle, link) || ++hops > handle->blockCount) {
            MarkFailed(handle);
            return 0;
        }
        if (ClamLoadBlock(handle, link, kClamModeRead) == 0) return 0;
        handle->currentBlock = link;
    }
}

bool ClamFindChildOf(ClamHandle* handle, const ClamProbe& probe, std::uint32_t& child) {
    ClamScanStop stop;
    ClamScanBlock(handle, probe, ClamScanFor::kChild, stop);
    if (stop.hasBelow) child = stop.belowValue;
    return stop.hasBelow;
}

bool ClamFindChild(ClamHandle* handle, const char* key, std::uint32_t& child) {
    return ClamFindChildOf(handle, ClamMakeProbe(key), child);
}

namespace {

// Narrows the finger's bounds to the index record that the descent followed out of the
// handle's block; false when the block's view did not choose it, so that the way cannot be
// noted.
bool NoteStep(const ClamHandle* handle, std::size_t level, ClamLeafFinger& finger) {
    ClamCacheSlot* slot = handle->slot;
    if (slot == nullptr || slot->buffer != handle->block || slot->view == nullptr ||
        slot->view->lastFound == 0) {
        return false;
    }
    ClamViewKey at;
    ClamViewKey next;
    const auto record = static_cast<std::uint32_t>(slot->view->lastFound - 1);
    if (!ClamViewKeysAt(*slot, record, at, next)) return false;
    finger.step[level] = {slot, slot->version};
    if (finger.lowest.key == nullptr || ClamCompareViewKeys(at, finger.lowest) > 0) {
        finger.lowest = at;
    }
    if (next.key != nullptr &&
        (finger.highest.key == nullptr || ClamCompareViewKeys(next, finger.highest) < 0)) {
        finger.highest = next;
    }
    return true;
}

// Goes straight to the leaf of the last full descent when the probe lies in its bounds and
// no index block on the way has changed since.
bool DescendByFinger(ClamHandle* handle, const ClamProbe& probe) {
    const ClamLeafFinger& finger = handle->leafFinger;
    if (!finger.valid) return false;
    for (std::uint32_t i = 0; i < finger.steps; ++i) {
        const ClamDescentStep& step = finger.step[i];
        if (step.slot->version != step.version || step.slot->fd != handle->fd) return false;
    }
    if (finger.lowest.key != nullptr && ClamCompareToProbe(finger.lowest, probe) > 0) {
        return false;
    }
    if (finger.highest.key != nullptr && ClamCompareToProbe(finger.highest, probe) <= 0) {
        return false;
    }
    if (ClamLoadBlock(handle, finger.leaf, kClamModeRead) == 0) return false;
    if (!ClamIsLeaf(handle->block) || !HasSaneLength(handle)) return false;
    ClamSeekMemo& memo = handle->seekMemo;
    memo.path = finger.path;
    memo.depth = finger.steps + 1;
    memo.reservation = finger.reservation;
    handle->currentBlock = finger.leaf;
    return true;
}

// From the root down to the leaf for the probe; false when the tree does not lead to one.
// `memorable`: the seek memo's path holds the whole way.
bool DescendFromRoot(ClamHandle* handle, const ClamProbe& probe, bool& memorable) {
    ClamSeekMemo& memo = handle->seekMemo;
    ClamLeafFinger& finger = handle->leafFinger;
    finger.valid = false;
    finger.lowest = {};
    finger.highest = {};
    bool steady = true;  // every index block chose by its view: the finger may note the way
    memo.reservation = 2;
    memorable = true;
    std::uint32_t number = handle->rootBlock;
    for (int depth = 0;; ++depth) {
        if (IsFailed(handle)) return false;
        if (ClamLoadBlock(handle, number, kClamModeRead) == 0) return false;
        memorable = memorable && depth < static_cast<int>(kClamMaxLevels) && HasSaneLength(handle);
        if (memorable) memo.path[static_cast<std::size_t>(depth)] = number;
        memo.depth = static_cast<std::uint32_t>(depth + 1);
        if (ClamIsLeaf(handle->block)) break;
        const std::size_t room = kClamBlockSize - static_cast<std::size_t>(handle->usedBytes);
        memo.reservation = room >= kClamRoomForPushedKey ? 1 : memo.reservation + 1;
        std::uint32_t child = 0;
        if (!ClamChildAsBefore(handle, probe, child)) {
            const bool found = ClamFindChildOf(handle, probe, child);
            if (IsFailed(handle) || !found) return false;
        }
        const auto level = static_cast<std::size_t>(depth);
        steady =
            steady && memorable && level < finger.step.size() && NoteStep(handle, level, finger);
        if (!IsInnerBlock(handle, child) || depth + 1 >= kMaxDescent) {
            MarkFailed(handle);
            return false;
        }
        number = child;
    }
    handle->currentBlock = number;
    if (steady && memorable) {
        finger.valid = true;
        finger.steps = memo.depth - 1;
        finger.leaf = number;
        finger.path = memo.path;
        finger.reservation = memo.reservation;
    }
    return true;
}

// The next seek, for a greater key, may start after the record this one stopped on.
void HintAtStop(ClamHandle* handle, const ClamScanStop& stop) {
    ClamLeafHint& hint = handle->leafHint;
    const auto keyLength = static_cast<std::size_t>(handle->keyEnd - handle->key.data());
    hint.slot = handle->slot;
    hint.version = handle->slot->version;
    hint.end = static_cast<std::uint16_t>(handle->cursor - handle->block);
    hint.value = static_cast<std::uint16_t>(handle->value);
    hint.keyLength = keyLength;
    hint.plain = stop.plain;
    ClamCopyKey(hint.key, handle->key, keyLength);
}

}  // namespace

int ClamSeekKey(ClamHandle* handle, const char* key, int) {
    if (IsFailed(handle)) return 0;
    return ClamSeekProbe(handle, ClamMakeProbe(key));
}

int ClamSeekProbe(ClamHandle* handle, const ClamProbe& probe) {
    if (IsFailed(handle)) return 0;
    // Filled on the way down; loading a block has cleared `valid` until the leaf is searched.
    ClamSeekMemo& memo = handle->seekMemo;
    bool memorable = true;
    if (!DescendByFinger(handle, probe) && !DescendFromRoot(handle, probe, memorable)) return 0;
    ClamScanStop stop;
    memo.stopped = ClamScanBlock(handle, probe, ClamScanFor::kRecord, stop) == 1;
    if (memo.stopped && !IsFailed(handle)) HintAtStop(handle, stop);
    const bool found = memo.stopped && stop.order == 0;
    // A key found is seldom inserted next; the memory is for the one that was not.
    if (!found && memorable && stop.sharedCounted && !IsFailed(handle) &&
        probe.length <= kClamMaxKeyLength) {
        memo.valid = true;
        memo.requests = handle->cache->requests;
        memo.order = stop.order;
        memo.belowLength = stop.belowLength;
        memo.belowShared = stop.belowShared;
        memo.shared = stop.shared;
        std::memcpy(memo.key.data(), probe.key, probe.length + 1);
    }
    return found ? 1 : 0;
}

int ClamBuildStoredKey(const char* encoded, char* out, ClamHandle* handle) {
    return ClamBuildStoredKeyWithEnv(encoded, out, handle->phonEnv);
}

void ClamKeyToWord(const char* key, char* out, ClamHandle* handle) {
    ClamKeyToWordWithEnv(key, out, handle->phonEnv);
}
