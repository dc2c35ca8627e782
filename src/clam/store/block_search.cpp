#include "clam/store/block_search.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <span>

#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"

namespace {

constexpr std::size_t kNoMark = static_cast<std::size_t>(-1);
// Bytes 1 to 3 are marker codes and 4 the separator; 5 to 7 count as any other byte until
// a separator has come.
constexpr std::uint8_t kFirstPlainByte = 5;
constexpr std::size_t kViewKeyPad = 32;

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;

// Position of the first byte from 1 to 4 in `length` bytes, which hold no NUL, or kNoMark.
// Eight bytes at a time: the lowest byte flagged below 5 is exact (borrows only run upwards).
std::size_t FirstMark(const char* key, std::size_t length) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= length; i += 8) {
            std::uint64_t x;
            std::memcpy(&x, key + i, 8);
            const std::uint64_t low = (x - kOnes * kFirstPlainByte) & ~x & (kOnes * 0x80);
            if (low != 0) return i + static_cast<std::size_t>(std::countr_zero(low)) / 8;
        }
    }
    for (; i < length; ++i) {
        if (static_cast<std::uint8_t>(key[i]) < kFirstPlainByte) return i;
    }
    return kNoMark;
}

// The NUL that ends a tail, or `limit` when none comes before it; `mark` gets the position
// of the first byte from 1 to 4 before the NUL. Eight bytes at a time while they lie
// before `limit`: the lowest byte flagged below 5 is exact (borrows only run upwards).
const std::uint8_t* TailEnd(const std::uint8_t* p, const std::uint8_t* limit, std::size_t& mark) {
    const std::uint8_t* const start = p;
    if constexpr (std::endian::native == std::endian::little) {
        while (limit - p >= 8) {
            std::uint64_t x;
            std::memcpy(&x, p, 8);
            const std::uint64_t low = (x - kOnes * kFirstPlainByte) & ~x & (kOnes * 0x80);
            if (low == 0) {
                p += 8;
                continue;
            }
            p += std::countr_zero(low) / 8;
            break;
        }
    }
    for (; p < limit; ++p) {
        if (*p >= kFirstPlainByte) continue;
        if (*p == 0) return p;
        if (mark == kNoMark) mark = static_cast<std::size_t>(p - start);
    }
    return limit;
}

// Copies a tail into the key; short tails as two fixed moves when both buffers have
// room for them (`keyRoom`, `blockRoom`: bytes from `to` and from `from` to their ends).
void CopyTail(char* to, const std::uint8_t* from, std::size_t length, std::size_t keyRoom,
              std::size_t blockRoom) {
    if (length <= 16 && keyRoom >= 16 && blockRoom >= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + 8, from + 8, 8);
        return;
    }
    std::memcpy(to, from, std::min(length, keyRoom));
}

// ClamSharedFrom for keys of known lengths: eight bytes at a time within both.
std::size_t SharedPrefix(const char* a, std::size_t aLength, const char* b, std::size_t bLength,
                         std::size_t from) {
    const std::size_t length = std::min(aLength, bLength);
    if constexpr (std::endian::native == std::endian::little) {
        for (; from + 8 <= length; from += 8) {
            std::uint64_t x;
            std::uint64_t y;
            std::memcpy(&x, a + from, 8);
            std::memcpy(&y, b + from, 8);
            if (x != y) return from + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
        }
    }
    while (from < length && a[from] == b[from]) ++from;
    return from;
}

// strcmp of keys of known lengths, by sign; `shared` gets the bytes they share.
int CompareBytes(const char* a, std::size_t aLength, const char* b, std::size_t bLength,
                 std::size_t& shared) {
    shared = SharedPrefix(a, aLength, b, bLength, 0);
    if (shared < aLength && shared < bLength) {
        return static_cast<std::uint8_t>(a[shared]) < static_cast<std::uint8_t>(b[shared]) ? -1 : 1;
    }
    return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

void EndWithoutRecord(ClamHandle* handle, bool damaged) {
    handle->recordStart = handle->cursor;
    handle->value = 0;
    if (damaged) handle->flags |= kClamFailed;
}

}  // namespace

ClamProbe ClamMakeProbe(const char* key) {
    return ClamMakeProbe(key, std::strlen(key));
}

ClamProbe ClamMakeProbe(const char* key, std::size_t length) {
    ClamProbe probe;
    probe.key = key;
    probe.length = length;
    probe.plain = FirstMark(key, length) == kNoMark;
    return probe;
}

std::size_t ClamSharedFrom(const char* a, const char* b, std::size_t from) {
    while (a[from] != '\0' && a[from] == b[from]) ++from;
    return from;
}

