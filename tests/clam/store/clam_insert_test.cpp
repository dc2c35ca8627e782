// Insertion, splits and their bounds, and failed calls in the middle of splits and closes.
#include "store_fixture.h"
#include "support/env_files.h"

namespace store_test {
namespace {

using InsertTest = StoreTest;
using testing_support::Bytes;

std::size_t RootUsed(ClamHandle* h) {
    return ClamUsedLength(ClamGetBlock(h->cache, 0, h->fd, kClamModeRead));
}

TEST_F(InsertTest, RecordsAreFrontCodedAndEqualKeysReplacedWithTheirFollowerCodedAgain) {
    ClamHandle* handle = Open("i.clam", kClamCreate);
    const std::string marked = "BB\x01" + std::string("cat");
    // Equal in key order (marker codes do not count): key bytes and value are replaced, and
    // the follower is coded against the new key; the last record has no follower.
    const std::pair<std::string, std::uint16_t> inserts[] = {
        {"BBcow", 2},     {"BBcat", 1}, {"BBdog", 4}, {marked, 5},
        {"BBdo\x02g", 6}, {"BBeel", 7}, {"BBco", 8}};
    for (const auto& [key, value] : inserts) ASSERT_EQ(Insert(handle, key, value), 1);
    // Value, drop, tail and its NUL, and a pad byte after an even tail.
    const std::string root = Bytes(
        "<06><01><30><80><00><00><00>AA<00><05><00><02>BB<01>cat<00><08><00><04>co<00>"
        "<02><00><00>w<00><00><06><00><03>do<02>g<00><07><00><04>eel<00><00>");
    const std::uint8_t* block = ClamGetBlock(cache_, 0, handle->fd, kClamModeRead);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block), root.size()), root);
    // Nothing at or below the sentinel, nothing longer than 197 bytes.
    for (const std::string& key :
         {std::string("AA"), std::string("A"), "BB" + std::string(kClamMaxKeyLength - 1, 'x')}) {
        EXPECT_EQ(Insert(handle, key), 0) << key.size();
    }
    EXPECT_EQ(Insert(handle, "BB" + std::string(kClamMaxKeyLength - 2, 'x')), 1);
    EXPECT_EQ(ClamClose(handle), 1);
    Verify("i.clam");
}

TEST_F(InsertTest, ABlockTakesItsLastByteAndTheFirstSplitHasItsShapeAndBlockNumbers) {
    ClamHandle* handle = Open("s.clam", kClamCreate);
    // Ascending keys in records of 6 to 8 bytes, then one that takes exactly the room left.
    auto ascending = [](int n) { return "BB" + std::to_string(100000 + n); };
    int n = 0;
    while (RootUsed(handle) + 14 <= kClamBlockSize) ASSERT_EQ(Insert(handle, ascending(n++)), 1);
    const std::size_t room = kClamBlockSize - RootUsed(handle);
    ASSERT_EQ(Insert(handle, ascending(n - 1) + std::string(room - 4, 'z')), 1);
    EXPECT_EQ(RootUsed(handle), kClamBlockSize);
    // As if the file were nearly full: the root split needs two new blocks, the second 0xFFFF.
    handle->blockCount = kClamMaxBlocks - 1;
    FaultPlatform fault;
    EXPECT_EQ(Through(fault, [&] { return Insert(handle, "BC", 3); }), 0);
    EXPECT_EQ(handle->blockCount, kClamMaxBlocks - 1);
    EXPECT_EQ(fault.Calls(Op::kWrite) + (handle->flags & kClamFailed), 0);
    handle->blockCount = 1;
    ASSERT_EQ(Through(fault, [&] { return Insert(handle, "BC", 3); }), 1);
    std::string writes;
    for (const auto& e : fault.Events()) {
        if (e.op == Op::kWrite) writes += std::to_string(e.offset / 1024);
    }
    // Two reserved blocks, the right part, the moved left part, then the new root.
    EXPECT_EQ(writes, "12120");
    ASSERT_EQ(ClamClose(handle), 1);
    // Three blocks, two levels: a root of two records over leaves chained 2, 1, end.
    const ClamVerifyReport report = Verify("s.clam");
    EXPECT_EQ(std::pair(report.blocks, report.depth), std::pair(3u, 2u));
    EXPECT_EQ(report.liveRecords, n + 2u);
    const std::string file = FileBytes("s.clam");
    const auto* left = reinterpret_cast<const std::uint8_t*>(file.data()) + 2 * kClamBlockSize;
    EXPECT_EQ(ClamGetU16(left), 1u);
    EXPECT_LE(ClamUsedLength(left), 512u);  // split at byte 512
}

