// What both platform layers must do alike, against the system they run on (Wine for the
// Windows build).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/temp_prefix.h"

namespace {
using testing_support::TempPrefix;

// Both builds walk a tree in this order: Wine's and NTFS's.
TEST(PlatformLayer, ListsDotEntriesFirstThenNamesInUpperCasedOrder) {
    TempPrefix prefix;
    for (const char* name : {"b.txt", "_x", "A", "~y", "a.clam", "Zed"}) {
        TempPrefix::WriteFile(prefix.DriveC() / "list" / name, "");
    }
    std::vector<std::wstring> names;
    ASSERT_TRUE(platform::NativePlatform().ListFolder(L"C:\\list\\*", names));
    const std::vector<std::wstring> expected{L".",     L"..",  L"A",  L"a.clam",
                                             L"b.txt", L"Zed", L"_x", L"~y"};
    EXPECT_EQ(names, expected);
}

TEST(PlatformLayer, Utf8ConvertsWholeTextsBothWaysAndRejectsInvalidInput) {
    const std::string utf8("a\0\xC3\xBC\xF0\x9F\x98\x80", 8);
    std::wstring wide;
    ASSERT_TRUE(platform::Utf8ToWideChars(utf8, wide));
    // Where wchar_t has 16 bits, the last character is a surrogate pair.
    EXPECT_EQ(wide, std::wstring(L"a\0\u00FC\U0001F600", sizeof(wchar_t) == 2 ? 5 : 4));
    std::string back;
    ASSERT_TRUE(platform::WideToUtf8Chars(wide, back));
    EXPECT_EQ(back, utf8);
    for (const char* invalid : {"ok\xC0\xAF", "\xED\xA0\x80", "ok\xE2\x82", "\xFF"}) {
        EXPECT_FALSE(platform::Utf8ToWideChars(invalid, wide)) << invalid;
    }
}

// Holds in one process stand for holds in two: a flock and a share mode both refuse a
// second open of the same file.
TEST(PlatformLayer, ALockFileHasOneHolderAtATimeAndGoesWithItsHold) {
    TempPrefix prefix;
    auto& system = platform::NativePlatform();
    std::filesystem::create_directories(prefix.DriveC() / "locks");
    const std::wstring path = L"C:\\locks\\run.lock";
    std::unique_ptr<platform::HeldLock> first;
    std::unique_ptr<platform::HeldLock> second;
    ASSERT_EQ(system.TryLockFile(path, first), platform::LockAttempt::kTaken);
    EXPECT_EQ(system.TryLockFile(path, second), platform::LockAttempt::kBusy);
    EXPECT_EQ(second, nullptr);
    first.reset();
    EXPECT_FALSE(system.PathExists(path));
    EXPECT_EQ(system.TryLockFile(path, second), platform::LockAttempt::kTaken);
    second.reset();
    EXPECT_EQ(system.TryLockFile(L"C:\\no folder\\run.lock", first),
              platform::LockAttempt::kFailed);
}

TEST(PlatformLayer, TheRunLockWaitIsAMinuteUnlessAValidSettingSaysOtherwise) {
    EXPECT_EQ(platform::RunLockWaitFromSetting(nullptr), 60000u);
    EXPECT_EQ(platform::RunLockWaitFromSetting(""), 60000u);
    EXPECT_EQ(platform::RunLockWaitFromSetting("0"), 0u);
    EXPECT_EQ(platform::RunLockWaitFromSetting("3600000"), 3600000u);
    EXPECT_EQ(platform::RunLockWaitFromSetting("3600001"), 60000u);
    EXPECT_EQ(platform::RunLockWaitFromSetting("99999999999999999999999"), 60000u);
    EXPECT_EQ(platform::RunLockWaitFromSetting("15s"), 60000u);
}

TEST(PlatformLayer, ANewOutputFileIsNeverOneThatExists) {
    TempPrefix prefix;
    auto& system = platform::NativePlatform();
    TempPrefix::WriteFile(prefix.DriveC() / "old.log", "old");
    EXPECT_EQ(system.CreateOutputStream(L"C:\\old.log", platform::StreamMode::kText), nullptr);
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "old.log"), "old");
    auto stream = system.CreateOutputStream(L"C:\\new.log", platform::StreamMode::kText);
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(stream->Write("a\nb\n"));
    EXPECT_TRUE(stream->Close());
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "new.log"), "a\r\nb\r\n");
}

}  // namespace
