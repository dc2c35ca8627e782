// The clam import's own decisions, run in-process over a fault-injecting platform: which
// messages reach which stream on each way out, the read-only fallback, and that every
// way out closes its descriptors and frees what it allocated.
#include "import/clam_import.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

#include "app/folder_locations.h"
#include "app/folder_path.h"
#include "app/reporting.h"
#include "clam/coding/word_ops.h"
#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"
#include "support/env_files.h"
#include "support/fault_platform.h"
#include "support/memory_stream.h"
#include "support/temp_prefix.h"

// Live allocations of this test program, so that a test can tell what a call left behind.
// Every form of plain new and delete is replaced, so that none pairs with another
// allocator's (the sanitizers bring their own).
//
// GCC takes the free() inside a replaced delete for a mismatch once it is inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long> g_liveAllocations{0};

void* Allocate(std::size_t size) noexcept {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) ++g_liveAllocations;
    return p;
}
void Release(void* p) noexcept {
    if (p == nullptr) return;
    --g_liveAllocations;
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
#pragma GCC diagnostic pop

namespace {
namespace fs = std::filesystem;
using testing_support::FaultPlatform;
using testing_support::MemoryStream;
using testing_support::Op;
using testing_support::ScopedPlatform;
using testing_support::TempPrefix;

const std::string kContinuing = "Continuing to process next dictionary ...\n";
const std::string kHeading =
    "\nImporting words from dictionary:\n----------------------------\n"
    "C:\\src\\1033\\en\\user.clam\n";

// Keeps track of the descriptors that are open.
class TrackingPlatform final : public FaultPlatform {
  public:
    int Open(const std::wstring& path, int flags, int permission) override {
        const int fd = FaultPlatform::Open(path, flags, permission);
        if (fd >= 0 && static_cast<std::size_t>(fd) < open_.size()) open_[fd] = true;
        return fd;
    }
    int Close(int fd) override {
        if (fd >= 0 && static_cast<std::size_t>(fd) < open_.size()) open_[fd] = false;
        return FaultPlatform::Close(fd);
    }
    int OpenDescriptors() const {
        int n = 0;
        for (bool open : open_) n += open ? 1 : 0;
        return n;
    }

  private:
    std::array<bool, 1024> open_{};
};

// A clam dictionary of one of our languages, made through the store.
void MakeDictionary(const std::wstring& path, int language, const std::vector<std::string>& words) {
    ASSERT_TRUE(CreateFolderPath(GetParentFolder(path)));
    testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
    ClamBlockCache* cache = ClamNewBlockCache(5, 10);
    int status = 0;
    ClamHandle* handle = ClamOpenFile(path, kClamCreate, cache, env.get(), &status);
    ASSERT_NE(handle, nullptr) << status;
    for (const std::string& word : words) ASSERT_NE(ClamAddWord(word.c_str(), handle), 0) << word;
    ASSERT_EQ(ClamClose(handle), 1);
    ClamFreeBlockCache(cache);
}

// Public: the arrangements of the table below reach into it.
class ClamImport : public ::testing::Test {
  public:
    void SetUp() override {
        g_sourceFolder = L"C:\\src";
        g_destinationFolder = L"C:\\dst";
        g_providerFolder = L"C:\\prov";
        // Room enough that writing the messages never reallocates, so that what a run
        // leaves allocated is its own.
        log_->reserve(1 << 16);
        system_.console.reserve(1 << 16);
        g_logFile = std::make_unique<MemoryStream>(log_);
        fs::create_directories(prefix_.DriveC() / "src/1033/en");
        WritePhonEnv(testing_support::CompiledDefinition("lang01"));
    }
    void TearDown() override { g_logFile.reset(); }

    static void Import() { ImportClamDictionary(L"user.clam", L"en", L"1033"); }

    void WritePhonEnv(const std::vector<std::uint8_t>& bytes) {
        TempPrefix::WriteFile(prefix_.DriveC() / "prov/enphon.env",
                              std::string(bytes.begin(), bytes.end()));
    }
    fs::path Destination() const { return prefix_.DriveC() / "dst/1033/en/user.clam"; }
    static std::wstring SourcePath() { return L"C:\\src\\1033\\en\\user.clam"; }
    static std::wstring DestinationPath() { return L"C:\\dst\\1033\\en\\user.clam"; }

    // Runs the import after `prepare`, twice: the first run settles the test platform's own
    // records, the second must leave no descriptor open and no allocation behind.
    void ImportTwice(const std::function<void()>& prepare) {
        for (int run = 0; run < 2; ++run) {
            prepare();
            log_->clear();
            system_.console.clear();
            const long before = g_liveAllocations;
            Import();
            EXPECT_EQ(g_liveAllocations - before, 0) << "run " << run;
            EXPECT_EQ(system_.OpenDescriptors(), 0) << "run " << run;
        }
    }

    TempPrefix prefix_;
    TrackingPlatform system_;
    ScopedPlatform use_{system_};
    std::shared_ptr<std::string> log_ = std::make_shared<std::string>();
};

struct WayOut {
    const char* name;
    std::function<void(ClamImport&, FaultPlatform&)> arrange;
    std::string console;
    std::string log;  // after the heading
};

TEST_F(ClamImport, EachWayOutWritesItsMessagesAndReleasesEverything) {
    const std::string cannotOpen =
        "ERROR: Unable to open/create clam file in read/write mode\n"
        "C:\\dst\\1033\\en\\user.clam\n" +
        kContinuing;
    const std::string noPhonEnv =
        "ERROR: Unable to open kestrel's phonetic file\nC:\\prov\\enphon.env\n" + kContinuing;
    const std::string phonEnvConsole =
        "ERROR: Failed to import words for current dictionary\n" + kContinuing;
    const std::vector<WayOut> ways = {
        {"folder cannot be made",
         [](ClamImport&, FaultPlatform& p) { p.FailFrom(Op::kMakeFolder, 1); },
         "ERROR: Unable to create folder\nC:\\dst\\1033\\en\n" + kContinuing,
         "ERROR: Unable to create folder\nC:\\dst\\1033\\en\n" + kContinuing},
        {"no phonetic environment",
         [](ClamImport& t, FaultPlatform&) {
             fs::remove(t.prefix_.DriveC() / "prov/enphon.env");
             MakeDictionary(SourcePath(), 1, {"word"});
         },
         phonEnvConsole, noPhonEnv},
        {"phonetic environment refused by the loader",
         [](ClamImport& t, FaultPlatform&) {
             t.WritePhonEnv({2, 1, 'P', 'X'});
             MakeDictionary(SourcePath(), 1, {"word"});
         },
         phonEnvConsole, noPhonEnv},
        {"source missing", [](ClamImport&, FaultPlatform&) {},
         "ERROR: Unable to open clam file\nC:\\src\\1033\\en\\user.clam\n" + kContinuing,
         "ERROR: Unable to open clam file\nC:\\src\\1033\\en\\user.clam\n" + kContinuing},
        {"source without words",
         [](ClamImport&, FaultPlatform&) { MakeDictionary(SourcePath(), 1, {}); }, "",
         "No words to import\n" + kContinuing},
        {"destination of another language",
         [](ClamImport&, FaultPlatform&) {
             MakeDictionary(SourcePath(), 1, {"word"});
             MakeDictionary(DestinationPath(), 2, {"wort"});
         },
         cannotOpen, cannotOpen},
        {"destination cannot be created",
         [](ClamImport&, FaultPlatform& p) {
             MakeDictionary(SourcePath(), 1, {"word"});
             // Opens: environment, source, destination read/write, read-only, the
             // readability test, then the create.
             p.FailNth(Op::kOpen, 6);
         },
         cannotOpen, cannotOpen},
        {"words imported",
         [](ClamImport& t, FaultPlatform&) {
             MakeDictionary(SourcePath(), 1, {"alpha"});
             fs::remove(t.Destination());
         },
         "",
         "Succesfully imported word:\nalpha\n"
         "\nTotal count of imported words: \n1\n\nTotal count of words to be imported being "
         "already present in destination dictionary: \n0\n"},
    };
    for (const WayOut& way : ways) {
        SCOPED_TRACE(way.name);
        fs::remove_all(prefix_.DriveC() / "dst");
        fs::remove(prefix_.DriveC() / "src/1033/en/user.clam");
        WritePhonEnv(testing_support::CompiledDefinition("lang01"));
        std::string destinationBefore;
        ImportTwice([&] {
            system_.ClearFaults();
            way.arrange(*this, system_);
            destinationBefore = TempPrefix::ReadFile(Destination());
        });
        EXPECT_EQ(system_.console, way.console);
        EXPECT_EQ(*log_, kHeading + way.log);
        if (way.log.find("Succesfully") == std::string::npos) {
            // Nothing is made or changed where nothing was imported.
            EXPECT_EQ(TempPrefix::ReadFile(Destination()), destinationBefore);
        }
        system_.ClearFaults();
    }
}

TEST_F(ClamImport, ReadOnlyDestinationCountsPresentWordsAndReportsEveryOther) {
    MakeDictionary(SourcePath(), 1, {"kept", "new"});
    MakeDictionary(DestinationPath(), 1, {"kept"});
    const std::string before = TempPrefix::ReadFile(Destination());
    ImportTwice([this] {
        system_.ClearFaults();
        system_.FailNth(Op::kOpen, 3);  // the destination's read/write open
    });
    const std::string refused =
        "ERROR: Unable to import word:\nnew\nContinuing to process next word...\n";
    EXPECT_EQ(system_.console, refused);
    EXPECT_EQ(*log_, kHeading + refused +
                         "\nTotal count of imported words: \n0\n\nTotal count of words to be "
                         "imported being already present in destination dictionary: \n1\n");
    EXPECT_EQ(TempPrefix::ReadFile(Destination()), before);
}

}  // namespace
