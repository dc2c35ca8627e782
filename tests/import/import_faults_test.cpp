// The imports' ways out that only a fault-injecting platform reaches, run in-process: what
// each writes to which stream, that it leaves the destination as it was, and that it closes
// every descriptor it opened. Memory left behind shows in the sanitizer build.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "app/folder_locations.h"
#include "app/folder_path.h"
#include "app/reporting.h"
#include "clam/coding/word_ops.h"
#include "clam/store/clam_owners.h"
#include "import/clam_import.h"
#include "import/wordlist_import.h"
#include "support/env_files.h"
#include "support/fault_platform.h"
#include "support/memory_stream.h"
#include "support/temp_prefix.h"

namespace {
using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::TempPrefix;

const std::string kContinuing = "Continuing to process next dictionary ...\n";
const std::wstring kSource = L"C:\\src\\1033\\en\\user.clam";
const std::wstring kDestination = L"C:\\dst\\1033\\en\\user.clam";

// Knows which descriptors are open.
class TrackingPlatform final : public FaultPlatform {
  public:
    int Open(const std::wstring& path, int flags, int permission) override {
        const int fd = FaultPlatform::Open(path, flags, permission);
        if (fd >= 0) open.insert(fd);
        return fd;
    }
    int Close(int fd) override {
        open.erase(fd);
        return FaultPlatform::Close(fd);
    }
    std::set<int> open;
};

// A clam dictionary of one of our languages, made through the store.
void MakeDictionary(const std::wstring& path, int language, const std::vector<std::string>& words) {
    ASSERT_TRUE(CreateFolderPath(GetParentFolder(path)));
    testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
    const ClamBlockCachePtr cache(ClamNewBlockCache(5, 10));
    int status = 0;
    ClamHandlePtr handle(ClamOpenFile(path, kClamCreate, cache.get(), env.get(), &status));
    ASSERT_NE(handle, nullptr) << status;
    for (const std::string& word : words) {
        ASSERT_NE(ClamAddWord(word.c_str(), handle.get()), 0) << word;
    }
    ASSERT_EQ(CloseClamHandle(handle), 1);
}

class Import : public ::testing::Test {
  protected:
    void SetUp() override {
        g_sourceFolder = L"C:\\src";
        g_destinationFolder = L"C:\\dst";
        g_providerFolder = L"C:\\prov";
        g_logFile = std::make_unique<testing_support::MemoryStream>(log_);
    }
    void TearDown() override { g_logFile.reset(); }

    void WritePhonEnv(const std::vector<std::uint8_t>& bytes) const {
        TempPrefix::WriteFile(prefix_.DriveC() / "prov" / "enphon.env",
                              std::string(bytes.begin(), bytes.end()));
    }
    std::string DestinationBytes() const {
        return TempPrefix::ReadFile(prefix_.DriveC() / "dst" / "1033" / "en" / "user.clam");
    }

