// The clam store: one open clam dictionary file, its on-disk format, and the operations
// that open, read, extend and close it.
//
// FILE FORMAT
// ===========
// A clam file is an array of 1024-byte blocks; block n occupies file bytes n*1024 up to
// n*1024+1023. Blocks are read and written whole (the only exception: upgrading an old
// header writes the first two bytes of block 0). Every 16-bit number is little-endian and
// assembled byte by byte. The blocks form a B+-tree whose root is always block 0.
//
// Blocks in use are block 0 up to the last block whose first two bytes are not both zero.
// Whole zero blocks after it were reserved by an insertion and not needed; they are not
// part of the tree and the next blocks allocated overwrite them.
//
// A block:
//
//    0        2                4                                   usedLength     1024
//    +--------+----------------+-----------+-----------+-----+-----+---------------+
//    |  link  | used | L       | record 1  | record 2  | ... | rec | stale bytes   |
//    +--------+----------------+-----------+-----------+-----+-----+---------------+
//               bits 0-14: used length, header included (4..1024)
//               bit 15 (L): set in a leaf, clear in an index block
//
//   Offset  Size  Field
//   0       2     link: the next block of the same level in key order, 0xFFFF for none.
//                 In block 0 instead: byte 0 the format version, byte 1 the language id.
//   2       2     used length and leaf bit, as above.
//   4       ...   records, back to back, up to the used length. Nothing after the used
//                 length is meaningful; readers never look at it.
//
// A record (always of even length, so every record starts at an even offset):
//
//    0       2      3                      3+n
//    +-------+------+----------------------+-----+
//    | value | drop | tail bytes ...   NUL | pad |
//    +-------+------+----------------------+-----+
//
//   Offset  Size  Field
//   0       2     value. Leaf: the word's class; 0 marks a record readers skip (the
//                 sentinel, or an entry deleted by the word layer). Index: child block.
//   2       1     drop: bytes removed from the end of the previous record's key.
//   3       n     tail: bytes appended after the drop, ended by a NUL (counted in n).
//   3+n     0|1   pad: one zero byte, present exactly when n is even.
//
// Front coding: a record's key is the previous record's key (of the same block) less its
// last `drop` bytes, followed by the tail. The first record of a block is decoded against
// the empty key, so it has drop 0 and carries its whole key. A writer counts the leading
// bytes the previous key P and the new key K share, sets drop = len(P) - shared, and
// writes K from `shared` on as the tail.
//
// Keys are NUL-terminated byte strings of at most 197 bytes; their first two bytes are
// class bytes. They are ordered by ClamCompareKeys, which is not byte order. Within a
// block records ascend; the blocks of a level, followed through their links, continue
// the order. An index record (K, C) leads to the child C, which holds the keys from K up
// to (not including) the next record's key; a search takes the last record whose key is
// not greater than the search key. Leaves are chained through their links; the last leaf
// has link 0xFFFF. A root that is a leaf is the only leaf.
//
// The sentinel: every file starts with a leaf record of value 0 whose key is the
// environment's class base byte twice, the smallest key there is. It is never removed, so
// each block on the leftmost path begins with that key and every descent finds a child.
//
// Versions: block 0 byte 0 is 6 and byte 1 the language id (1..39). A version-5 file has
// the language id in byte 0 and anything outside 1..39 in byte 1; opening it for writing
// rewrites the two bytes as version 6.
//
// A new file is one block:
//
//   Offset  Bytes              Meaning
//   0       06                 version
//   1       language id
//   2       0A 80              used length 10, leaf
//   4       00 00              value 0 (the sentinel)
//   6       00                 drop
//   7       cb cb              low byte of the class base, twice
//   9       00                 end of the key
//   10      00 ... 00          up to byte 1023
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "clam/coding/phonetic_keys.h"
#include "clam/store/block_cache.h"
#include "clam/store/block_search.h"

struct ClamPhonEnv;

inline constexpr std::size_t kClamBlockSize = 1024;
inline constexpr std::size_t kClamHeaderSize = 4;
inline constexpr std::size_t kClamKeyBufferSize = 200;  // key, prevKey
inline constexpr std::size_t kClamSavedKeySize = 198;
// value, drop, a full key with its NUL, and a pad byte.
inline constexpr std::size_t kClamMaxRecordSize = 2 + 1 + kClamMaxKeyLength + 1 + 1;
inline constexpr std::uint16_t kClamNoLink = 0xFFFF;
inline constexpr std::uint16_t kClamLeafBit = 0x8000;
inline constexpr std::uint16_t kClamUsedMask = 0x7FFF;
inline constexpr std::uint8_t kClamVersion = 6;
inline constexpr std::uint8_t kClamOldVersion = 5;
inline constexpr int kClamMinLanguage = 1;
inline constexpr int kClamMaxLanguage = 39;
// Block numbers are 16 bits and 0xFFFF is "no link".
inline constexpr std::uint32_t kClamMaxBlocks = 0xFFFF;
// The insertion's path: the root and five levels below it.
inline constexpr std::size_t kClamMaxLevels = 6;
// An index block with this much room takes the key a split below pushes up.
inline constexpr std::size_t kClamRoomForPushedKey = 198;

