// The clam store: its file format, opening, the block cache, insertion and its bounds, and
// failed calls in the middle of splits and closes. Every file is of a minimal environment:
// language 1 and class base 'A', so that the sentinel key is "AA".
#include "clam/store/clam_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "clam/store/clam_owners.h"
#include "clam/store/clam_status.h"
#include "clam/store/clam_verify.h"
#include "clam/store/phon_env.h"
#include "platform/platform.h"
#include "support/env_files.h"
#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {

using testing_support::Bytes;
using testing_support::FaultPlatform;
using testing_support::Op;
using Records = std::map<std::string, std::uint16_t>;

// Runs `f` with the platform `p` in place.
template <class F>
auto Through(FaultPlatform& p, F f) {
    testing_support::ScopedPlatform use(p);
    return f();
}

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env_.language = env_.languageCode = 1;
        env_.classBase = 'A';
        ASSERT_NE(cache_.get(), nullptr);
    }

    // A new file: version 6, language 1, one leaf holding the sentinel.
    static std::string NewFile() {
        return std::string("\6\1\x0A\x80\0\0\0AA", 9).append(1015, '\0');
    }
    std::wstring Path(const std::string& name) const {
        return (scratch_.DriveC() / name).wstring();
    }
    ClamHandle* Open(const std::string& name, std::uint32_t mode = 0, int* status = nullptr) {
        int ignored = 0;
        return ClamOpenFile(Path(name), mode, cache_.get(), &env_, status ? status : &ignored);
    }
    std::string FileBytes(const std::string& name) const { return scratch_.ReadFile(Path(name)); }
    void WriteFile(const std::string& name, const std::string& bytes) const {
        scratch_.WriteFile(Path(name), bytes);
    }
    // Checks the tree of the file, which is expected to be well-formed unless `damaged`.
    ClamVerifyReport Verify(const std::string& name, bool damaged = false) const {
        const std::string b = FileBytes(name);
        ClamVerifyReport report =
            ClamVerifyImage({reinterpret_cast<const std::uint8_t*>(b.data()), b.size()}, env_);
        EXPECT_EQ(report.problems.empty(), !damaged) << testing::PrintToString(report.problems);
        return report;
    }
    // The live records from the sentinel on, read through a new handle.
    Records Contents(const std::string& name) {
        ClamHandle* handle = Open(name, kClamReadOnly);
        Records records;
        if (ClamSeekKey(handle, "AA", 0) == 1) {
            while (ClamNextRecord(handle) == 1) records.emplace(handle->key.data(), handle->value);
        }
        EXPECT_EQ(ClamClose(handle), 1);
        return records;
    }
    // The cache slots that hold a block of the descriptor (0: the free ones).
    long SlotsOf(std::int64_t fd) const {
        const ClamCacheSlot* slots = cache_->slots;
        return std::count_if(slots, slots + kClamCacheSlots, [&](auto& s) { return s.fd == fd; });
    }
    static int Insert(ClamHandle* handle, const std::string& key, std::uint16_t value = 1) {
        return ClamInsertStoredKey(handle, key.c_str(), value);
    }
    // A key of the given length: two class bytes from 'B' on, then lower-case letters.
    static std::string RandomKey(std::mt19937& rng, std::size_t length) {
        std::string key = {static_cast<char>('B' + rng() % 4), static_cast<char>('B' + rng() % 4)};
        while (key.size() < length) key.push_back(static_cast<char>('a' + rng() % 26));
        return key;
    }

    testing_support::TempPrefix scratch_;
    ClamPhonEnv env_{};
    ClamBlockCachePtr cache_{ClamNewBlockCache(5, 10)};
};

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
    // A root leaf with its used length and the records after the sentinel.
    auto leaf = [](const char* used, const std::string& records) {
        return Patch(Patch(NewFile(), 2, used), 10, records);
    };
    // Leaf 2 linked to a new last block without records, linked back to leaf 2.
    const std::string throughEmpty = [&tree] {
        const auto empty = static_cast<std::uint32_t>(tree.size() / kClamBlockSize);
        std::string file = tree + Bytes("<02><00><04><80>") + std::string(kClamBlockSize - 4, '\0');
        file[2048] = static_cast<char>(empty & 0xFF);
        file[2049] = static_cast<char>(empty >> 8);
        return file;
    }();
    const std::string files[] = {
        leaf("<10><80>", "<01><00><09>x<00><00>"),                              // drop > key
        leaf("<d4><80>", "<01><00><00>" + std::string(197, 'q') + "<00><00>"),  // key of 199
        leaf("<10><80>", "<01><00><00>BBc"),          // a tail without its NUL
        leaf("<02><84>", "<01><00><00>BB<00>"),       // used length past the block
        leaf("<ff><83>", "<01><00><00>BBc<00><00>"),  // records that run to an odd end
        Patch(tree, 2048, "<02><00>"),                // a leaf chain that leads back
        throughEmpty,                                 // ... through a block without records
        Patch(tree, 2048, "<00><00>"),                // a link to the root
        Patch(tree, 4, "<00><00>"),                   // a child that is the root
        // A leaf of keys out of order that links to itself (found by fuzzing; the whole
        // blocks of the input are the file).
        testing_support::ReadSourceFile(
            "fuzz/corpus/clam_store_clam_reader_fuzz/unordered-leaf-linked-to-itself")
            .substr(0, 3 * kClamBlockSize),
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(&file - files);
        WriteFile("bad.clam", file);
        handle = Open("bad.clam", kClamReadOnly);
        ASSERT_NE(handle, nullptr);
        ClamSeekKey(handle, "AA", 0);
        while (ClamNextRecord(handle) == 1) continue;
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
        EXPECT_EQ(handle->blockCount, 1u);
        const bool writable = c.mode != kClamReadOnly && c.failAt == 0;
        EXPECT_EQ(Insert(handle, "BBcat"), writable ? 1 : 0);
        EXPECT_EQ(ClamClose(handle), 1);
    }
}

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
        return ClamGetBlock(cache_.get(), n, fd == 0 ? fd_ : fd, mode);
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
    const ClamCacheSlot* victim = ClamFindSlot(cache_.get(), 1, fd_);
    ASSERT_NE(victim, nullptr);
    EXPECT_EQ(victim->state & kClamModeChange, kClamModeChange);
    EXPECT_EQ(victim->buffer[1], 0x77);
    fault_.FailNth(Op::kRead, 1);
    EXPECT_EQ(Through(fault_, [&] { return Get(12, kRead); }), nullptr);
    EXPECT_EQ(ClamFindSlot(cache_.get(), 12, fd_), nullptr);  // its slot went back
    EXPECT_EQ(Traffic(), "w1 w1 r12 ");  // the victim is written at the next eviction
    EXPECT_EQ(FileBytes("a.bin")[kClamBlockSize + 1], 0x77);
}

