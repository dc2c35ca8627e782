// The early stops of a run, what survives a log file that cannot be opened, the wait for
// another run, the names of the log files, and the bound of the LocalLow path.
#include "app/run_sequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/reporting.h"
#include "app/run_lock.h"
#include "app/system_info.h"
#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {
namespace fs = std::filesystem;
using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;
using testing_support::TempPrefix;

const std::string kBanner =
    "Velta (R) Wordhaul - Version 1.0.0\nCopyright (C) Velta. All rights reserved.\n";

// The exit status of an early stop, or the returned one.
int RunInProcess() {
    int status;
    try {
        status = RunWordhaul();
    } catch (const testing_support::ExitCalled& exit) {
        status = exit.status;
    }
    CloseLogFile();
    ReleaseRunLock();
    return status;
}

std::function<void(FaultPlatform&)> Version(bool answered, std::uint32_t id, std::uint32_t major) {
    return [=](FaultPlatform& system) {
        system.osVersion = [=](platform::OsVersion& v) {
            v = {id, major, 0, 0};
            return answered;
        };
    };
}

TEST(RunSequence, EarlyStopsBeforeTheLogWriteOnlyToTheConsole) {
    const std::string olderSystem =
        "\n\nINFO:\nCurrent OS Platform is NOT \"Windows Vista\".\n"
        "This tool is meant only for \"Windows Vista\" Platform.\n";
    const struct {
        const char* name;
        std::function<void(FaultPlatform&)> arrange;
        std::string console;
    } stops[] = {
        {"NT 5", Version(true, 2, 5), olderSystem},
        {"not NT", Version(true, 1, 6), olderSystem},
        {"no version", Version(false, 2, 6), olderSystem},
        {"no LocalLow",
         [](FaultPlatform& system) {
             system.knownFolderLocalLow = [](std::wstring&) {
                 return platform::kHresultNotImplemented;
             };
         },
         "ERROR: Unable to get user's LocalLow folder path."},
        {"no Temp folder", [](FaultPlatform& system) { system.FailFrom(Op::kMakeFolder, 1); },
         "ERROR: Unable to create Temp folder for log file: "
         "C:\\users\\wordhaul\\AppData\\LocalLow\\Temp\n"},
    };
    for (const auto& stop : stops) {
        SCOPED_TRACE(stop.name);
        TempPrefix prefix;
        FaultPlatform system;
        ScopedPlatform use(system);
        stop.arrange(system);
        EXPECT_EQ(RunInProcess(), 1);
        EXPECT_EQ(system.console, kBanner + stop.console);
        EXPECT_FALSE(fs::exists(prefix.LocalLow() / "Temp"));
    }
}

TEST(RunSequence, LaterSystemsRunAndARunGoesOnWhenTheLogCannotBeOpened) {
    TempPrefix prefix;
    FaultPlatform system;
    ScopedPlatform use(system);
    Version(true, 2, 10)(system);
    system.localTime = [] { return platform::LocalTime{2026, 12, 5, 9, 7, 3}; };
    EXPECT_EQ(RunInProcess(), 1);  // empty source
    EXPECT_TRUE(fs::exists(prefix.LocalLow() / "Temp/Wordhaul_20261205_090703.log"));

    fs::remove_all(prefix.LocalLow() / "Temp");
    const std::string place = "Velta/Linguistics/Dictionaries/1033/en/user.dic";
    TempPrefix::WriteFile(prefix.Roaming() / place, "word\n");
    system.console.clear();
    system.FailNth(Op::kOpenStream, 1);
    EXPECT_EQ(RunInProcess(), 0);
    EXPECT_EQ(system.console, kBanner + "\nStarted processing.\n\nProcessing complete.\n");
    EXPECT_TRUE(fs::is_empty(prefix.LocalLow() / "Temp"));
    EXPECT_EQ(TempPrefix::ReadFile(prefix.LocalLow() / place), "word\n");
}

