#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "store_fixture.h"
#include "support/fault_platform.h"

namespace store_test {
namespace {

using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;

std::uint32_t Link(const std::string& file, std::uint32_t block) {
    return ClamGetU16(reinterpret_cast<const std::uint8_t*>(file.data()) + block * kClamBlockSize);
}

std::vector<std::pair<std::string, std::uint16_t>> RecordsOf(const std::string& file,
                                                             std::uint32_t block,
                                                             std::size_t* used = nullptr) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data()) + block * kClamBlockSize;
    std::vector<std::pair<std::string, std::uint16_t>> records;
    std::array<char, kClamKeyBufferSize> key{};
    std::size_t keyLength = 0;
    std::size_t offset = kClamHeaderSize;
    std::uint16_t value = 0;
    while (ClamDecodeRecord({bytes, kClamBlockSize}, ClamUsedLength(bytes), offset, key, keyLength,
                            value) == ClamRecordStep::kRecord) {
        records.emplace_back(key.data(), value);
    }
    if (used != nullptr) *used = ClamUsedLength(bytes);
    return records;
}

std::size_t RootUsed(ClamHandle* handle) {
    return ClamUsedLength(ClamGetBlock(handle->cache, 0, handle->fd, kClamModeRead));
}

// Keys of 20 bytes, ascending: "BB" and 18 letters.
std::string Ascending(int i) {
    std::string key = "BB" + std::string(14, 'k');
    for (int d = 0; d < 4; ++d, i /= 26) key.insert(16, 1, static_cast<char>('a' + i % 26));
    return key;
}

TEST_F(StoreTest, InsertingPlacesRecordsInOrderAndReplacesEqualKeys) {
    ClamHandle* handle = Create("i.clam");
    ASSERT_EQ(Insert(handle, "BBcow", 2), 1);
    // Drop 2 from the sentinel's key, "BBcow" and its NUL, a pad byte.
    EXPECT_EQ(RootUsed(handle), 10u + 10u);
    ASSERT_EQ(Insert(handle, "BBcat", 1), 1);
    ASSERT_EQ(Insert(handle, "BBdog", 4), 1);
    // Equal in key order (marker codes do not count): the record, key bytes and value, is
    // replaced, and the follower is re-encoded against the new key.
    ASSERT_EQ(Insert(handle,
                     "BB\x01"
                     "cat",
                     5),
              1);
    ASSERT_EQ(Insert(handle, "BBdo\x02g", 6), 1);  // the last record: nothing follows it
    handle->savedBlock = 4;
    ASSERT_EQ(Insert(handle, "BBeel", 7), 1);
    EXPECT_EQ(handle->savedBlock, -1);  // an insertion ends an enumeration
    EXPECT_EQ(ReadAll(handle), (std::vector<std::pair<std::string, std::uint16_t>>{{"BB\x01"
                                                                                    "cat",
                                                                                    5},
                                                                                   {"BBcow", 2},
                                                                                   {"BBdo\x02g", 6},
                                                                                   {"BBeel", 7}}));
    EXPECT_EQ(Insert(handle, "AA", 9), 0);  // never above the sentinel
    EXPECT_EQ(Insert(handle, "A", 9), 0);
    EXPECT_EQ(Insert(handle, "BB" + std::string(kClamMaxKeyLength - 1, 'x'), 9), 0);
    EXPECT_EQ(Insert(handle, "BB" + std::string(kClamMaxKeyLength - 2, 'x'), 9), 1);
    EXPECT_EQ(ClamClose(handle), 1);
    const std::string file = Bytes("i.clam");
    EXPECT_TRUE(Verify("i.clam").problems.empty());
    EXPECT_EQ(RecordsOf(file, 0).size(), 6u);
}

