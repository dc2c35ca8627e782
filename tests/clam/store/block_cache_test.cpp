#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "store_fixture.h"
#include "support/fault_platform.h"

namespace store_test {
namespace {

using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;

constexpr std::uint8_t kRead = kClamModeRead;
constexpr std::uint8_t kOther = 1;  // priority of a block other than a root

class BlockCacheTest : public StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        std::string bytes;
        for (int n = 0; n < 16; ++n) bytes += std::string(kClamBlockSize, static_cast<char>(n + 1));
        WriteBytes("a.bin", bytes);
        WriteBytes("b.bin", std::string(4 * kClamBlockSize, 'b'));
        fd_ = OpenFd("a.bin");
    }
    void TearDown() override {
        ClamDiscardFile(cache_, fd_);
        platform::CurrentPlatform().Close(fd_);
        StoreTest::TearDown();
    }
    int OpenFd(const std::string& name) {
        return platform::CurrentPlatform().Open(
            Path(name), platform::kOpenReadWrite | platform::kOpenBinary, 0);
    }
    std::uint8_t* Get(std::uint32_t n, std::uint8_t mode, int fd = 0) {
        return ClamGetBlock(cache_, n, fd == 0 ? fd_ : fd, mode);
    }
    // The blocks read and written, in order, as "r5" and "w3".
    std::vector<std::string> Traffic() const {
        std::vector<std::string> out;
        for (const auto& e : fault_.Events()) {
            out.push_back((e.op == Op::kRead ? "r" : "w") +
                          std::to_string(e.offset / static_cast<std::int64_t>(kClamBlockSize)));
        }
        return out;
    }

    FaultPlatform fault_;
    int fd_ = -1;
};

TEST_F(BlockCacheTest, EvictsTheLeastRecentlyUsedAndWritesItBackFirst) {
    ScopedPlatform use(fault_);
    std::uint8_t* first = Get(1, kRead | kClamModeChange | kOther);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first[0], 2);
    first[0] = 0x55;
    for (std::uint32_t n = 2; n <= 10; ++n) ASSERT_NE(Get(n, kRead | kOther), nullptr);
    EXPECT_EQ(cache_->bufferCount, 10u);
    ASSERT_NE(Get(2, kRead | kOther), nullptr);   // cached: no traffic, now most recent
    ASSERT_NE(Get(11, kRead | kOther), nullptr);  // evicts block 1, dirty
    ASSERT_NE(Get(1, kRead | kOther), nullptr);   // evicts block 3
    ASSERT_NE(Get(3, kRead | kOther), nullptr);   // evicts block 4
    EXPECT_EQ(Traffic(), (std::vector<std::string>{"r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8",
                                                   "r9", "r10", "w1", "r11", "r1", "r3"}));
    EXPECT_EQ(Get(1, kRead | kOther)[0], 0x55);  // came back from the file as written
}

TEST_F(BlockCacheTest, RootBlocksStayWhileOtherSlotsCanBeTaken) {
    ScopedPlatform use(fault_);
    ASSERT_NE(Get(0, kRead), nullptr);
    for (std::uint32_t n = 1; n <= 12; ++n) ASSERT_NE(Get(n, kRead | kOther), nullptr);
    fault_.ClearEvents();
    ASSERT_NE(Get(0, kRead), nullptr);
    EXPECT_TRUE(Traffic().empty());
    // A root request takes the least recently used slot whatever it holds: here block 4.
    const int other = OpenFd("b.bin");
    ASSERT_NE(Get(0, kRead, other), nullptr);
    ASSERT_NE(Get(0, kRead), nullptr);
    ASSERT_NE(Get(4, kRead | kOther), nullptr);
    EXPECT_EQ(Traffic(), (std::vector<std::string>{"r0", "r4"}));
    // Two files never see each other's blocks.
    EXPECT_EQ(Get(0, kRead, other)[0], 'b');
    EXPECT_EQ(Get(0, kRead)[0], 1);
    ClamDiscardFile(cache_, other);
    platform::CurrentPlatform().Close(other);
}

TEST_F(BlockCacheTest, NewBlocksAreZeroUnlessAlreadyCached) {
    std::uint8_t* cached = Get(3, kRead | kOther);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(Get(3, kClamModeChange | kOther)[0], 4);
    std::uint8_t* fresh = Get(20, kClamModeChange | kOther);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(std::count(fresh, fresh + kClamBlockSize, 0), static_cast<long>(kClamBlockSize));
    EXPECT_EQ(Get(7, kClamModePriority), nullptr);  // neither read nor change
}

TEST_F(BlockCacheTest, AFailedReadLeavesTheSlotFree) {
    const std::uint32_t buffers = cache_->bufferCount;
    EXPECT_EQ(Get(16, kRead | kOther), nullptr);  // past the end of the file
    EXPECT_EQ(ClamFindSlot(cache_, 16, fd_), nullptr);
    EXPECT_EQ(cache_->bufferCount, buffers);
    ScopedPlatform use(fault_);
    fault_.FailNth(Op::kRead, 1);
    EXPECT_EQ(Get(2, kRead | kOther), nullptr);
    EXPECT_NE(Get(2, kRead | kOther), nullptr);
}

TEST_F(BlockCacheTest, AVictimThatCannotBeWrittenKeepsItsData) {
    for (std::uint32_t n = 1; n <= 10; ++n) Get(n, kRead | kClamModeChange | kOther)[1] = 0x77;
    ScopedPlatform use(fault_);
    fault_.FailNth(Op::kWrite, 1);
    EXPECT_EQ(Get(11, kRead | kOther), nullptr);
    ClamCacheSlot* victim = ClamFindSlot(cache_, 1, fd_);
    ASSERT_NE(victim, nullptr);
    EXPECT_NE(victim->state & kClamModeChange, 0);
    EXPECT_EQ(victim->buffer[1], 0x77);
}

TEST_F(BlockCacheTest, FlushReleasesEverySlotOfTheFileEvenAfterAFailedWrite) {
    const int other = OpenFd("b.bin");
    ASSERT_NE(Get(1, kRead, other), nullptr);
    for (std::uint32_t n = 1; n <= 4; ++n) Get(n, kRead | kClamModeChange | kOther)[0] = 0x60;
    Get(5, kRead | kOther);
    ScopedPlatform use(fault_);
    fault_.FailNth(Op::kWrite, 2);
    EXPECT_EQ(ClamFlushFile(cache_, fd_), 0);
    EXPECT_EQ(fault_.Calls(Op::kWrite), 4);  // the others were still written
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i) {
        EXPECT_NE(cache_->slots[i].fd, fd_);
    }
    EXPECT_NE(ClamFindSlot(cache_, 1, other), nullptr);
    const std::string bytes = Bytes("a.bin");
    int written = 0;
    for (std::uint32_t n = 1; n <= 4; ++n) written += bytes[n * kClamBlockSize] == 0x60;
    EXPECT_EQ(written, 3);
    ClamDiscardFile(cache_, other);
    platform::CurrentPlatform().Close(other);
}

}  // namespace
}  // namespace store_test