// Another run holds the lock until the n-th attempt of this one, in which it lets go.
TEST(RunLock, ARunWaitsForAnotherOneUpToItsBoundThenStopsWithInfoAndNoLog) {
    const std::string waiting =
        "\nAnother run of Wordhaul is in progress for this user. Waiting for it to end ...\n";
    const unsigned int bound = 60000;
    const int lastAttempt = bound / kRunLockRetryMilliseconds + 1;
    for (const int freedAt : {2, lastAttempt, lastAttempt + 1}) {
        SCOPED_TRACE(freedAt);
        TempPrefix prefix;
        TempPrefix::WriteFile(prefix.Roaming() / "Velta/Linguistics/Dictionaries/1/2/a.dic", "a");
        fs::create_directories(prefix.LocalLow() / "Temp");
        FaultPlatform system;
        ScopedPlatform use(system);
        auto& native = platform::NativePlatform();
        const std::wstring path = L"C:\\users\\wordhaul\\AppData\\LocalLow\\Temp\\Wordhaul.lock";
        std::unique_ptr<platform::HeldLock> other;
        ASSERT_EQ(native.TryLockFile(path, other), platform::LockAttempt::kTaken);
        int attempts = 0;
        system.lockFile = [&](const std::wstring& asked,
                              std::unique_ptr<platform::HeldLock>& lock) {
            EXPECT_EQ(asked, path);
            if (++attempts == freedAt) other.reset();
            return native.TryLockFile(asked, lock);
        };
        const bool gotIt = freedAt <= lastAttempt;
        EXPECT_EQ(RunInProcess(), gotIt ? 0 : 1);
        EXPECT_EQ(attempts, std::min(freedAt, lastAttempt));
        EXPECT_EQ(system.sleptMilliseconds, (attempts - 1) * kRunLockRetryMilliseconds);
        if (gotIt) {
            EXPECT_EQ(system.console,
                      kBanner + waiting + "\nStarted processing.\n\nProcessing complete.\n");
        } else {
            EXPECT_EQ(system.console,
                      kBanner + waiting +
                          "\n\nINFO:\nAnother run of Wordhaul is still in progress for this "
                          "user.\nThis run stops without importing anything. Start it again "
                          "once the other run has ended.\n");
        }
        other.reset();
        EXPECT_EQ(std::distance(fs::directory_iterator(prefix.LocalLow() / "Temp"), {}),
                  gotIt ? 1 : 0);  // the log file, and no lock file
    }
}

TEST(RunLock, ALockFileThatCannotBeMadeStopsTheRun) {
    TempPrefix prefix;
    FaultPlatform system;
    ScopedPlatform use(system);
    system.lockFile = [](const std::wstring&, std::unique_ptr<platform::HeldLock>&) {
        return platform::LockAttempt::kFailed;
    };
    EXPECT_EQ(RunInProcess(), 1);
    EXPECT_EQ(system.console, kBanner +
                                  "ERROR: Unable to create lock file: "
                                  "C:\\users\\wordhaul\\AppData\\LocalLow\\Temp\\Wordhaul.lock\n");
    EXPECT_TRUE(fs::is_empty(prefix.LocalLow() / "Temp"));
}

// A run that gets the lock within the second in which another run started takes the next
// free name and leaves the other logs as they are.
TEST(LogFile, EveryRunOfOneSecondGetsANameOfItsOwn) {
    TempPrefix prefix;
    FaultPlatform system;
    ScopedPlatform use(system);
    system.localTime = [] { return platform::LocalTime{2026, 12, 5, 9, 7, 3}; };
    const fs::path temp = prefix.LocalLow() / "Temp";
    TempPrefix::WriteFile(temp / "Wordhaul_20261205_090703.log", "first");
    TempPrefix::WriteFile(temp / "Wordhaul_20261205_090703_2.log", "second");
    EXPECT_EQ(RunInProcess(), 1);  // empty source
    EXPECT_EQ(TempPrefix::ReadFile(temp / "Wordhaul_20261205_090703.log"), "first");
    EXPECT_EQ(TempPrefix::ReadFile(temp / "Wordhaul_20261205_090703_2.log"), "second");
    EXPECT_TRUE(TempPrefix::ReadFile(temp / "Wordhaul_20261205_090703_3.log")
                    .starts_with("\xEF\xBB\xBFVelta (R) Wordhaul"));
    EXPECT_EQ(std::distance(fs::directory_iterator(temp), {}), 3);
}

// The shell's buffer holds 260 characters with the terminating zero.
TEST(SystemInfo, KnownFolderPathMustFitItsBuffer) {
    FaultPlatform system;
    ScopedPlatform use(system);
    std::wstring answer = L"C:\\" + std::wstring(platform::kMaxPath - 4, L'x');
    system.knownFolderLocalLow = [&answer](std::wstring& path) {
        path = answer;
        return platform::kHresultOk;
    };
    EXPECT_EQ(GetLocalLowFolder(), answer);

    answer += L'y';
    KnownFolderBuffer untouched{};
    EXPECT_EQ(GetKnownFolderLocalLow(&untouched), kHresultInsufficientBuffer);
    EXPECT_EQ(untouched[0], L'\0');
    EXPECT_EQ(GetLocalLowFolder(), L"");
}

}  // namespace
