#include "clam/store/block_search.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "clam/store/clam_store.h"

namespace {

constexpr std::size_t kNoMark = static_cast<std::size_t>(-1);
// Bytes 1 to 3 are marker codes and 4 the separator; 5 to 7 count as any other byte until
// a separator has come.
constexpr std::uint8_t kFirstPlainByte = 5;

// Position of the first byte from 1 to 4 in `length` bytes, or kNoMark.
std::size_t FirstMark(const char* key, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
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
        constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
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

void EndWithoutRecord(ClamHandle* handle, bool damaged) {
    handle->recordStart = handle->cursor;
    handle->value = 0;
    if (damaged) handle->flags |= kClamFailed;
}

}  // namespace

ClamProbe ClamMakeProbe(const char* key) {
    ClamProbe probe;
    probe.key = key;
    probe.length = std::strlen(key);
    probe.plain = FirstMark(key, probe.length) == kNoMark;
    return probe;
}

std::size_t ClamSharedFrom(const char* a, const char* b, std::size_t from) {
    while (a[from] != '\0' && a[from] == b[from]) ++from;
    return from;
}

int ClamScanBlock(ClamHandle* handle, const ClamProbe& probe, bool pastEqual, ClamScanStop& stop) {
    stop = ClamScanStop{};
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
    std::size_t shared = ClamSharedFrom(key, probe.key, 0);
    std::size_t mark = FirstMark(key, length);
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
        shared = ClamSharedFrom(key, probe.key, std::min(kept, shared));
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
            return 1;
        }
        stop.hasBelow = true;
        stop.belowValue = value;
    }
}