TEST_F(BlockCacheTest, FlushReleasesEverySlotOfTheFileEvenAfterAFailedWrite) {
    ASSERT_NE(Get(0, kClamModeRead, other_), nullptr);
    for (std::uint32_t n = 1; n <= 4; ++n) Get(n, kRead | kClamModeChange)[0] = 0x60;
    Get(5, kRead);
    fault_.FailNth(Op::kWrite, 2);
    EXPECT_EQ(Through(fault_, [&] { return ClamFlushFile(cache_.get(), fd_); }), 0);
    EXPECT_EQ(fault_.Calls(Op::kWrite), 4);  // the others were still written
    EXPECT_EQ(SlotsOf(fd_), 0);
    EXPECT_NE(ClamFindSlot(cache_.get(), 0, other_), nullptr);
    const std::string b = FileBytes("a.bin");
    EXPECT_EQ((b[1024] == 0x60) + (b[2048] == 0x60) + (b[3072] == 0x60) + (b[4096] == 0x60), 3);
}

std::size_t RootUsed(ClamHandle* h) {
    return ClamUsedLength(ClamGetBlock(h->cache, 0, h->fd, kClamModeRead));
}

TEST_F(StoreTest, RecordsAreFrontCodedAndEqualKeysReplacedWithTheirFollowerCodedAgain) {
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
    const std::uint8_t* block = ClamGetBlock(cache_.get(), 0, handle->fd, kClamModeRead);
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

TEST_F(StoreTest, ABlockTakesItsLastByteAndTheFirstSplitHasItsShapeAndBlockNumbers) {
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
    EXPECT_EQ(fault.Calls(Op::kWrite), 0);  // and the handle still serves, as follows
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

TEST_F(StoreTest, ARightPartLongerThanABlockIsRefusedWithNothingChanged) {
    // Keys that share 192 bytes: each after the first is stored in 6 bytes.
    auto shared = [](int i) {
        return "BB" + std::string(192, 'm') + char('a' + i / 13) + char('a' + 2 * (i % 13));
    };
    ClamHandle* handle = Open("r.clam", kClamCreate);
    for (int i = 0; RootUsed(handle) + 6 <= 1024;) ASSERT_EQ(Insert(handle, shared(i++)), 1);
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

TEST_F(StoreTest, RandomLongKeysFillSixLevelsAndThenAreRefused) {
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

// Each insertion that splits is repeated once for every read and write it makes, failing that
// call: a failed read fails the handle, after a failed write it is failed or takes the key, and
// no record is lost. An insertion that does not split fails the write of its leaf at the close.
TEST_F(StoreTest, AFailedCallAnywhereInASplitOrACloseLosesNoRecord) {
    ASSERT_EQ(ClamClose(Open("base.clam", kClamCreate)), 1);
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
