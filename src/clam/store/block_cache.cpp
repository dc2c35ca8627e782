#include "clam/store/block_cache.h"

#include <cstring>
#include <new>

#include "clam/store/block_search.h"
#include "clam/store/clam_store.h"
#include "platform/platform.h"

namespace {

std::uint8_t* NewBuffer() {
    return new (std::nothrow) std::uint8_t[kClamBlockSize]();
}

// The block of the slot changes or goes: its view no longer describes it.
void ForgetView(ClamCacheSlot* slot) {
    slot->viewState = kClamViewNone;
    slot->searches = 0;
    ++slot->version;
}

void MarkFree(ClamCacheSlot* slot) {
    ForgetView(slot);
    slot->fd = 0;
    slot->state = 0;
    slot->priority = kClamFreePriority;
    slot->blockNumber = kClamFreeBlock;
}

bool IsDirty(const ClamCacheSlot* slot) {
    return (slot->state & kClamModeChange) != 0;
}

bool SeekBlock(std::int64_t fd, std::uint32_t blockNumber) {
    const std::int64_t offset = static_cast<std::int64_t>(blockNumber) * kClamBlockSize;
    return platform::CurrentPlatform().Seek(static_cast<int>(fd), offset, platform::kSeekSet) ==
           offset;
}

bool WriteBlock(const ClamCacheSlot* slot) {
    if (!SeekBlock(slot->fd, slot->blockNumber)) return false;
    return platform::CurrentPlatform().Write(static_cast<int>(slot->fd), slot->buffer,
                                             kClamBlockSize) == static_cast<int>(kClamBlockSize);
}

bool ReadBlock(std::int64_t fd, std::uint32_t blockNumber, std::uint8_t* buffer) {
    if (!SeekBlock(fd, blockNumber)) return false;
    return platform::CurrentPlatform().Read(static_cast<int>(fd), buffer, kClamBlockSize) ==
           static_cast<int>(kClamBlockSize);
}

void MoveToHead(ClamBlockCache* cache, ClamCacheSlot* slot) {
    ClamCacheSlot* head = cache->head;
    if (slot == head) return;
    slot->prev->next = slot->next;
    slot->next->prev = slot->prev;
    slot->prev = head->prev;
    slot->next = head;
    head->prev->next = slot;
    head->prev = slot;
    cache->head = slot;
}

// One walk from the least recently used slot towards the head; null when none qualifies.
ClamCacheSlot* WalkForSlot(ClamBlockCache* cache, std::uint8_t priority, bool& mayAllocate) {
    for (ClamCacheSlot* slot = cache->head->prev; slot != cache->head; slot = slot->prev) {
        if (slot->priority < priority) continue;
        if (slot->buffer != nullptr) return slot;
        if (!mayAllocate) continue;
        slot->buffer = NewBuffer();
        if (slot->buffer != nullptr) {
            ++cache->bufferCount;
            return slot;
        }
        mayAllocate = false;
        MarkFree(slot);
    }
    return nullptr;
}

}  // namespace

ClamBlockCache* ClamNewBlockCache(int, int) {
    auto* cache = new (std::nothrow) ClamBlockCache{};
    if (cache == nullptr) return nullptr;
    cache->slots = new (std::nothrow) ClamCacheSlot[kClamCacheSlots]();
    if (cache->slots != nullptr) cache->slots[0].buffer = NewBuffer();
    if (cache->slots == nullptr || cache->slots[0].buffer == nullptr) {
        delete[] cache->slots;
        delete cache;
        return nullptr;
    }
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i) {
        ClamCacheSlot& slot = cache->slots[i];
        slot.next = &cache->slots[(i + 1) % kClamCacheSlots];
        slot.prev = &cache->slots[(i + kClamCacheSlots - 1) % kClamCacheSlots];
        MarkFree(&slot);
    }
    cache->head = &cache->slots[0];
    cache->bufferCount = 1;
    for (std::uint32_t i = 1; i < kClamInitialBuffers; ++i) {
        cache->slots[i].buffer = NewBuffer();
        if (cache->slots[i].buffer == nullptr) break;
        ++cache->bufferCount;
    }
    cache->initialBuffers = kClamInitialBuffers;
    cache->slotCount = kClamCacheSlots;
    return cache;
}

void ClamFreeBlockCache(ClamBlockCache* cache) {
    if (cache == nullptr) return;
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i) {
        delete[] cache->slots[i].buffer;
        delete cache->slots[i].view;
    }
    delete[] cache->slots;
    delete cache;
}

