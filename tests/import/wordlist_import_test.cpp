// The word-list import's failure paths, run in-process over a fault-injecting platform.
#include "import/wordlist_import.h"

#include <gtest/gtest.h>

#include "app/folder_locations.h"
#include "app/reporting.h"
#include "support/fault_platform.h"
#include "support/memory_stream.h"
#include "support/temp_prefix.h"

namespace {
namespace fs = std::filesystem;
using testing_support::FaultPlatform;
using testing_support::MemoryStream;
using testing_support::Op;
using testing_support::ScopedPlatform;
using testing_support::TempPrefix;

class WordListImport : public ::testing::Test {
  protected:
    void SetUp() override {
        g_sourceFolder = L"C:\\src";
        g_destinationFolder = L"C:\\dst";
        g_logFile = std::make_unique<MemoryStream>(log_);
    }
    void TearDown() override { g_logFile.reset(); }

    void Import() { ImportWordListDictionary(L"user.dic", L"en", L"1033"); }
    fs::path Source() const { return prefix_.DriveC() / "src/1033/en/user.dic"; }
    fs::path Destination() const { return prefix_.DriveC() / "dst/1033/en/user.dic"; }
    std::string Log() const { return *log_; }

    TempPrefix prefix_;
    FaultPlatform system_;
    ScopedPlatform use_{system_};
    std::shared_ptr<std::string> log_ = std::make_shared<std::string>();
};

TEST_F(WordListImport, FolderThatCannotBeMadeIsReported) {
    TempPrefix::WriteFile(Source(), "w\n");
    system_.FailFrom(Op::kMakeFolder, 1);
    Import();
    const std::string report =
        "ERROR: Unable to create folder\nC:\\dst\\1033\\en\n"
        "Continuing to process next dictionary ...\n";
    EXPECT_EQ(system_.console, report);
    EXPECT_NE(Log().find(report), std::string::npos);
}

TEST_F(WordListImport, UnreadableDestinationIsSkippedNotRewritten) {
    TempPrefix::WriteFile(Source(), "new\n");
    TempPrefix::WriteFile(Destination(), "old\n");
    system_.FailNth(Op::kReadFile, 2);  // the source reads, the destination does not
    Import();
    EXPECT_EQ(system_.console,
              "ERROR: Unable to read destination dictionary\nC:\\dst\\1033\\en\\user.dic\n"
              "Continuing to process next dictionary ...\n");
    EXPECT_EQ(Log().find("Succesfully"), std::string::npos);
    EXPECT_EQ(TempPrefix::ReadFile(Destination()), "old\n");
}

TEST_F(WordListImport, FailedWriteIsReportedAfterTheTotals) {
    TempPrefix::WriteFile(Source(), "new old\n");
    TempPrefix::WriteFile(Destination(), "old\n");
    system_.FailNth(Op::kStreamWrite, 1);
    Import();
    const std::string error =
        "ERROR: Unable to write destination dictionary\nC:\\dst\\1033\\en\\user.dic\n"
        "Continuing to process next dictionary ...\n";
    EXPECT_EQ(system_.console, error);
    const std::string tail =
        "Succesfully imported word:\nnew\n"
        "\nTotal count of imported words: \n1\n"
        "\nTotal count of words to be imported being already present in destination "
        "dictionary: \n1\n" +
        error;
    ASSERT_GE(Log().size(), tail.size());
    EXPECT_EQ(Log().substr(Log().size() - tail.size()), tail);
    EXPECT_EQ(TempPrefix::ReadFile(Destination()), "old\n");
}

}  // namespace
