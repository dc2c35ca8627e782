// Searching one block's front-coded records for a key without rebuilding and comparing every
// whole key: the scan carries how many leading bytes the probe shares with the current key,
// so each record's drop count tells where its comparison can start, or decides it outright.
#pragma once

#include <cstddef>
#include <cstdint>

struct ClamHandle;

// A key searched for. `plain` keys hold no byte from 1 to 4 (no marker code, no separator):
// two plain keys are in key order exactly when they are in byte order.
struct ClamProbe {
    const char* key = nullptr;
    std::size_t length = 0;
    bool plain = false;
};

ClamProbe ClamMakeProbe(const char* key);

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
};

// Reads records from the handle's cursor exactly as repeated ClamReadRecord calls would,
// leaving the handle as they would, until a record whose key is not below the probe (with
// `pastEqual`: above it). 1 when it stopped on such a record; 0 at the end of the block, or
// on a damaged record, which fails the handle.
int ClamScanBlock(ClamHandle* handle, const ClamProbe& probe, bool pastEqual, ClamScanStop& stop);

// Bytes that two NUL-terminated keys share from `from` on, plus `from`.
std::size_t ClamSharedFrom(const char* a, const char* b, std::size_t from);
