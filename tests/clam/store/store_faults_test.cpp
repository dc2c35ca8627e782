// Failed reads and writes at every point of insertions and closes: the handle behaves as
// promised (usable after a failure that changed nothing, failed otherwise), and the file
// never loses a word it held before the call.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "store_fixture.h"
#include "support/fault_platform.h"

namespace store_test {
namespace {

using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;

using Contents_t = std::map<std::string, std::uint16_t>;

bool NoSlotOf(const ClamBlockCache* cache, std::int64_t fd) {
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i) {
        if (cache->slots[i].fd == fd) return false;
    }
    return true;
}

class StoreFaultTest : public StoreTest {
  protected:
    // Inserts `key` into a copy of base.clam once for every read and every write the insertion
    // makes, failing that one call.
    void FailEachCallOfInsert(const std::string& key) {
        const std::string base = Bytes("base.clam");
        const Contents_t before = Contents("base.clam");
        int calls[2] = {0, 0};
        {
            WriteBytes("f.clam", base);
            ClamHandle* handle = Open("f.clam");
            FaultPlatform count;
            ScopedPlatform use(count);
            ASSERT_EQ(Insert(handle, key, 9), 1);
            calls[0] = count.Calls(Op::kRead);
            calls[1] = count.Calls(Op::kWrite);
            ClamClose(handle);
        }
        for (int which = 0; which < 2; ++which) {
            const Op op = which == 0 ? Op::kRead : Op::kWrite;
            for (int n = 1; n <= calls[which]; ++n) {
                SCOPED_TRACE((which == 0 ? "read " : "write ") + std::to_string(n));
                RunWithFault(base, before, key, op, n);
                if (HasFatalFailure()) return;
            }
        }
    }

    void RunWithFault(const std::string& base, const Contents_t& before, const std::string& key,
                      Op op, int n) {
        WriteBytes("f.clam", base);
        ClamHandle* handle = Open("f.clam");
        ASSERT_NE(handle, nullptr);
        const std::int64_t fd = handle->fd;
        bool failed = false;
        int closed = 0;
        {
            FaultPlatform fault;
            ScopedPlatform use(fault);
            fault.FailNth(op, n);
            EXPECT_EQ(Insert(handle, key, 9), 0);
            fault.ClearFaults();
            failed = (handle->flags & kClamFailed) != 0;
            // Read failures always fail the handle; a handle that stayed usable must be
            // able to take the key now.
            if (op == Op::kRead) {
                EXPECT_TRUE(failed);
            }
            if (!failed) {
                EXPECT_EQ(Insert(handle, key, 9), 1);
            }
            closed = ClamClose(handle);
        }
        EXPECT_EQ(closed, failed ? 0 : 1);
        EXPECT_TRUE(NoSlotOf(cache_, fd));
        const Contents_t after = Contents("f.clam");
        for (const auto& [k, v] : before) {
            const auto it = after.find(k);
            ASSERT_TRUE(it != after.end() && it->second == v) << "lost " << k;
        }
        if (!failed) {
            EXPECT_EQ(after.count(key), 1u);
            const ClamVerifyReport report = Verify("f.clam");
            EXPECT_TRUE(report.problems.empty()) << report.problems.front();
        }
    }

    // Adds the key to base.clam for good.
    std::uint32_t Grow(const std::string& key) {
        ClamHandle* handle = Open("base.clam");
        EXPECT_EQ(Insert(handle, key, 9), 1);
        EXPECT_EQ(ClamClose(handle), 1);
        return Verify("base.clam").depth;
    }
};

TEST_F(StoreFaultTest, EveryFailedCallOfASplitKeepsTheWordsAndTheHandleHonest) {
    ClamClose(Create("base.clam"));
    std::mt19937 rng(17);
    std::uint32_t depth = 1;
    int splits = 0;
    for (int i = 0; i < 400 && !HasFatalFailure(); ++i) {
        const std::string key = RandomKey(rng, 40 + rng() % 30);
        // Only insertions that split write anything at once; the others are plain.
        ClamHandle* probe = Open("base.clam");
        const std::uint32_t blocks = probe->blockCount;
        ClamClose(probe);
        const std::string base = Bytes("base.clam");
        WriteBytes("try.clam", base);
        ClamHandle* trial = Open("try.clam");
        ASSERT_EQ(Insert(trial, key, 9), 1);
        const bool splits_here = trial->blockCount != blocks;
        ClamClose(trial);
        if (splits_here) {
            ++splits;
            FailEachCallOfInsert(key);
        }
        depth = Grow(key);
    }
    EXPECT_GE(depth, 3u);  // a split index root was among them
    EXPECT_GE(splits, 20);
}

TEST_F(StoreFaultTest, EveryFailedWriteOfACloseKeepsAWholeTree) {
    ClamHandle* handle = Create("base.clam");
    std::mt19937 rng(23);
    for (int i = 0; i < 150; ++i) Insert(handle, RandomKey(rng, 30), 1);
    ASSERT_EQ(ClamClose(handle), 1);
    const std::string base = Bytes("base.clam");
    const Contents_t before = Contents("base.clam");
    std::vector<std::string> added;
    for (int i = 0; i < 40; ++i) added.push_back(RandomKey(rng, 30));
    int writes = 0;
    for (int n = 0; n == 0 || n <= writes; ++n) {
        SCOPED_TRACE(n);
        WriteBytes("f.clam", base);
        handle = Open("f.clam");
        for (const std::string& key : added) ASSERT_EQ(Insert(handle, key, 2), 1);
        const std::int64_t fd = handle->fd;
        FaultPlatform fault;
        int closed = 0;
        {
            ScopedPlatform use(fault);
            if (n > 0) fault.FailNth(Op::kWrite, n);
            closed = ClamClose(handle);
        }
        if (n == 0) {
            writes = fault.Calls(Op::kWrite);
            ASSERT_GE(writes, 3);
            EXPECT_EQ(closed, 1);
        } else {
            EXPECT_EQ(closed, 0);
            EXPECT_EQ(fault.Calls(Op::kWrite), writes);  // the other blocks still went out
        }
        EXPECT_TRUE(NoSlotOf(cache_, fd));
        const ClamVerifyReport report = Verify("f.clam");
        EXPECT_TRUE(report.problems.empty()) << report.problems.front();
        const Contents_t after = Contents("f.clam");
        for (const auto& [k, v] : before) EXPECT_EQ(after.count(k), 1u) << "lost " << k;
    }
}

}  // namespace
}  // namespace store_test