namespace {

// Decodes every record of the slot's block into its view; false for a block that has a
// damaged record or keys out of order, which is then only ever scanned.
bool BuildView(const ClamHandle* handle, ClamBlockView& view) {
    const std::size_t used = static_cast<std::size_t>(std::max(handle->usedBytes, 0));
    const std::span<const std::uint8_t> bytes{handle->block, kClamBlockSize};
    std::array<char, kClamKeyBufferSize> key{};
    std::size_t keyLength = 0;
    std::size_t offset = kClamHeaderSize;
    std::uint16_t value = 0;
    view.count = 0;
    view.lastFound = 0;
    view.keys.clear();
    for (;;) {
        const std::size_t start = offset;
        const ClamRecordStep step = ClamDecodeRecord(bytes, used, offset, key, keyLength, value);
        if (step == ClamRecordStep::kEnd) {
            view.keys.resize(view.keys.size() + kViewKeyPad);
            return true;
        }
        if (step == ClamRecordStep::kDamaged || view.count == ClamBlockView::kMaxRecords) {
            return false;
        }
        const std::size_t at = view.keys.size();
        view.keys.insert(view.keys.end(), key.data(), key.data() + keyLength + 1);
        if (view.count > 0 && ClamCompareKeys(view.keys.data() + view.keyAt[view.count - 1],
                                              view.keys.data() + at) >= 0) {
            return false;
        }
        const std::size_t i = view.count++;
        view.start[i] = static_cast<std::uint16_t>(start);
        view.end[i] = static_cast<std::uint16_t>(offset);
        view.value[i] = value;
        view.keyAt[i] = static_cast<std::uint32_t>(at);
        view.keyLength[i] = static_cast<std::uint8_t>(keyLength);
        view.plain[i] = FirstMark(key.data(), keyLength) == kNoMark ? 1 : 0;
    }
}

// The view of the handle's block when a search from its start may use one.
ClamBlockView* UsableView(ClamHandle* handle) {
    ClamCacheSlot* slot = handle->slot;
    if (slot == nullptr || slot->buffer != handle->block ||
        handle->cursor != handle->block + kClamHeaderSize || handle->keyEnd != handle->key.data()) {
        return nullptr;
    }
    if (slot->viewState == kClamViewBuilt) return slot->view;
    if (slot->viewState == kClamViewRefused) return nullptr;
    if (ClamIsLeaf(handle->block) && slot->searches++ == 0) return nullptr;
    if (slot->view == nullptr) slot->view = new (std::nothrow) ClamBlockView();
    if (slot->view == nullptr) return nullptr;
    bool built = false;
    try {
        built = BuildView(handle, *slot->view);
    } catch (const std::bad_alloc&) {
        built = false;  // without memory for it, the block is scanned as before
    }
    slot->viewState = built ? kClamViewBuilt : kClamViewRefused;
    return slot->viewState == kClamViewBuilt ? slot->view : nullptr;
}

// Leaves the handle as a scan that stopped at record `i` (or ran to the end) would.
// Short keys move as one fixed block: the view's keys end with kViewKeyPad spare bytes.
void CopyViewKey(std::array<char, kClamKeyBufferSize>& to, const ClamBlockView& view,
                 std::size_t i) {
    const char* from = view.keys.data() + view.keyAt[i];
    if (view.keyLength[i] < kViewKeyPad) {
        std::memcpy(to.data(), from, kViewKeyPad);
    } else {
        std::memcpy(to.data(), from, view.keyLength[i] + 1u);
    }
}

// A view's key against the probe; plain keys are in byte order.
int CompareViewKey(const ClamBlockView& view, std::size_t i, const ClamProbe& probe) {
    const char* key = view.keys.data() + view.keyAt[i];
    return probe.plain && view.plain[i] != 0 ? std::strcmp(key, probe.key)
                                             : ClamCompareKeys(key, probe.key);
}

// The first record not below the probe (not above it either, with `pastEqual`). Searches in
// key order land at or right after the previous answer, so those are tried first. `order`
// gets that record's key against the probe when a comparison gave it, else kNoOrder.
constexpr int kNoOrder = 2;
std::size_t FindInView(ClamBlockView& view, const ClamProbe& probe, bool pastEqual, int& order) {
    int last = 0;
    auto below = [&](std::size_t i) {
        last = CompareViewKey(view, i, probe);
        return last < 0 || (last == 0 && pastEqual);
    };
    // Below `low` every record is below the probe, from `high` on none; keys ascend.
    std::size_t low = 0;
    std::size_t high = view.count;
    int highOrder = kNoOrder;
    auto split = [&](std::size_t i) {
        if (below(i)) {
            low = i + 1;
        } else {
            high = i;
            highOrder = last;
        }
    };
    const std::size_t guess = std::min(view.lastFound, view.count);
    if (guess < view.count) split(guess);
    if (low == guess + 1 && low < high) split(low);
    if (high == guess && guess > 0) split(guess - 1);
    while (low < high) split(low + (high - low) / 2);
    view.lastFound = low;
    order = low < view.count ? highOrder : kNoOrder;
    return low;
}

// Leaves the handle as a scan that stopped at the first record not below the probe (or ran
// to the end) would.
int SearchView(ClamHandle* handle, ClamBlockView& view, const ClamProbe& probe, ClamScanFor purpose,
               ClamScanStop& stop) {
    int order = kNoOrder;
    const std::size_t low = FindInView(view, probe, purpose == ClamScanFor::kChild, order);
    const std::size_t i = low;
    const bool placing = purpose == ClamScanFor::kPlacement;
    stop.sharedCounted = placing;
    if (i > 0) {
        const char* below = view.keys.data() + view.keyAt[i - 1];
        stop.hasBelow = true;
        stop.belowValue = view.value[i - 1];
        stop.belowLength = view.keyLength[i - 1];
        if (placing) stop.belowShared = ClamSharedFrom(below, probe.key, 0);
    }
    const std::size_t shown = i < view.count ? i : i - 1;
    if (view.count > 0) {
        CopyViewKey(handle->key, view, shown);
        handle->keyEnd = handle->key.data() + view.keyLength[shown];
        handle->cursor = handle->block + view.end[shown];
    }
    if (i == view.count) {
        EndWithoutRecord(handle, false);
        return 0;
    }
    handle->recordStart = handle->block + view.start[i];
    handle->value = view.value[i];
    stop.plain = view.plain[i] != 0;
    // A search for a child reads only what lies below the stop.
    if (purpose != ClamScanFor::kChild) {
        stop.order = order != kNoOrder ? order : CompareViewKey(view, i, probe);
    }
    if (placing) stop.shared = ClamSharedFrom(handle->key.data(), probe.key, 0);
    return 1;
}

// Starts a scan of a leaf after the record of the handle's hint, when the block is as it was
// when the hint was taken and the probe is above that record's key. `shared` gets the bytes
// that key shares with the probe, or kNoMark when they were not counted.
bool SkipToHint(ClamHandle* handle, const ClamProbe& probe, ClamScanStop& stop,
                std::size_t& shared) {
    shared = kNoMark;
    const ClamLeafHint& hint = handle->leafHint;
    ClamCacheSlot* slot = handle->slot;
    if (slot == nullptr || hint.slot != slot || slot->version != hint.version ||
        slot->buffer != handle->block || handle->cursor != handle->block + kClamHeaderSize ||
        handle->keyEnd != handle->key.data() || hint.end > handle->usedBytes) {
        return false;
    }
    const int order = hint.plain && probe.plain ? CompareBytes(hint.key.data(), hint.keyLength,
                                                               probe.key, probe.length, shared)
                                                : ClamCompareKeys(hint.key.data(), probe.key);
    if (order >= 0) return false;
    ClamCopyKey(handle->key, hint.key, hint.keyLength);
    handle->keyEnd = handle->key.data() + hint.keyLength;
    handle->cursor = handle->block + hint.end;
    stop.hasBelow = true;
    stop.belowValue = hint.value;
    return true;
}

}  // namespace