    TempPrefix prefix_;
    TrackingPlatform system_;
    testing_support::ScopedPlatform use_{system_};
    std::shared_ptr<std::string> log_ = std::make_shared<std::string>();
};

TEST_F(Import, BothImportsReportADestinationFolderThatCannotBeMade) {
    const std::string report = "ERROR: Unable to create folder\nC:\\dst\\1033\\en\n" + kContinuing;
    for (auto* import : {&ImportWordListDictionary, &ImportClamDictionary}) {
        system_.console.clear();
        system_.FailFrom(Op::kMakeFolder, 1);
        import(L"user.dic", L"en", L"1033");
        EXPECT_EQ(system_.console, report);
        EXPECT_TRUE(log_->ends_with(report));
    }
}

TEST_F(Import, ClamWaysOutLeaveTheDestinationAndCloseEveryDescriptor) {
    const std::string cannotOpen =
        "ERROR: Unable to open/create clam file in read/write mode\n"
        "C:\\dst\\1033\\en\\user.clam\n" +
        kContinuing;
    const std::string refused =
        "ERROR: Unable to import word:\nnew\nContinuing to process next word...\n";
    const struct {
        const char* name;
        std::function<void()> arrange;
        std::string console;
        std::string log;  // after the heading
    } ways[] = {
        {"environment that does not load",
         [this] {
             WritePhonEnv({2, 1, 'P', 'X'});
         },
         "ERROR: Failed to import words for current dictionary\n" + kContinuing,
         "ERROR: Unable to open kestrel's phonetic file\nC:\\prov\\enphon.env\n" + kContinuing},
        // Held opens: destination read/write, read-only, then the new copy.
        {"destination that cannot be created", [this] { system_.FailNth(Op::kOpenHeld, 3); },
         cannotOpen, cannotOpen},
        {"destination that opens only read-only",
         [this] {
             MakeDictionary(kDestination, 1, {"kept"});
             system_.FailNth(Op::kOpenHeld, 1);
         },
         refused,
         refused + "\nTotal count of imported words: \n0\n\nTotal count of words to be imported "
                   "being already present in destination dictionary: \n1\n"},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        std::filesystem::remove_all(prefix_.DriveC() / "dst");
        WritePhonEnv(testing_support::CompiledDefinition("lang01"));
        MakeDictionary(kSource, 1, {"kept", "new"});
        system_.ClearFaults();
        way.arrange();
        const std::string before = DestinationBytes();
        log_->clear();
        system_.console.clear();

        ImportClamDictionary(L"user.clam", L"en", L"1033");
        EXPECT_EQ(system_.console, way.console);
        EXPECT_EQ(*log_,
                  "\nImporting words from dictionary:\n----------------------------\n"
                  "C:\\src\\1033\\en\\user.clam\n" +
                      way.log);
        EXPECT_EQ(DestinationBytes(), before);
        EXPECT_TRUE(system_.open.empty());
    }
}

// Another program's hold is seen from this process too: POSIX locks belong to an open file,
// Windows share modes to a handle.
TEST_F(Import, FilesHeldByAnotherWriterAreLeftAloneAndAbandonedCopiesReplaced) {
    const std::filesystem::path folder = prefix_.DriveC() / "dst" / "1033" / "en";
    const struct {
        const wchar_t* name;
        void (*import)(const std::wstring&, const std::wstring&, const std::wstring&);
        const char* heldError;
    } kinds[] = {
        {L"user.clam", &ImportClamDictionary,
         "ERROR: Unable to open/create clam file in read/write mode"},
        {L"user.dic", &ImportWordListDictionary, "ERROR: Unable to write destination dictionary"},
    };
    WritePhonEnv(testing_support::CompiledDefinition("lang01"));
    MakeDictionary(kSource, 1, {"kept", "new"});
    TempPrefix::WriteFile(prefix_.DriveC() / "src" / "1033" / "en" / "user.dic", "new\n");
    for (const auto& kind : kinds) {
        const std::wstring destination = L"C:\\dst\\1033\\en\\" + std::wstring(kind.name);
        const std::wstring copy = destination + L".wordhaul-new";
        const std::filesystem::path file = folder / kind.name;
        const std::filesystem::path copyFile =
            folder / (std::wstring(kind.name) + L".wordhaul-new");
        std::string report;
        platform::utf8::Encode(destination, report);
        report = kind.heldError + ("\n" + report + "\n") + kContinuing;
        std::filesystem::remove_all(folder);
        kind.import(kind.name, L"en", L"1033");
        const std::string before = TempPrefix::ReadFile(file);
        for (const std::wstring& held : {destination, copy}) {
            if (held == copy) TempPrefix::WriteFile(copyFile, "live");
            const int fd = platform::NativePlatform().OpenHeld(
                held, platform::kOpenReadWrite | platform::kOpenBinary, platform::kPermWrite);
            ASSERT_NE(fd, -1);
            system_.console.clear();
            kind.import(kind.name, L"en", L"1033");
            platform::NativePlatform().Close(fd);
            EXPECT_EQ(system_.console, report);
            EXPECT_EQ(TempPrefix::ReadFile(file), before);
            EXPECT_EQ(std::filesystem::exists(copyFile), held == copy);
        }
        // Nobody holds the copy left behind: a run that ended made it.
        TempPrefix::WriteFile(copyFile, "stale");
        system_.console.clear();
        kind.import(kind.name, L"en", L"1033");
        EXPECT_EQ(system_.console, "");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
        EXPECT_TRUE(system_.open.empty());
    }
}

// A destination that holds every word is left as it is: not a byte is written, and the
// words are reported present. One in the older format is upgraded all the same, and one
// that lacks a word after the first ones gets it.
TEST_F(Import, ADestinationHoldingEveryWordIsNotWritten) {
    WritePhonEnv(testing_support::CompiledDefinition("lang01"));
    MakeDictionary(kSource, 1, {"alpha", "beta", "gamma", "delta"});
    MakeDictionary(kDestination, 1, {"alpha", "beta", "gamma", "delta", "omega"});
    const std::string full = DestinationBytes();
    const std::string present = "already present in destination dictionary: \n4\n";
    const int writes = system_.Calls(Op::kWrite) + system_.Calls(Op::kReplace);
    const int flushes = system_.Calls(Op::kFlush);
    ImportClamDictionary(L"user.clam", L"en", L"1033");
    EXPECT_EQ(system_.Calls(Op::kWrite) + system_.Calls(Op::kReplace), writes);
    EXPECT_EQ(system_.Calls(Op::kFlush), flushes);
    EXPECT_EQ(system_.console, "");
    EXPECT_EQ(DestinationBytes(), full);
    EXPECT_NE(log_->find(present), std::string::npos) << *log_;

    std::string old = full;
    old[0] = old[1];  // the older format's header
    old[1] = 0;
    TempPrefix::WriteFile(prefix_.DriveC() / "dst" / "1033" / "en" / "user.clam", old);
    ImportClamDictionary(L"user.clam", L"en", L"1033");
    EXPECT_EQ(DestinationBytes(), full);

    MakeDictionary(kSource, 1, {"alpha", "beta", "gamma", "delta", "zeta"});
    log_->clear();
    ImportClamDictionary(L"user.clam", L"en", L"1033");
    EXPECT_NE(DestinationBytes(), full);
    EXPECT_NE(log_->find("Total count of imported words: \n1\n"), std::string::npos) << *log_;
    EXPECT_NE(log_->find(present), std::string::npos);
}

}  // namespace
