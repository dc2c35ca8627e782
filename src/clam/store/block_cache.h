// The write-back cache of 1024-byte blocks that all handles of one import share, and the
// cursor operations that walk a handle through its tree.
//
// Ten slots form a ring ordered by use (head: most recently used; head->prev: least).
// A request names the block by descriptor and number and carries a mode: 0x20 read it
// from the file when missing, 0x10 it will change (dirty; without 0x20 a new block that
// starts as zeros), and a priority in the low four bits (0 for a root block, 1 for any
// other). A request for a non-root block evicts a root block only when nothing else is
// left, so the roots that every search passes stay in memory.
#pragma once

#include <cstdint>

struct ClamHandle;
struct ClamBlockView;

// Whether a slot's decoded view describes its block.
inline constexpr std::uint8_t kClamViewNone = 0;
inline constexpr std::uint8_t kClamViewBuilt = 1;
inline constexpr std::uint8_t kClamViewRefused = 2;  // the block is only ever scanned

inline constexpr std::uint8_t kClamModeRead = 0x20;
inline constexpr std::uint8_t kClamModeChange = 0x10;  // also the dirty bit of a slot
inline constexpr std::uint8_t kClamModePriority = 0x0F;
inline constexpr std::uint8_t kClamFreePriority = 127;
inline constexpr std::uint32_t kClamFreeBlock = 0xFFFFFFFF;
inline constexpr std::uint32_t kClamCacheSlots = 10;
inline constexpr std::uint32_t kClamInitialBuffers = 5;

struct ClamCacheSlot {
    std::int64_t fd;  // 0: free
    std::uint8_t* buffer;
    std::uint32_t blockNumber;
    std::uint8_t state;     // the mode that brought the block in; 0x10: dirty
    std::uint8_t priority;  // 0 root, 1 other, 127 free
    ClamCacheSlot* prev;    // used more recently
    ClamCacheSlot* next;    // used less recently
    ClamBlockView* view;    // owned; see viewState
    std::uint8_t viewState;
    std::uint8_t searches;  // searches of the block since it last changed or came in
    std::uint32_t version;  // counts the changes and refills of the slot's block
};

struct ClamBlockCache {
    ClamCacheSlot* head;
    ClamCacheSlot* slots;  // slots[0] keeps its buffer for the life of the cache
    std::uint32_t bufferCount;
    std::uint32_t initialBuffers;
    std::uint32_t slotCount;
    // Counts the requests that can change a slot or the ring; a handle's memory of its last
    // descent holds only while this stays the same.
    std::uint32_t requests;
};

// The two arguments are ignored: every cache has 5 initial buffers and 10 slots.
ClamBlockCache* ClamNewBlockCache(int initialBuffers, int slotCount);
// Frees the buffers, slots and record without writing anything back (null allowed).
void ClamFreeBlockCache(ClamBlockCache* cache);

ClamCacheSlot* ClamPickSlot(ClamBlockCache* cache, std::uint8_t mode);
std::uint8_t* ClamGetBlock(ClamBlockCache* cache, std::uint32_t blockNumber, std::int64_t fd,
                           std::uint8_t mode);
void ClamReleaseSlot(ClamBlockCache* cache, ClamCacheSlot* slot);
[[nodiscard]] int ClamWriteSlot(ClamBlockCache* cache, ClamCacheSlot* slot);
// Writes back every dirty block of the descriptor and releases all its slots, even after a
// failed write; 0 when any write failed.
[[nodiscard]] int ClamFlushFile(ClamBlockCache* cache, std::int64_t fd);
// Releases every slot of the descriptor without writing anything.
void ClamDiscardFile(ClamBlockCache* cache, std::int64_t fd);
// The slot holding a block, or null.
ClamCacheSlot* ClamFindSlot(ClamBlockCache* cache, std::uint32_t blockNumber, std::int64_t fd);

// Handle level: load a block (mode without priority), read the next live record along
// the leaf chain, descend to a key.
int ClamLoadBlock(ClamHandle* handle, std::uint32_t blockNumber, std::uint8_t mode);
int ClamNextRecord(ClamHandle* handle);
int ClamSeekKey(ClamHandle* handle, const char* key, int flag);
// In the index block just loaded: the child of the last record whose key is not above
// `key`; false when there is none (or reading the block failed the handle).
bool ClamFindChild(ClamHandle* handle, const char* key, std::uint32_t& child);
struct ClamProbe;
// ClamSeekKey of a probe made already.
int ClamSeekProbe(ClamHandle* handle, const ClamProbe& probe);
bool ClamFindChildOf(ClamHandle* handle, const ClamProbe& probe, std::uint32_t& child);