bool ClamChildAsBefore(const ClamHandle* handle, const ClamProbe& probe, std::uint32_t& child) {
    const ClamCacheSlot* slot = handle->slot;
    if (slot == nullptr || slot->buffer != handle->block || slot->viewState != kClamViewBuilt ||
        handle->cursor != handle->block + kClamHeaderSize || handle->keyEnd != handle->key.data()) {
        return false;
    }
    const ClamBlockView& view = *slot->view;
    const std::size_t above = view.lastFound;
    if (above == 0 || above > view.count || CompareViewKey(view, above - 1, probe) > 0) {
        return false;
    }
    if (above < view.count && CompareViewKey(view, above, probe) <= 0) return false;
    child = view.value[above - 1];
    return true;
}

bool ClamViewKeysAt(const ClamCacheSlot& slot, std::uint32_t record, ClamViewKey& at,
                    ClamViewKey& next) {
    if (slot.viewState != kClamViewBuilt || slot.view == nullptr) return false;
    const ClamBlockView& view = *slot.view;
    if (record >= view.count) return false;
    at = {view.keys.data() + view.keyAt[record], view.keyLength[record], view.plain[record] != 0};
    next = {};
    if (record + 1 < view.count) {
        next = {view.keys.data() + view.keyAt[record + 1], view.keyLength[record + 1],
                view.plain[record + 1] != 0};
    }
    return true;
}

