#include <algorithm>
#include <cstring>

#include "clam/store/clam_store.h"

namespace {

std::size_t SharedPrefix(const char* prevKey, const char* key) {
    if (prevKey == nullptr) return 0;
    std::size_t n = 0;
    while (prevKey[n] != '\0' && prevKey[n] == key[n]) ++n;
    return n;
}

}  // namespace

std::size_t ClamRecordSize(std::size_t tailWithNul) {
    return 3 + tailWithNul + (tailWithNul % 2 == 0 ? 1 : 0);
}

std::uint8_t* ClamPutRecord(std::uint8_t* out, std::uint32_t value, std::size_t drop,
                            const char* tail, std::size_t tailLength) {
    ClamPutU16(out, value & 0xFFFF);
    out[2] = static_cast<std::uint8_t>(drop);
    std::memcpy(out + 3, tail, tailLength);
    out[3 + tailLength] = 0;
    std::uint8_t* end = out + 4 + tailLength;
    if ((tailLength + 1) % 2 == 0) *end++ = 0;
    return end;
}

ClamRecordStep ClamDecodeRecord(std::span<const std::uint8_t> bytes, std::size_t used,
                                std::size_t& offset, std::array<char, kClamKeyBufferSize>& key,
                                std::size_t& keyLength, std::uint16_t& value) {
    if (offset >= used) return ClamRecordStep::kEnd;
    const std::size_t limit = std::min(used, bytes.size());
    if (offset + 4 > limit) return ClamRecordStep::kDamaged;
    const std::size_t drop = bytes[offset + 2];
    if (drop > keyLength) return ClamRecordStep::kDamaged;
    const std::size_t tailStart = offset + 3;
    const void* nul = std::memchr(bytes.data() + tailStart, 0, limit - tailStart);
    if (nul == nullptr) return ClamRecordStep::kDamaged;
    const std::size_t tailLength =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes.data()) - tailStart;
    const std::size_t newLength = keyLength - drop + tailLength;
    if (newLength > kClamMaxKeyLength) return ClamRecordStep::kDamaged;
    const std::size_t end = offset + ClamRecordSize(tailLength + 1);
    if (end > limit) return ClamRecordStep::kDamaged;
    std::memcpy(key.data() + keyLength - drop, bytes.data() + tailStart, tailLength);
    key[newLength] = '\0';
    keyLength = newLength;
    value = ClamGetU16(bytes.data() + offset);
    offset = end;
    return ClamRecordStep::kRecord;
}

std::size_t ClamEncodedRecordSize(const char* prevKey, const char* key) {
    return ClamRecordSize(std::strlen(key) - SharedPrefix(prevKey, key) + 1);
}

std::uint8_t* ClamEncodeRecord(std::uint8_t* out, std::uint32_t value, const char* prevKey,
                               const char* key) {
    const std::size_t shared = SharedPrefix(prevKey, key);
    const std::size_t prevLength = prevKey == nullptr ? 0 : std::strlen(prevKey);
    const std::size_t tailWithNul = std::strlen(key) - shared + 1;
    ClamPutU16(out, value & 0xFFFF);
    out[2] = static_cast<std::uint8_t>(prevLength - shared);
    std::memcpy(out + 3, key + shared, tailWithNul);
    std::uint8_t* end = out + 3 + tailWithNul;
    if (tailWithNul % 2 == 0) *end++ = 0;
    return end;
}

int ClamReadRecord(ClamHandle* handle) {
    handle->seekMemo.valid = false;
    handle->atSavedPosition = false;
    handle->recordStart = handle->cursor;
    if (handle->block == nullptr) {
        handle->flags |= kClamFailed;
        handle->value = 0;
        return 0;
    }
    std::size_t offset = static_cast<std::size_t>(handle->cursor - handle->block);
    const std::size_t used = static_cast<std::size_t>(std::max(handle->usedBytes, 0));
    if (offset >= used) {
        handle->value = 0;
        return 0;
    }
    std::size_t keyLength = static_cast<std::size_t>(handle->keyEnd - handle->key.data());
    std::uint16_t value = 0;
    const auto step = ClamDecodeRecord({handle->block, kClamBlockSize}, used, offset, handle->key,
                                       keyLength, value);
    if (step != ClamRecordStep::kRecord) {
        handle->flags |= kClamFailed;
        handle->value = 0;
        return 0;
    }
    handle->value = value;
    handle->cursor = handle->block + offset;
    handle->keyEnd = handle->key.data() + keyLength;
    return 1;
}