TEST_F(StoreTest, AnImageOfExactlyOneBlockFitsAndTheFirstSplitHasItsShape) {
    ClamHandle* handle = Create("s.clam");
    // 20-byte keys in order (6 or 8 bytes each after the first), then one whose record takes
    // exactly the room that is left.
    int i = 0;
    while (RootUsed(handle) + 6 + 8 <= kClamBlockSize) {
        ASSERT_EQ(Insert(handle, Ascending(i++), 1), 1);
    }
    const std::size_t room = kClamBlockSize - RootUsed(handle);
    ASSERT_EQ(Insert(handle, Ascending(i - 1) + std::string(room - 4, 'z'), 1), 1);
    EXPECT_EQ(RootUsed(handle), kClamBlockSize);
    EXPECT_EQ(handle->blockCount, 1u);
    ASSERT_EQ(ClamClose(handle), 1);

    FaultPlatform fault;
    ScopedPlatform use(fault);
    handle = Open("s.clam");
    fault.ClearEvents();
    ASSERT_EQ(Insert(handle, "BC", 3), 1);
    std::vector<std::int64_t> writes;
    for (const auto& e : fault.Events()) {
        if (e.op == Op::kWrite)
            writes.push_back(e.offset / static_cast<std::int64_t>(kClamBlockSize));
    }
    // Two reserved blocks, the right part, the moved left part, then the new root.
    EXPECT_EQ(writes, (std::vector<std::int64_t>{1, 2, 1, 2, 0}));
    EXPECT_EQ(handle->blockCount, 3u);
    ASSERT_EQ(ClamClose(handle), 1);

    const std::string file = Bytes("s.clam");
    ASSERT_EQ(file.size(), 3 * kClamBlockSize);
    const auto root = RecordsOf(file, 0);
    ASSERT_EQ(root.size(), 2u);
    EXPECT_EQ(root[0], (std::pair<std::string, std::uint16_t>{"AA", 2}));
    EXPECT_EQ(root[1].second, 1);
    EXPECT_FALSE(ClamIsLeaf(reinterpret_cast<const std::uint8_t*>(file.data())));
    EXPECT_EQ(file[0], 6);
    EXPECT_EQ(file[1], 1);
    std::size_t leftUsed = 0;
    const auto left = RecordsOf(file, 2, &leftUsed);
    const auto right = RecordsOf(file, 1);
    EXPECT_LE(leftUsed, 512u);
    EXPECT_EQ(left.front().first, "AA");
    EXPECT_EQ(right.front().first, root[1].first);
    EXPECT_EQ(file[kClamBlockSize + 6], 0);  // the right part starts with drop 0
    EXPECT_EQ(Link(file, 2), 1u);
    EXPECT_EQ(Link(file, 1), kClamNoLink);
    EXPECT_EQ(left.size() + right.size(), static_cast<std::size_t>(i) + 2 + 1);
    const ClamVerifyReport report = Verify("s.clam");
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    EXPECT_EQ(report.depth, 2u);
}

// Long keys that share 192 bytes; each after the first is stored in 6 bytes.
std::string SharedPrefixKey(int i) {
    return "BB" + std::string(192, 'm') + static_cast<char>('a' + i / 13) +
           static_cast<char>('a' + 2 * (i % 13));
}

TEST_F(StoreTest, ARightPartLongerThanABlockIsRefusedWithNothingChanged) {
    ClamHandle* handle = Create("r.clam");
    int i = 0;
    while (RootUsed(handle) + 6 <= kClamBlockSize) {
        ASSERT_EQ(Insert(handle, SharedPrefixKey(i++), 1), 1);
    }
    ASSERT_EQ(ClamClose(handle), 1);
    const std::string before = Bytes("r.clam");
    handle = Open("r.clam");
    ASSERT_NE(handle, nullptr);
    // Sorts between two neighbours but shares only its class bytes with them: it takes ~200
    // bytes, its follower is rewritten in full, and the split's right part would need more
    // than a block.
    std::string between = SharedPrefixKey(100);
    between.back() = static_cast<char>(between.back() + 1);
    between.insert(2, 1, '\x01');
    EXPECT_EQ(Insert(handle, between, 1), 0);
    EXPECT_EQ(handle->flags & kClamFailed, 0);
    EXPECT_EQ(handle->blockCount, 1u);
    EXPECT_EQ(ClamClose(handle), 1);
    EXPECT_EQ(Bytes("r.clam"), before);
    handle = Open("r.clam");
    EXPECT_EQ(Insert(handle, "BCshort", 2), 1);
    ASSERT_EQ(ClamClose(handle), 1);
    EXPECT_TRUE(Verify("r.clam").problems.empty());
    auto contents = Contents("r.clam");
    EXPECT_EQ(contents.size(), static_cast<std::size_t>(i) + 1);
    EXPECT_EQ(contents.count(between), 0u);
}

