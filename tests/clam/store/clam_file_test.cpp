// The file format, opening and damaged files.
#include "clam/store/clam_status.h"
#include "store_fixture.h"
#include "support/env_files.h"

namespace store_test {
namespace {

using testing_support::Bytes;

std::string Patch(std::string file, std::size_t at, const std::string& notation) {
    const std::string bytes = Bytes(notation);
    return file.replace(at, bytes.size(), bytes);
}

TEST_F(StoreTest, DamagedFilesFailTheHandleInsteadOfStrayingOrLooping) {
    ClamHandle* handle = Open("tree.clam", kClamCreate);
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i) Insert(handle, RandomKey(rng, 20));
    ASSERT_EQ(ClamClose(handle), 1);
    const std::string tree = FileBytes("tree.clam");
    ASSERT_GE(tree.size(), 4 * kClamBlockSize);
    // A root leaf with its used length and the records after the sentinel.
    auto leaf = [](const char* used, const std::string& records) {
        return Patch(Patch(NewFile(), 2, used), 10, records);
    };
    const std::string files[] = {
        leaf("<10><80>", "<01><00><09>x<00><00>"),                              // drop > key
        leaf("<d4><80>", "<01><00><00>" + std::string(197, 'q') + "<00><00>"),  // key of 199
        leaf("<10><80>", "<01><00><00>BBc"),          // a tail without its NUL
        leaf("<02><84>", "<01><00><00>BB<00>"),       // used length past the block
        leaf("<ff><83>", "<01><00><00>BBc<00><00>"),  // records that run to an odd end
        Patch(tree, 2048, "<02><00>"),                // a leaf chain that leads back
        Patch(tree, 2048, "<00><00>"),                // a link to the root
        Patch(tree, 2048, "<e7><03>"),                // a link past the blocks in use
        Patch(tree, 4, "<00><00>"),                   // a child that is the root
        Patch(tree, 4, "<e7><03>"),                   // a child past the end
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(&file - files);
        WriteFile("bad.clam", file);
        handle = Open("bad.clam", kClamReadOnly);
        ASSERT_NE(handle, nullptr);
        ReadAll(handle);
        for (int i = 0; i < 50 && !(handle->flags & kClamFailed); ++i) {
            ClamSeekKey(handle, RandomKey(rng, 20).c_str(), 0);
        }
        EXPECT_EQ(ClamClose(handle), 0);  // failed
        Verify("bad.clam", true);
    }
}

TEST_F(StoreTest, OpenGivesEveryStatusAndChangesAFileOnlyToCreateOrUpgradeIt) {
    const std::string version5 = Patch(NewFile(), 0, "<01><63>");  // the language id first
    const std::string zeros(2 * kClamBlockSize, '\0');
    struct Case {
        const char* what;
        std::string bytes;
        int status;
        std::uint32_t mode = 0;
        Op fault = Op::kOpen;
        int failAt = 0;       // no failure
        std::string after{};  // the file once opened, when it changed
        std::uint32_t blocks = 1;
    };
    const Case cases[] = {
        {"missing", "", kClamStatusCannotOpen},
        {"empty", "", kClamStatusIoError},
        {"only zero blocks", zeros, kClamStatusIoError},
        {"short of a block", std::string(1000, 'x'), kClamStatusIoError, kClamReadOnly},
        {"another language", Patch(NewFile(), 1, "<02>"), kClamStatusBadLanguage},
        {"version 7", Patch(NewFile(), 0, "<07>"), kClamStatusBadVersion, kClamReadOnly},
        {"a failed read", NewFile(), kClamStatusIoError, 0, Op::kRead, 1},
        {"a failed upgrade", version5, kClamStatusIoError, 0, Op::kWrite, 1},
        {"a failed creation", "", kClamStatusIoError, kClamCreate, Op::kWrite, 1},
        {"created over another file", "xx", 0, kClamCreate, Op::kOpen, 0, NewFile()},
        {"version 5 read", version5, 0, kClamReadOnly},
        {"version 5 upgraded", version5, 0, 0, Op::kOpen, 0, NewFile()},
        {"not writable", NewFile(), 0, 0, Op::kOpen, 1},  // falls back to reading only
        {"zero blocks at the end", NewFile() + zeros + "tail", 0},
        {"a linked block", NewFile() + Patch(zeros, 0, "<01>"), 0, 0, Op::kOpen, 0, "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = c.what + std::string(".clam");
        if (c.status != kClamStatusCannotOpen) WriteFile(name, c.bytes);
        FaultPlatform fault;
        fault.FailNth(c.fault, c.failAt);
        int status = 0;
        ClamHandle* handle = Through(fault, [&] { return Open(name, c.mode, &status); });
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(FileBytes(name), c.after.empty() ? c.bytes : c.after);  // on disk at once
        if (c.status != 0) {
            EXPECT_EQ(handle, nullptr);
            EXPECT_EQ(fault.Calls(Op::kClose), c.status == kClamStatusCannotOpen ? 0 : 1);
            EXPECT_EQ(SlotsOf(0), long(kClamCacheSlots));  // no block left in the cache
            continue;
        }
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(handle->blockCount, c.blocks);
        const bool writable = c.mode != kClamReadOnly && c.failAt == 0;
        EXPECT_EQ(Insert(handle, "BBcat"), writable ? 1 : 0);
        EXPECT_EQ(ClamClose(handle), 1);
    }
}

}  // namespace
}  // namespace store_test
