// Insertion, splits and their bounds, and failed calls in the middle of splits and closes.
#include <vector>

#include "store_fixture.h"

namespace store_test {
namespace {

class InsertTest : public StoreTest {
  protected:
    std::size_t RootUsed(ClamHandle* h) {
        return ClamUsedLength(ClamGetBlock(cache_, 0, h->fd, kClamModeRead));
    }
    // Fills the root leaf of a new file with keys(0), keys(1)... while `fits` says so.
    template <class Keys, class Fits>
    int Fill(ClamHandle* h, Keys keys, Fits fits) {
        int i = 0;
        while (fits(RootUsed(h)) && Insert(h, keys(i)) == 1) ++i;
        EXPECT_EQ(h->blockCount, 1u);
        return i;
    }
    // The file keeps every record of `before`, and holds `added` unless it is empty.
    void ExpectKept(const std::string& name, const Records& before, const std::string& added) {
        const Records after = Contents(name);
        for (const auto& [key, value] : before) {
            const auto it = after.find(key);
            ASSERT_TRUE(it != after.end() && it->second == value) << "lost " << key;
        }
        EXPECT_TRUE(added.empty() || after.count(added) == 1) << added;
    }
};

// Keys of 20 bytes, ascending: "BB", fourteen k, and four letters counting up.
std::string Ascending(int i) {
    std::string key = "BB" + std::string(14, 'k');
    for (int d = 0; d < 4; ++d, i /= 26) key.insert(16, 1, static_cast<char>('a' + i % 26));
    return key;
}

TEST_F(InsertTest, EqualKeysReplaceTheirRecordAndTheFollowerIsCodedAgain) {
    ClamHandle* handle = Open("i.clam", kClamCreate);
    const std::string marked = "BB\x01" + std::string("cat");
    // Equal in key order (marker codes do not count): key bytes and value are replaced, and
    // the follower is coded against the new key; the last record has no follower.
    const std::pair<std::string, std::uint16_t> inserts[] = {
        {"BBcow", 2}, {"BBcat", 1}, {"BBdog", 4}, {marked, 5}, {"BBdo\x02g", 6}, {"BBeel", 7}};
    for (const auto& [key, value] : inserts) ASSERT_EQ(Insert(handle, key, value), 1);
    EXPECT_EQ(ReadAll(handle),
              (Records{{marked, 5}, {"BBcow", 2}, {"BBdo\x02g", 6}, {"BBeel", 7}}));
    // Nothing at or below the sentinel, nothing longer than 197 bytes.
    for (const std::string& key :
         {std::string("AA"), std::string("A"), "BB" + std::string(kClamMaxKeyLength - 1, 'x')}) {
        EXPECT_EQ(Insert(handle, key), 0) << key.size();
    }
    EXPECT_EQ(Insert(handle, "BB" + std::string(kClamMaxKeyLength - 2, 'x')), 1);
    EXPECT_EQ(ClamClose(handle), 1);
    Verify("i.clam");
}

TEST_F(InsertTest, ABlockTakesItsLastByteAndTheFirstSplitHasItsShape) {
    ClamHandle* handle = Open("s.clam", kClamCreate);
    // Records of 6 or 8 bytes, then one that takes exactly the room left.
    const int n = Fill(handle, Ascending, [](std::size_t used) { return used + 14 <= 1024; });
    const std::size_t room = kClamBlockSize - RootUsed(handle);
    ASSERT_EQ(Insert(handle, Ascending(n - 1) + std::string(room - 4, 'z')), 1);
    EXPECT_EQ(RootUsed(handle), kClamBlockSize);
    EXPECT_EQ(handle->blockCount, 1u);
    FaultPlatform fault;
    ASSERT_EQ(Through(fault, [&] { return Insert(handle, "BC", 3); }), 1);
    std::string writes;
    for (const auto& e : fault.Events()) {
        if (e.op == Op::kWrite) writes += std::to_string(e.offset / 1024);
    }
    // Two reserved blocks, the right part, the moved left part, then the new root.
    EXPECT_EQ(writes, "12120");
    ASSERT_EQ(ClamClose(handle), 1);
    const ClamVerifyReport report = Verify("s.clam");
    EXPECT_EQ(report.depth, 2u);
    EXPECT_EQ(report.liveRecords, n + 2u);

    handle = Open("s.clam", kClamReadOnly);
    auto load = [&](std::uint32_t block) {  // gives the block's link
        EXPECT_EQ(ClamLoadBlock(handle, block, kClamModeRead), 1);
        return ClamGetU16(handle->block);
    };
    EXPECT_EQ(load(1), kClamNoLink);  // the right part, at block 1
    ASSERT_EQ(ClamReadRecord(handle), 1);
    const std::string firstRight = handle->key.data();
    EXPECT_EQ(load(2), 1u);  // the left part, at block 2
    EXPECT_LE(handle->usedBytes, 512);
    load(0);
    std::string root;
    while (ClamReadRecord(handle) == 1) root += handle->key.data() + std::to_string(handle->value);
    EXPECT_EQ(root, "AA2" + firstRight + "1");
    ClamClose(handle);
}

TEST_F(InsertTest, ARightPartLongerThanABlockIsRefusedWithNothingChanged) {
    // Keys that share 192 bytes: each after the first is stored in 6 bytes.
    auto shared = [](int i) {
        return "BB" + std::string(192, 'm') + char('a' + i / 13) + char('a' + 2 * (i % 13));
    };
    ClamHandle* handle = Open("r.clam", kClamCreate);
    Fill(handle, shared, [](std::size_t used) { return used + 6 <= 1024; });
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

TEST_F(InsertTest, BlockNumbersStopShortOfSixteenBits) {
    ClamHandle* handle = Open("n.clam", kClamCreate);
    const int n = Fill(handle, Ascending, [](std::size_t used) { return used + 14 <= 1024; });
    // As if the file were nearly full: a root split needs two new blocks, the second 0xFFFF.
    handle->blockCount = kClamMaxBlocks - 1;
    FaultPlatform fault;
    EXPECT_EQ(Through(fault, [&] { return Insert(handle, Ascending(n) + "zzzzzzzz"); }), 0);
    EXPECT_EQ(fault.Calls(Op::kWrite), 0);
    EXPECT_EQ(handle->blockCount, kClamMaxBlocks - 1);
    EXPECT_EQ(handle->flags & kClamFailed, 0);
    handle->blockCount = 1;
    EXPECT_EQ(ClamClose(handle), 1);
}

TEST_F(InsertTest, RandomKeysMakeAWellFormedTreeOfAtMostSixLevels) {
    const struct {
        std::size_t minLength, lengths;
        int count;
        bool refuses;
    } runs[] = {
        {3, 28, 100000, false},  // many short keys: every one is stored
        {197, 1, 40000, true},   // the longest keys: six levels fill up, then a refusal
    };
    std::mt19937 rng(5);
    for (const auto& run : runs) {
        SCOPED_TRACE(run.minLength);
        ClamHandle* handle = Open("big.clam", kClamCreate);
        Records stored;
        std::uint32_t blocksAtRefusal = 0;
        for (int n = 0; n < run.count && blocksAtRefusal == 0; ++n) {
            const std::string key = RandomKey(rng, run.minLength + rng() % run.lengths);
            const auto value = static_cast<std::uint16_t>(1 + rng() % 20);
            if (Insert(handle, key, value) == 1) {
                stored[key] = value;
            } else {
                blocksAtRefusal = handle->blockCount;
            }
        }
        EXPECT_EQ(blocksAtRefusal != 0, run.refuses);
        EXPECT_EQ(handle->flags & kClamFailed, 0);
        for (const auto& [key, value] : stored) {
            ASSERT_EQ(ClamSeekKey(handle, key.c_str(), 0), 1) << key;
            ASSERT_EQ(handle->value, value) << key;
        }
        ASSERT_EQ(ClamClose(handle), 1);
        const ClamVerifyReport report = Verify("big.clam");
        EXPECT_EQ(report.liveRecords, stored.size());
        if (blocksAtRefusal != 0) {
            EXPECT_EQ(report.depth, kClamMaxLevels);
            EXPECT_EQ(report.blocks, blocksAtRefusal);
        }
        EXPECT_EQ(Contents("big.clam"), stored);
    }
}

// Each insertion that splits is repeated on a copy of the file once for every read and write
// it makes, failing that call: a read failure fails the handle; after a write failure the
// handle is either failed or still takes the key; the file loses no record either way.
TEST_F(InsertTest, AFailedCallAnywhereInASplitLosesNoRecord) {
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
        if (count.Calls(Op::kWrite) == 0) continue;  // no split: nothing written yet
        ++splits;
        WriteFile("f.clam", base);
        const Records before = Contents("f.clam");
        for (const Op op : {Op::kRead, Op::kWrite}) {
            for (int n = 1; n <= count.Calls(op); ++n) {
                SCOPED_TRACE(std::to_string(n) + (op == Op::kRead ? ". read" : ". write"));
                WriteFile("f.clam", base);
                handle = Open("f.clam");
                const std::int64_t fd = handle->fd;
                FaultPlatform fault;
                fault.FailNth(op, n);
                EXPECT_EQ(Through(fault, [&] { return Insert(handle, key, 9); }), 0);
                const bool failed = (handle->flags & kClamFailed) != 0;
                EXPECT_TRUE(failed || op == Op::kWrite);
                EXPECT_TRUE(failed || Insert(handle, key, 9) == 1);
                EXPECT_EQ(ClamClose(handle), failed ? 0 : 1);
                EXPECT_EQ(SlotsOf(fd), 0);
                ExpectKept("f.clam", before, failed ? "" : key);
                if (!failed) Verify("f.clam");
            }
        }
    }
    EXPECT_GE(Verify("base.clam").depth, 3u);  // index roots split too
    EXPECT_GE(splits, 20);
}

TEST_F(InsertTest, AFailedWriteAnywhereInACloseKeepsAWholeTree) {
    ClamHandle* handle = Open("base.clam", kClamCreate);
    std::mt19937 rng(23);
    for (int i = 0; i < 150; ++i) Insert(handle, RandomKey(rng, 30));
    ASSERT_EQ(ClamClose(handle), 1);
    const std::string base = FileBytes("base.clam");
    const Records before = Contents("base.clam");
    std::vector<std::string> added(40);
    for (std::string& key : added) key = RandomKey(rng, 30);
    int writes = 0;
    for (int n = 0; n <= writes; ++n) {  // n = 0: no failure, to count the writes
        SCOPED_TRACE(n);
        WriteFile("f.clam", base);
        handle = Open("f.clam");
        for (const std::string& key : added) ASSERT_EQ(Insert(handle, key, 2), 1);
        const std::int64_t fd = handle->fd;
        FaultPlatform fault;
        fault.FailNth(Op::kWrite, n);
        EXPECT_EQ(Through(fault, [&] { return ClamClose(handle); }), n == 0 ? 1 : 0);
        if (n == 0) writes = fault.Calls(Op::kWrite);
        EXPECT_EQ(fault.Calls(Op::kWrite), writes);  // the other blocks still went out
        EXPECT_EQ(SlotsOf(fd), 0);
        Verify("f.clam");
        ExpectKept("f.clam", before, "");
    }
    EXPECT_GE(writes, 3);
}

}  // namespace
}  // namespace store_test