ClamCacheSlot* ClamPickSlot(ClamBlockCache* cache, std::uint8_t mode) {
    std::uint8_t priority = mode & kClamModePriority;
    bool mayAllocate = true;
    ClamCacheSlot* chosen = WalkForSlot(cache, priority, mayAllocate);
    if (chosen == nullptr && priority != 0) {
        priority = 0;
        chosen = WalkForSlot(cache, priority, mayAllocate);
    }
    if (chosen == nullptr) chosen = cache->head;
    if (IsDirty(chosen)) {
        if (chosen->buffer == nullptr || !WriteBlock(chosen)) return nullptr;
        chosen->state &= static_cast<std::uint8_t>(~kClamModeChange);
    }
    return chosen;
}

ClamCacheSlot* ClamFindSlot(ClamBlockCache* cache, std::uint32_t blockNumber, std::int64_t fd) {
    ClamCacheSlot* slot = cache->head;
    do {
        if (slot->fd == fd && slot->blockNumber == blockNumber) return slot;
        slot = slot->next;
    } while (slot != cache->head);
    return nullptr;
}

std::uint8_t* ClamGetBlock(ClamBlockCache* cache, std::uint32_t blockNumber, std::int64_t fd,
                           std::uint8_t mode) {
    if ((mode & (kClamModeRead | kClamModeChange)) == 0) return nullptr;
    if (cache == nullptr || fd == 0) return nullptr;
    ++cache->requests;
    ClamCacheSlot* slot = ClamFindSlot(cache, blockNumber, fd);
    if (slot != nullptr && slot->buffer == nullptr) {
        MarkFree(slot);
        slot = nullptr;
    }
    bool clearBuffer = false;
    if (slot == nullptr) {
        slot = ClamPickSlot(cache, mode);
        if (slot == nullptr || slot->buffer == nullptr) return nullptr;
        if ((mode & kClamModeRead) != 0) {
            if (!ReadBlock(fd, blockNumber, slot->buffer)) {
                ClamReleaseSlot(cache, slot);
                return nullptr;
            }
        } else {
            clearBuffer = true;
        }
        slot->fd = fd;
        slot->blockNumber = blockNumber;
        slot->state = mode;
        ForgetView(slot);
    }
    if ((mode & kClamModeChange) != 0) ForgetView(slot);
    slot->priority = mode & kClamModePriority;
    slot->state |= mode & kClamModeChange;
    MoveToHead(cache, slot);
    if (clearBuffer) std::memset(slot->buffer, 0, kClamBlockSize);
    return slot->buffer;
}

void ClamReleaseSlot(ClamBlockCache* cache, ClamCacheSlot* slot) {
    ++cache->requests;
    if (slot != &cache->slots[0] && slot->buffer != nullptr) {
        delete[] slot->buffer;
        slot->buffer = nullptr;
        --cache->bufferCount;
    }
    MarkFree(slot);
}

int ClamWriteSlot(ClamBlockCache* cache, ClamCacheSlot* slot) {
    ++cache->requests;
    if (!IsDirty(slot)) return 1;
    if (slot->buffer == nullptr || !WriteBlock(slot)) return 0;
    slot->state &= static_cast<std::uint8_t>(~kClamModeChange);
    return 1;
}

int ClamFlushFile(ClamBlockCache* cache, std::int64_t fd) {
    if (cache == nullptr) return 1;
    int result = 1;
    // Collect first: releasing does not reorder the ring, but the walk must visit every
    // slot once whatever happens to the ones it leaves behind.
    ClamCacheSlot* order[kClamCacheSlots];
    ClamCacheSlot* slot = cache->head->prev;
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i, slot = slot->prev) order[i] = slot;
    for (ClamCacheSlot* s : order) {
        if (s->fd != fd) continue;
        // A failed write does not stop the others: every block that still reaches the file
        // keeps the tree as whole as it can be, and the slots must go before the descriptor
        // is closed and its number handed to another file.
        if (ClamWriteSlot(cache, s) == 0) result = 0;
        ClamReleaseSlot(cache, s);
    }
    return result;
}

void ClamDiscardFile(ClamBlockCache* cache, std::int64_t fd) {
    if (cache == nullptr) return;
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i) {
        if (cache->slots[i].fd == fd) ClamReleaseSlot(cache, &cache->slots[i]);
    }
}