// Open modes and state bits of ClamHandle::flags.
inline constexpr std::uint16_t kClamCreate = 0x0010;
inline constexpr std::uint16_t kClamReadOnly = 0x0040;
inline constexpr std::uint16_t kClamFailed = 0x0080;
inline constexpr std::uint16_t kClamNotOwned = 0x0100;

// Where the handle's last ClamSeekKey ended when it did not find its key, so that an
// insertion of that key right after it needs no second descent. It holds while `valid` and the
// cache has served no request since (`requests`); loading a block or reading a record through the
// handle clears `valid`.
struct ClamSeekMemo {
    bool valid;
    std::uint32_t requests;
    std::array<std::uint32_t, kClamMaxLevels> path;  // root to leaf
    std::uint32_t depth;
    std::uint32_t reservation;  // as the insertion's descent counts it
    bool stopped;               // the scan of the leaf stopped on a record
    int order;
    std::size_t belowLength;
    std::size_t belowShared;
    std::size_t shared;
    std::array<char, kClamKeyBufferSize> key;
};

// Where the handle's last full descent from the root went. While the slot of every index
// block on the way keeps its version, those blocks are as they were, so any key from
// `lowest` up to `highest` (not included; none: no bound) would be led to the same leaf,
// and a seek for it loads only that. The keys point into the views of those blocks.
struct ClamDescentStep {
    ClamCacheSlot* slot;
    std::uint32_t version;
};
struct ClamLeafFinger {
    bool valid;
    std::uint32_t steps;  // index blocks above the leaf
    std::array<ClamDescentStep, kClamMaxLevels - 1> step;
    ClamViewKey lowest;
    ClamViewKey highest;
    std::uint32_t leaf;
    std::array<std::uint32_t, kClamMaxLevels> path;  // as the seek memo holds it
    std::uint32_t reservation;
};

// The record this handle last inserted into a leaf in place, or the one its last seek
// stopped on there. While the slot's block has not changed since, every record before it is
// below it, so a search for a greater key may start after it.
struct ClamLeafHint {
    ClamCacheSlot* slot;
    std::uint32_t version;  // the slot's version when the hint was taken
    std::uint16_t end;      // where the record ends
    std::uint16_t value;
    std::size_t keyLength;
    bool plain;  // the key holds no byte from 1 to 4
    std::array<char, kClamKeyBufferSize> key;
};

// The last word that ClamFindWord encoded and looked up, so that adding the same word right
// after needs no second encoding and transcription.
struct ClamWordMemo {
    bool valid;
    int wordClass;
    std::array<char, 64> word;
    std::array<char, 128> encoded;
    std::array<char, kClamPhoneticKeyCapacity> phoneticKey;
};

// One open clam file. Allocated zero-filled by the open operations, freed by ClamClose.
struct ClamHandle {
    std::uint8_t languageCode;
    std::uint8_t formatVersion;
    std::uint16_t flags;
    std::int64_t fd;
    std::uint32_t blockCount;  // blocks in use; also the number of the next new block
    std::uint8_t* block;       // current block, inside the cache
    std::uint8_t* cursor;      // next record to read in `block`
    std::int32_t savedOffset;  // enumeration: cursor offset in the saved block
    std::int32_t savedBlock;   // enumeration: saved block, -1 for none
    std::array<char, kClamSavedKeySize> savedKey;
    std::uint32_t wordsRead;
    ClamBlockCache* cache;  // not owned
    ClamPhonEnv* phonEnv;   // not owned
    std::array<char, 3> probeKey;
    std::int32_t usedBytes;     // used length of `block`
    std::uint32_t value;        // value of the current record
    std::uint8_t* recordStart;  // start of the current record
    std::uint32_t currentBlock;
    std::array<char, kClamKeyBufferSize> key;  // key of the current record
    char* keyEnd;                              // the NUL that ends `key`
    std::array<char, kClamKeyBufferSize> prevKey;
    std::uint32_t variantMatch;
    std::uint32_t rootBlock;  // always 0
    std::int32_t language;
    ClamSeekMemo seekMemo;
    ClamLeafFinger leafFinger;
    ClamCacheSlot* slot;  // the slot of `block`
    ClamLeafHint leafHint;
    ClamWordMemo wordMemo;
    // The enumeration's cursor is still where ClamNextWord saved it: nothing was loaded or
    // read through the handle since, and the cache has served no request (savedRequests).
    bool atSavedPosition;
    std::uint32_t savedRequests;
};