TEST_F(InsertTest, ARightPartLongerThanABlockIsRefusedWithNothingChanged) {
    // Keys that share 192 bytes: each after the first is stored in 6 bytes.
    auto shared = [](int i) {
        return "BB" + std::string(192, 'm') + char('a' + i / 13) + char('a' + 2 * (i % 13));
    };
    ClamHandle* handle = Open("r.clam", kClamCreate);
    for (int i = 0; RootUsed(handle) + 6 <= kClamBlockSize;)
        ASSERT_EQ(Insert(handle, shared(i++)), 1);
    ASSERT_EQ(ClamClose(handle), 1);
    const std::string before = FileBytes("r.clam");
    // Sorts between two neighbours but shares only its class bytes with them: it takes 200
    // bytes, its follower is written out in full, and the right part would outgrow a block.
    std::string between = shared(100);
    ++between.back();
    handle = Open("r.clam");
    EXPECT_EQ(Insert(handle, between.insert(2, 1, '\x01')), 0);
    EXPECT_EQ(handle->flags & kClamFailed, 0);
    EXPECT_EQ(ClamClose(handle), 1);
    EXPECT_EQ(FileBytes("r.clam"), before);
}

TEST_F(InsertTest, RandomLongKeysFillSixLevelsAndThenAreRefused) {
    ClamHandle* handle = Open("big.clam", kClamCreate);
    std::mt19937 rng(5);
    Records stored;
    for (int n = 0; n < 40000; ++n) {  // far more than six levels take
        const std::string key = RandomKey(rng, kClamMaxKeyLength);
        const auto value = static_cast<std::uint16_t>(1 + rng() % 20);
        if (Insert(handle, key, value) == 0) break;
        stored[key] = value;
    }
    const std::uint32_t blocks = handle->blockCount;
    EXPECT_EQ(handle->flags & kClamFailed, 0);
    ASSERT_EQ(ClamClose(handle), 1);
    const ClamVerifyReport report = Verify("big.clam");
    EXPECT_EQ(report.depth, kClamMaxLevels);
    EXPECT_EQ(report.blocks, blocks);
    EXPECT_EQ(report.liveRecords, stored.size());
    EXPECT_EQ(Contents("big.clam"), stored);
}

// Each insertion that splits is repeated on a copy of the file once for every read and write
// it makes, failing that call: a read failure fails the handle; after a write failure the
// handle is either failed or still takes the key; the file loses no record either way. An
// insertion that does not split is repeated with the write of its leaf at the close failing.
TEST_F(InsertTest, AFailedCallAnywhereInASplitOrACloseLosesNoRecord) {
    ClamClose(Open("base.clam", kClamCreate));
    std::mt19937 rng(17);
    int splits = 0;
    for (int i = 0; i < 400 && !HasFatalFailure(); ++i) {
        const std::string key = RandomKey(rng, 40 + rng() % 30);
        const std::string base = FileBytes("base.clam");
        FaultPlatform count;
        ClamHandle* handle = Open("base.clam");
        ASSERT_EQ(Through(count, [&] { return Insert(handle, key, 9); }), 1);
        ASSERT_EQ(ClamClose(handle), 1);
        WriteFile("f.clam", base);
        const Records before = Contents("f.clam");
        if (count.Calls(Op::kWrite) == 0) {  // no split: the leaf is written at the close
            handle = Open("f.clam");
            ASSERT_EQ(Insert(handle, key, 9), 1);
            FaultPlatform fault;
            fault.FailNth(Op::kWrite, 1);
            EXPECT_EQ(Through(fault, [&] { return ClamClose(handle); }), 0);
            EXPECT_EQ(FileBytes("f.clam"), base);
            continue;
        }
        ++splits;
        for (const Op op : {Op::kRead, Op::kWrite}) {
            for (int n = 1; n <= count.Calls(op); ++n) {
                SCOPED_TRACE(std::to_string(n) + (op == Op::kRead ? ". read" : ". write"));
                WriteFile("f.clam", base);
                handle = Open("f.clam");
                FaultPlatform fault;
                fault.FailNth(op, n);
                EXPECT_EQ(Through(fault, [&] { return Insert(handle, key, 9); }), 0);
                const bool failed = (handle->flags & kClamFailed) != 0;
                EXPECT_TRUE(failed || op == Op::kWrite);
                EXPECT_TRUE(failed || Insert(handle, key, 9) == 1);
                EXPECT_EQ(ClamClose(handle), failed ? 0 : 1);
                const Records after = Contents("f.clam");
                EXPECT_TRUE(
                    std::includes(after.begin(), after.end(), before.begin(), before.end()));
                if (!failed) {
                    EXPECT_EQ(Verify("f.clam").liveRecords, before.size() + 1);
                }
            }
        }
    }
    EXPECT_GE(Verify("base.clam").depth, 3u);  // index roots split too
    EXPECT_GE(splits, 20);
}

}  // namespace
}  // namespace store_test