int ClamCompareViewKeys(const ClamViewKey& a, const ClamViewKey& b) {
    std::size_t shared = 0;
    return a.plain && b.plain ? CompareBytes(a.key, a.length, b.key, b.length, shared)
                              : ClamCompareKeys(a.key, b.key);
}

int ClamCompareToProbe(const ClamViewKey& key, const ClamProbe& probe) {
    return ClamCompareViewKeys(key, {probe.key, probe.length, probe.plain});
}

int ClamScanBlock(ClamHandle* handle, const ClamProbe& probe, ClamScanFor purpose,
                  ClamScanStop& stop) {
    const bool pastEqual = purpose == ClamScanFor::kChild;
    stop.Clear();
    stop.sharedCounted = true;
    // A leaf searched in key order goes on from its hint: that is cheaper than decoding the
    // whole block into a view, which is left for searches that jump about.
    std::size_t hintShared = kNoMark;
    const bool hinted = handle->block != nullptr && SkipToHint(handle, probe, stop, hintShared);
    if (handle->block != nullptr && !hinted) {
        if (ClamBlockView* view = UsableView(handle)) {
            return SearchView(handle, *view, probe, purpose, stop);
        }
    }
    if (handle->block == nullptr) {
        EndWithoutRecord(handle, true);
        return 0;
    }
    const std::uint8_t* block = handle->block;
    const std::size_t used = static_cast<std::size_t>(std::max(handle->usedBytes, 0));
    const std::size_t limit = std::min(used, kClamBlockSize);
    char* key = handle->key.data();
    std::size_t offset = static_cast<std::size_t>(handle->cursor - block);
    std::size_t length = static_cast<std::size_t>(handle->keyEnd - key);
    std::size_t shared = hinted && hintShared != kNoMark
                             ? hintShared
                             : SharedPrefix(key, length, probe.key, probe.length, 0);
    // A plain hint key has no mark to look for.
    std::size_t mark = hinted && handle->leafHint.plain ? kNoMark : FirstMark(key, length);
    for (;;) {
        stop.belowLength = length;
        stop.belowShared = shared;
        if (offset >= used) {
            EndWithoutRecord(handle, false);
            return 0;
        }
        if (offset + 4 > limit || block[offset + 2] > length) {
            EndWithoutRecord(handle, true);
            return 0;
        }
        const std::uint8_t* tail = block + offset + 3;
        std::size_t tailMark = kNoMark;
        const std::uint8_t* end = TailEnd(tail, block + limit, tailMark);
        if (end == block + limit) {
            EndWithoutRecord(handle, true);
            return 0;
        }
        const std::size_t tailLength = static_cast<std::size_t>(end - tail);
        const std::size_t kept = length - block[offset + 2];
        const std::size_t newLength = kept + tailLength;
        const std::size_t next = offset + 3 + tailLength + 1 + ((tailLength + 1) % 2 == 0 ? 1 : 0);
        if (newLength > kClamMaxKeyLength || next > limit) {
            EndWithoutRecord(handle, true);
            return 0;
        }
        CopyTail(key + kept, tail, tailLength, handle->key.size() - kept,
                 static_cast<std::size_t>(block + kClamBlockSize - tail));
        key[newLength] = '\0';
        length = newLength;
        if (mark >= kept) mark = tailMark == kNoMark ? kNoMark : kept + tailMark;
        // The first min(kept, shared) bytes are the probe's: the old key had them and kept them.
        shared = SharedPrefix(key, length, probe.key, probe.length, std::min(kept, shared));
        const std::uint16_t value = ClamGetU16(block + offset);
        handle->recordStart = handle->block + offset;
        handle->cursor = handle->block + next;
        handle->keyEnd = key + length;
        handle->value = value;
        offset = next;
        const int order = probe.plain && mark == kNoMark
                              ? static_cast<std::uint8_t>(key[shared]) -
                                    static_cast<std::uint8_t>(probe.key[shared])
                              : ClamCompareKeys(key, probe.key);
        if (order > 0 || (order == 0 && !pastEqual)) {
            stop.order = order;
            stop.shared = shared;
            stop.plain = mark == kNoMark;
            return 1;
        }
        stop.hasBelow = true;
        stop.belowValue = value;
    }
}
