// Searching one block's front-coded records for a key without rebuilding and comparing every
// whole key: the scan carries how many leading bytes the probe shares with the current key,
// so each record's drop count tells where its comparison can start, or decides it outright.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct ClamHandle;
struct ClamCacheSlot;

// A key searched for. `plain` keys hold no byte from 1 to 4 (no marker code, no separator):
// two plain keys are in key order exactly when they are in byte order.
struct ClamProbe {
    const char* key = nullptr;
    std::size_t length = 0;
    bool plain = false;
};

ClamProbe ClamMakeProbe(const char* key);
// The same, for a key whose length is known.
ClamProbe ClamMakeProbe(const char* key, std::size_t length);

// Where a scan stopped. `below*` describe the last key read before the stop record (at the
// end of the block: the last key of the block); `shared` is what the stop record's key
// shares with the probe. Lengths and shared counts are in bytes.
struct ClamScanStop {
    int order = 1;  // the stop record's key against the probe
    bool hasBelow = false;
    std::uint16_t belowValue = 0;
    std::size_t belowLength = 0;
    std::size_t belowShared = 0;
    std::size_t shared = 0;
    bool plain = false;          // the stop record's key holds no byte from 1 to 4
    bool sharedCounted = false;  // belowShared and shared hold (always so after kPlacement)

    // As a new one, field by field: assigning a whole new record builds it beside and copies
    // it in overlapping pieces, which stalls the loads that follow.
    void Clear() {
        order = 1;
        hasBelow = false;
        belowValue = 0;
        belowLength = 0;
        belowShared = 0;
        shared = 0;
        plain = false;
        sharedCounted = false;
    }
};

// The decoded records of a cached block, for a binary search instead of a scan. A cache
// slot keeps one only while its block stays as it was decoded: the cache drops it when the
// slot is asked for a change or takes another block. Only blocks whose every record is
// sound and whose keys strictly ascend get one, so that the search finds what a scan would.
struct ClamBlockView {
    static constexpr std::size_t kMaxRecords = 255;  // records take 4 bytes at least
    std::size_t count = 0;
    std::array<std::uint16_t, kMaxRecords> start{};  // record offsets in the block
    std::array<std::uint16_t, kMaxRecords> end{};
    std::array<std::uint16_t, kMaxRecords> value{};
    std::array<std::uint32_t, kMaxRecords> keyAt{};  // in `keys`, each key with its NUL
    std::array<std::uint8_t, kMaxRecords> keyLength{};
    std::array<std::uint8_t, kMaxRecords> plain{};  // 1: the key holds no byte from 1 to 4
    std::size_t lastFound = 0;                      // where the last search ended
    std::vector<char> keys;
};

// Reads records from the handle's cursor exactly as repeated ClamReadRecord calls would,
// leaving the handle as they would, until a record whose key is not below the probe (with
// kChild: above it). 1 when it stopped on such a record; 0 at the end of the block, or
// on a damaged record, which fails the handle.
// From the start of a block with a decoded view (an index block at once, a leaf from its
// second search without a change), a binary search takes the scan's place.
enum class ClamScanFor {
    kChild,      // the last record not above the probe
    kRecord,     // the first record not below it
    kPlacement,  // the same, with the shared prefixes an insertion needs
};
int ClamScanBlock(ClamHandle* handle, const ClamProbe& probe, ClamScanFor purpose,
                  ClamScanStop& stop);

// In an index block just loaded that has a decoded view: the child its last search chose,
// when the probe falls to the same record (its key not above the probe, the next one above
// it), so that a descent in key order need not search the block again. The handle is left
// as it is: the next block's load and search set everything a search of this one would.
bool ClamChildAsBefore(const ClamHandle* handle, const ClamProbe& probe, std::uint32_t& child);

// A key of a cached block's view, which lives as long as the view; null for none.
struct ClamViewKey {
    const char* key = nullptr;
    std::size_t length = 0;
    bool plain = false;
};
// The keys of record `record` of the slot's view and of the record after it (null at the end
// of the block); false when the slot has no view or no such record.
bool ClamViewKeysAt(const ClamCacheSlot& slot, std::uint32_t record, ClamViewKey& at,
                    ClamViewKey& next);
// In key order, as the view's search compares them.
int ClamCompareViewKeys(const ClamViewKey& a, const ClamViewKey& b);
int ClamCompareToProbe(const ClamViewKey& key, const ClamProbe& probe);
// Bytes that two NUL-terminated keys share from `from` on, plus `from`.
std::size_t ClamSharedFrom(const char* a, const char* b, std::size_t from);