// Copies a key of `length` bytes and its NUL between key buffers. A short key moves as one
// fixed block, which both buffers always hold, without a call.
inline constexpr std::size_t kClamShortKeyCopy = 32;
template <std::size_t To, std::size_t From>
void ClamCopyKey(std::array<char, To>& to, const std::array<char, From>& from, std::size_t length) {
    static_assert(To >= kClamShortKeyCopy && From >= kClamShortKeyCopy);
    if (length < kClamShortKeyCopy) {
        std::memcpy(to.data(), from.data(), kClamShortKeyCopy);
    } else {
        std::memcpy(to.data(), from.data(), std::min({length + 1, To, From}));
    }
}

// --- Little-endian fields -------------------------------------------------------------
inline std::uint16_t ClamGetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline void ClamPutU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
inline std::size_t ClamUsedLength(const std::uint8_t* block) {
    return ClamGetU16(block + 2) & kClamUsedMask;
}
inline bool ClamIsLeaf(const std::uint8_t* block) {
    return (ClamGetU16(block + 2) & kClamLeafBit) != 0;
}

// --- Records --------------------------------------------------------------------------
// Outcome of decoding one record of a block.
enum class ClamRecordStep { kRecord, kEnd, kDamaged };

// Decodes the record at `offset` of a block (or image) whose records end at `used`,
// against the key in `key` of length `keyLength`, which it updates. A record that does not
// lie wholly within `used` and the buffer, drops more than the key holds, or makes a key
// longer than kClamMaxKeyLength is damaged; nothing outside the buffers is touched then.
ClamRecordStep ClamDecodeRecord(std::span<const std::uint8_t> bytes, std::size_t used,
                                std::size_t& offset, std::array<char, kClamKeyBufferSize>& key,
                                std::size_t& keyLength, std::uint16_t& value);

// The size of the record that ClamEncodeRecord writes for `key` after `prevKey`.
std::size_t ClamEncodedRecordSize(const char* prevKey, const char* key);

// The size of a record whose tail with its NUL has `tailWithNul` bytes (a pad byte follows
// an even count).
std::size_t ClamRecordSize(std::size_t tailWithNul);

// Writes one record from its parts (the tail without its NUL) and returns the position after
// it. The caller provides room for ClamRecordSize(tailLength + 1) bytes.
std::uint8_t* ClamPutRecord(std::uint8_t* out, std::uint32_t value, std::size_t drop,
                            const char* tail, std::size_t tailLength);

// Decodes the record at the handle's cursor: 1, or 0 at the end of the block (value 0).
// A damaged record marks the handle failed and gives 0.
int ClamReadRecord(ClamHandle* handle);

// Writes one record (value, drop, tail, pad) at `out` and returns the position after it.
// With a null previous key the record carries the whole key. The caller provides room for
// ClamEncodedRecordSize bytes.
std::uint8_t* ClamEncodeRecord(std::uint8_t* out, std::uint32_t value, const char* prevKey,
                               const char* key);

// --- Opening and closing --------------------------------------------------------------
ClamHandle* ClamOpenFile(const std::wstring& path, std::uint32_t mode, ClamBlockCache* cache,
                         ClamPhonEnv* env, int* status);
ClamHandle* ClamOpenDescriptor(int fd, std::uint32_t mode, ClamBlockCache* cache, ClamPhonEnv* env,
                               int* status);
// 1 when every changed block reached the file; the handle is freed in every case.
[[nodiscard]] int ClamClose(ClamHandle* handle);
// Sets blockCount from the file; 0 when it holds no block in use or cannot be read.
int ClamFindLastBlock(ClamHandle* handle);
// Writes back (unless failed) and frees the handle without closing its descriptor.
[[nodiscard]] int ClamFreeHandle(ClamHandle* handle);

// --- Insertion ------------------------------------------------------------------------
// Stores the key of an encoded word with its value; 1 when stored.
[[nodiscard]] int ClamInsertKey(const char* word, std::uint32_t value, ClamHandle* handle);
// The same for an encoded form without marker bytes, given its phonetic key.
[[nodiscard]] int ClamInsertKeyFromKey(const char* word, const char* phoneticKey,
                                       std::uint32_t value, ClamHandle* handle);
// Stores an already built stored key. Refuses (0, nothing changed) a key that is not above
// the sentinel, is longer than kClamMaxKeyLength, or whose insertion would need a seventh
// tree level, a block number of 0xFFFF or more, or a block part longer than a block.
[[nodiscard]] int ClamInsertStoredKey(ClamHandle* handle, const char* key, std::uint32_t value);
// Appends `count` zero blocks after the blocks in use, writing each at once.
int ClamReserveBlocks(ClamHandle* handle, std::uint32_t count);
