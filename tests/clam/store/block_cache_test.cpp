// The block cache's eviction order and write-back, observed through a counting platform.
#include "platform/platform.h"
#include "store_fixture.h"

namespace store_test {
namespace {

constexpr std::uint8_t kRead = kClamModeRead | 1;  // 1: the priority of a block not a root
constexpr std::uint8_t kChange = kClamModeChange | 1;
constexpr int kOpenFlags = platform::kOpenReadWrite | platform::kOpenBinary;

class BlockCacheTest : public StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        std::string bytes;  // block n filled with n + 1
        for (char n = 1; n <= 16; ++n) bytes += std::string(kClamBlockSize, n);
        WriteFile("a.bin", bytes);
        WriteFile("b.bin", std::string(kClamBlockSize, 'b'));
        fd_ = platform::CurrentPlatform().Open(Path("a.bin"), kOpenFlags, 0);
        other_ = platform::CurrentPlatform().Open(Path("b.bin"), kOpenFlags, 0);
    }
    void TearDown() override {
        for (int fd : {fd_, other_}) platform::CurrentPlatform().Close(fd);
        StoreTest::TearDown();  // frees the cache without writing
    }
    std::uint8_t* Get(std::uint32_t n, std::uint8_t mode, int fd = 0) {
        return ClamGetBlock(cache_, n, fd == 0 ? fd_ : fd, mode);
    }
    // The blocks read and written, in order: "r5 w3 ".
    std::string Traffic() const {
        std::string out;
        for (const auto& e : fault_.Events()) {
            out += (e.op == Op::kRead ? "r" : "w") + std::to_string(e.offset / 1024) + " ";
        }
        return out;
    }

    FaultPlatform fault_;
    int fd_ = -1, other_ = -1;
};

TEST_F(BlockCacheTest, EvictsTheLeastRecentlyUsedButARootOnlyForARootAndWritesBackFirst) {
    Through(fault_, [&] {
        ASSERT_NE(Get(0, kClamModeRead), nullptr);
        std::uint8_t* first = Get(1, kRead | kClamModeChange);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first[0], 2);
        first[0] = 0x55;
        for (std::uint32_t n : {2, 3, 4, 5, 6, 7, 8, 9, 2, 10, 1, 3}) Get(n, kRead);
        Get(0, kClamModeRead, other_);
        Get(0, kClamModeRead);
    });
    // All ten slots are taken after block 9. Block 2 is cached and becomes the most recent;
    // 10 passes over the root and evicts the changed block 1, 1 evicts 3, 3 evicts 4. The
    // other file's root takes the least recently used slot whatever it holds: our root.
    EXPECT_EQ(Traffic(), "r0 r1 r2 r3 r4 r5 r6 r7 r8 r9 w1 r10 r1 r3 r0 r0 ");
    EXPECT_EQ(Get(1, kRead)[0], 0x55);
    EXPECT_EQ(Get(0, kClamModeRead, other_)[0], 'b');  // files never see each other's blocks
    EXPECT_EQ(Get(0, kClamModeRead)[0], 1);
    // A block that will change without being read starts as zeros, unless it is cached.
    EXPECT_EQ(Get(3, kChange)[0], 4);
    const std::uint8_t* fresh = Get(20, kChange);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(std::count(fresh, fresh + kClamBlockSize, 0), 1024);
}

TEST_F(BlockCacheTest, AFailedReadOrWriteLosesNoData) {
    for (std::uint32_t n = 1; n <= 10; ++n) Get(n, kRead | kClamModeChange)[1] = 0x77;
    fault_.FailNth(Op::kWrite, 1);
    EXPECT_EQ(Through(fault_, [&] { return Get(11, kRead); }), nullptr);
    const ClamCacheSlot* victim = ClamFindSlot(cache_, 1, fd_);
    ASSERT_NE(victim, nullptr);
    EXPECT_EQ(victim->state & kClamModeChange, kClamModeChange);
    EXPECT_EQ(victim->buffer[1], 0x77);
    fault_.FailNth(Op::kRead, 1);
    EXPECT_EQ(Through(fault_, [&] { return Get(12, kRead); }), nullptr);
    EXPECT_EQ(ClamFindSlot(cache_, 12, fd_), nullptr);  // its slot went back
    EXPECT_EQ(Traffic(), "w1 w1 r12 ");  // the victim is written at the next eviction
    EXPECT_EQ(FileBytes("a.bin")[kClamBlockSize + 1], 0x77);
}

TEST_F(BlockCacheTest, FlushReleasesEverySlotOfTheFileEvenAfterAFailedWrite) {
    ASSERT_NE(Get(0, kClamModeRead, other_), nullptr);
    for (std::uint32_t n = 1; n <= 4; ++n) Get(n, kRead | kClamModeChange)[0] = 0x60;
    Get(5, kRead);
    fault_.FailNth(Op::kWrite, 2);
    EXPECT_EQ(Through(fault_, [&] { return ClamFlushFile(cache_, fd_); }), 0);
    EXPECT_EQ(fault_.Calls(Op::kWrite), 4);  // the others were still written
    EXPECT_EQ(SlotsOf(fd_), 0);
    EXPECT_NE(ClamFindSlot(cache_, 0, other_), nullptr);
    const std::string bytes = FileBytes("a.bin");
    int written = 0;
    for (std::size_t n = 1; n <= 4; ++n) written += bytes[n * kClamBlockSize] == 0x60;
    EXPECT_EQ(written, 3);
}

}  // namespace
}  // namespace store_test