TEST_F(StoreTest, BlockNumbersStopShortOfSixteenBits) {
    ClamHandle* handle = Create("n.clam");
    int i = 0;
    while (handle->blockCount == 1) ASSERT_EQ(Insert(handle, Ascending(i++), 1), 1);
    ASSERT_EQ(ClamClose(handle), 1);
    handle = Open("n.clam");
    // Pretend the file is full: the next split would need block 0xFFFF.
    const std::uint32_t real = handle->blockCount;
    handle->blockCount = kClamMaxBlocks;
    FaultPlatform fault;
    {
        ScopedPlatform use(fault);
        int refused = 0;
        for (int n = 0; n < 200 && refused == 0; ++n)
            refused += Insert(handle, Ascending(i++), 1) == 0;
        EXPECT_EQ(refused, 1);
        EXPECT_EQ(fault.Calls(Op::kWrite), 0);
        EXPECT_EQ(handle->blockCount, kClamMaxBlocks);
        EXPECT_EQ(handle->flags & kClamFailed, 0);
    }
    handle->blockCount = real;
    ClamClose(handle);
}

TEST_F(StoreTest, ATreeThatWouldNeedASeventhLevelRefusesTheKey) {
    ClamHandle* handle = Create("deep.clam");
    std::mt19937 rng(11);
    std::map<std::string, std::uint16_t> stored;
    std::uint32_t blocksAtRefusal = 0;
    for (int n = 0; n < 40000; ++n) {
        const std::string key = RandomKey(rng, kClamMaxKeyLength);
        if (Insert(handle, key, 1) == 0) {
            blocksAtRefusal = handle->blockCount;
            break;
        }
        stored[key] = 1;
    }
    ASSERT_NE(blocksAtRefusal, 0u) << "no refusal";
    EXPECT_EQ(handle->flags & kClamFailed, 0);
    for (const auto& [key, value] : stored) ASSERT_TRUE(Finds(handle, key)) << key;
    ASSERT_EQ(ClamClose(handle), 1);
    const ClamVerifyReport report = Verify("deep.clam");
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    EXPECT_EQ(report.depth, kClamMaxLevels);
    EXPECT_EQ(report.blocks, blocksAtRefusal);
    EXPECT_EQ(Contents("deep.clam"), stored);
}

TEST_F(StoreTest, ManyRandomKeysMakeAWellFormedTreeThatFindsAndListsThemAll) {
    ClamHandle* handle = Create("big.clam");
    std::mt19937 rng(5);
    std::map<std::string, std::uint16_t> stored;
    for (int n = 0; n < 100000; ++n) {
        const std::string key = RandomKey(rng, 3 + rng() % 28);
        const auto value = static_cast<std::uint16_t>(1 + rng() % 20);
        ASSERT_EQ(Insert(handle, key, value), 1) << n;
        stored[key] = value;
    }
    ASSERT_EQ(ClamClose(handle), 1);
    const ClamVerifyReport report = Verify("big.clam");
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
    EXPECT_EQ(report.liveRecords, stored.size());
    handle = Open("big.clam", kClamReadOnly);
    ASSERT_NE(handle, nullptr);
    const auto listed = ReadAll(handle);
    const std::vector<std::pair<std::string, std::uint16_t>> expected(stored.begin(), stored.end());
    EXPECT_TRUE(listed == expected);
    for (const auto& [key, value] : stored) {
        std::uint16_t found = 0;
        ASSERT_TRUE(Finds(handle, key, &found)) << key;
        EXPECT_EQ(found, value);
    }
    EXPECT_FALSE(Finds(handle, "BBnotakeyatall"));
    EXPECT_EQ(ClamClose(handle), 1);
}

}  // namespace
}  // namespace store_test
