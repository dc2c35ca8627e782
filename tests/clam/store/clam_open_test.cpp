#include <gtest/gtest.h>

#include <string>

#include "clam/store/clam_status.h"
#include "store_fixture.h"
#include "support/fault_platform.h"

namespace store_test {
namespace {

using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;

std::string NewFileBytes() {
    std::string block(kClamBlockSize, '\0');
    const char head[] = {6, 1, 0x0A, static_cast<char>(0x80), 0, 0, 0, 'A', 'A', 0};
    block.replace(0, sizeof head, head, sizeof head);
    return block;
}

bool NoSlotOf(const ClamBlockCache* cache, std::int64_t fd) {
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i) {
        if (cache->slots[i].fd == fd) return false;
    }
    return true;
}

TEST_F(StoreTest, CreatingTruncatesAnExistingFile) {
    WriteBytes("d.clam", std::string(5000, 'x'));
    ClamHandle* handle = Create("d.clam");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->blockCount, 1u);
    EXPECT_EQ(handle->formatVersion, 6);
    EXPECT_EQ(handle->savedBlock, -1);
    EXPECT_EQ(Bytes("d.clam"), NewFileBytes());  // on disk before the close
    EXPECT_EQ(ClamClose(handle), 1);
    EXPECT_EQ(Bytes("d.clam"), NewFileBytes());
}

TEST_F(StoreTest, OpenStatusesForFilesThatCannotServe) {
    struct Case {
        const char* what;
        std::string bytes;
        int status;
    };
    std::string otherLanguage = NewFileBytes();
    otherLanguage[1] = 2;
    std::string version7 = NewFileBytes();
    version7[0] = 7;
    std::string zeros(3 * kClamBlockSize, '\0');
    const Case cases[] = {{"empty", "", kClamStatusIoError},
                          {"only zero blocks", zeros, kClamStatusIoError},
                          {"short of a block", std::string(1000, 'x'), kClamStatusIoError},
                          {"another language", otherLanguage, kClamStatusBadLanguage},
                          {"version 7", version7, kClamStatusBadVersion}};
    FaultPlatform fault;
    ScopedPlatform use(fault);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes("f.clam", c.bytes);
        for (std::uint32_t mode : {0u, static_cast<std::uint32_t>(kClamReadOnly)}) {
            int status = 0;
            const int closes = fault.Calls(Op::kClose);
            EXPECT_EQ(Open("f.clam", mode, &status), nullptr);
            EXPECT_EQ(status, c.status);
            EXPECT_EQ(fault.Calls(Op::kClose), closes + 1);  // the descriptor went back
        }
        EXPECT_EQ(Bytes("f.clam"), c.bytes);
    }
    int status = 0;
    EXPECT_EQ(Open("missing.clam", 0, &status), nullptr);
    EXPECT_EQ(status, kClamStatusCannotOpen);
    status = 0;
    fault.FailNth(Op::kRead, 1);
    WriteBytes("f.clam", NewFileBytes());
    EXPECT_EQ(Open("f.clam", 0, &status), nullptr);
    EXPECT_EQ(status, kClamStatusIoError);
    status = 0;
    fault.FailNth(Op::kWrite, 1);
    EXPECT_EQ(ClamOpenFile(Path("g.clam"), kClamCreate, cache_, &env_, &status), nullptr);
    EXPECT_EQ(status, kClamStatusIoError);
    for (std::uint32_t i = 0; i < kClamCacheSlots; ++i) EXPECT_EQ(cache_->slots[i].fd, 0);
    EXPECT_EQ(ClamClose(nullptr), 1);
}

TEST_F(StoreTest, TrailingZeroBlocksAreNotInUse) {
    WriteBytes("z.clam", NewFileBytes() + std::string(2 * kClamBlockSize, '\0') + "tail");
    ClamHandle* handle = Open("z.clam");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->blockCount, 1u);
    std::string two = NewFileBytes() + NewFileBytes() + std::string(kClamBlockSize, '\0');
    two[kClamBlockSize] = 1;  // a non-zero link makes block 1 a block in use
    WriteBytes("y.clam", two);
    ClamHandle* second = Open("y.clam");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->blockCount, 2u);
    ClamClose(second);
    ClamClose(handle);
}

TEST_F(StoreTest, VersionFiveIsUpgradedOnlyWhenOpenedForWriting) {
    std::string old = NewFileBytes();
    old[0] = 1;     // the language id stands first in the old header
    old[1] = 0x63;  // and no language id second
    WriteBytes("v5.clam", old);
    ClamHandle* reader = Open("v5.clam", kClamReadOnly);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->formatVersion, 5);
    EXPECT_EQ(reader->language, 1);
    EXPECT_EQ(ClamInsertStoredKey(reader, "BBcat", 1), 0);
    EXPECT_EQ(ClamClose(reader), 1);
    EXPECT_EQ(Bytes("v5.clam"), old);

    ClamHandle* writer = Open("v5.clam");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->formatVersion, 6);
    std::string upgraded = old;
    upgraded[0] = 6;
    upgraded[1] = 1;
    EXPECT_EQ(Bytes("v5.clam"), upgraded);  // already on disk when the open returns
    EXPECT_EQ(ClamClose(writer), 1);
    EXPECT_EQ(Bytes("v5.clam"), upgraded);

    FaultPlatform fault;
    ScopedPlatform use(fault);
    WriteBytes("v5.clam", old);
    fault.FailNth(Op::kWrite, 1);
    int status = 0;
    EXPECT_EQ(Open("v5.clam", 0, &status), nullptr);
    EXPECT_EQ(status, kClamStatusIoError);
}

TEST_F(StoreTest, AFileThatCannotBeWrittenOpensReadOnly) {
    WriteBytes("r.clam", NewFileBytes());
    FaultPlatform fault;
    ScopedPlatform use(fault);
    fault.FailNth(Op::kOpen, 1);  // the read/write open
    ClamHandle* handle = Open("r.clam");
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(handle->flags & kClamReadOnly, 0);
    EXPECT_EQ(handle->flags & kClamNotOwned, 0);
    EXPECT_EQ(ClamInsertStoredKey(handle, "BBcat", 1), 0);
    EXPECT_EQ(ClamClose(handle), 1);
    EXPECT_EQ(Bytes("r.clam"), NewFileBytes());
}

TEST_F(StoreTest, ADescriptorHandleLeavesTheDescriptorOpen) {
    WriteBytes("o.clam", NewFileBytes());
    auto& os = platform::CurrentPlatform();
    const int fd = os.Open(Path("o.clam"), platform::kOpenReadWrite | platform::kOpenBinary, 0);
    int status = 0;
    ClamHandle* handle = ClamOpenDescriptor(fd, 0, cache_, &env_, &status);
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(handle->flags & kClamNotOwned, 0);
    ASSERT_EQ(ClamInsertStoredKey(handle, "BBcat", 3), 1);
    EXPECT_EQ(ClamClose(handle), 1);
    EXPECT_TRUE(NoSlotOf(cache_, fd));
    EXPECT_EQ(os.Seek(fd, 0, platform::kSeekEnd), static_cast<std::int64_t>(kClamBlockSize));
    EXPECT_EQ(os.Close(fd), 0);
    EXPECT_EQ(Contents("o.clam"), (std::map<std::string, std::uint16_t>{{"BBcat", 3}}));
    EXPECT_EQ(ClamOpenDescriptor(0, 0, cache_, &env_, &status), nullptr);
}

}  // namespace
}  // namespace store_test
