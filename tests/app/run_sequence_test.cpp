// The early stops of a run, and what survives a log file that cannot be written.
#include "app/run_sequence.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/reporting.h"
#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {
namespace fs = std::filesystem;
using testing_support::ExitCalled;
using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;
using testing_support::TempPrefix;

const std::string kBannerLine =
    "Velta (R) Wordhaul - Version 1.0.0\nCopyright (C) Velta. All rights reserved.\n";

class RunSequence : public ::testing::Test {
  protected:
    // Runs the tool in-process; the exit status of an early stop, or the returned one.
    int Run() {
        int status;
        try {
            status = RunWordhaul();
        } catch (const ExitCalled& exit) {
            status = exit.status;
        }
        CloseLogFile();
        return status;
    }
    fs::path Temp() const { return prefix_.LocalLow() / "Temp"; }

    TempPrefix prefix_;
    FaultPlatform system_;
    ScopedPlatform use_{system_};
};

TEST_F(RunSequence, OlderSystemGetsOnlyTheBannerAndInfo) {
    system_.osVersion = [](platform::OsVersion& v) {
        v = {2, 5, 1, 2600};
        return true;
    };
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(system_.console, kBannerLine +
                                   "\n\nINFO:\nCurrent OS Platform is NOT \"Windows Vista\".\n"
                                   "This tool is meant only for \"Windows Vista\" Platform.\n");
    EXPECT_FALSE(fs::exists(Temp()));
}

TEST_F(RunSequence, StopsWhenLocalLowIsUnknownOrTooLong) {
    for (const std::wstring& answer : {std::wstring(), std::wstring(300, L'x')}) {
        system_.console.clear();
        system_.knownFolderLocalLow = [answer](std::wstring& path) {
            path = answer;
            return answer.empty() ? platform::kHresultNotImplemented : platform::kHresultOk;
        };
        EXPECT_EQ(Run(), 1);
        EXPECT_EQ(system_.console,
                  kBannerLine + "ERROR: Unable to get user's LocalLow folder path.");
    }
}

TEST_F(RunSequence, StopsWhenTheTempFolderCannotBeMade) {
    system_.FailFrom(Op::kMakeFolder, 1);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(system_.console, kBannerLine +
                                   "ERROR: Unable to create Temp folder for log file: "
                                   "C:\\users\\wordhaul\\AppData\\LocalLow\\Temp\n");
    EXPECT_FALSE(fs::exists(Temp()));
}

TEST_F(RunSequence, LogNameCarriesTheStartTime) {
    system_.localTime = [] { return platform::LocalTime{2026, 12, 5, 9, 7, 3}; };
    EXPECT_EQ(Run(), 1);  // empty source
    EXPECT_TRUE(fs::exists(Temp() / "Wordhaul_20261205_090703.log"));
}

TEST_F(RunSequence, ARunGoesOnWhenTheLogCannotBeOpened) {
    TempPrefix::WriteFile(prefix_.Roaming() / "Velta/Linguistics/Dictionaries/1033/en/user.dic",
                          "word\n");
    const std::string console = kBannerLine + "\nStarted processing.\n\nProcessing complete.\n";

    system_.FailNth(Op::kOpenStream, 1);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(system_.console, console);
    EXPECT_TRUE(fs::is_empty(Temp()));
    EXPECT_EQ(TempPrefix::ReadFile(prefix_.LocalLow() /
                                   "Velta/Linguistics/Dictionaries/1033/en/user.dic"),
              "word\n");
}

}  // namespace
