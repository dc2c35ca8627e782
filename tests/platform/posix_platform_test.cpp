#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"
#include "support/temp_prefix.h"

namespace {
using testing_support::TempPrefix;

TEST(PosixPlatform, MapsDriveCAndBackslashesIntoThePrefix) {
    TempPrefix prefix;
    const std::string root = prefix.DriveC().string();
    EXPECT_EQ(platform::posix::MapToHostPath(L"C:\\users\\x\\a.txt"), root + "/users/x/a.txt");
    EXPECT_EQ(platform::posix::MapToHostPath(L"c:"), root);
    EXPECT_EQ(platform::posix::MapToHostPath(L"\\Temp"), root + "/Temp");
    EXPECT_EQ(platform::posix::MapToHostPath(L"rel\\dir"), "rel/dir");
    EXPECT_EQ(platform::posix::MapToHostPath(L"/tmp/host"), "/tmp/host");
    EXPECT_EQ(platform::posix::MapToHostPath(L"D:\\x"),
              prefix.Root().string() + "/dosdevices/d:/x");
}

TEST(PosixPlatform, ListsDotEntriesFirstThenUpperCasedOrder) {
    TempPrefix prefix;
    for (const char* name : {"b.txt", "_x", "A", "~y", "a.clam", "Zed"}) {
        TempPrefix::WriteFile(prefix.DriveC() / "list" / name, "");
    }
    std::vector<std::wstring> names;
    ASSERT_TRUE(platform::NativePlatform().ListFolder(L"C:\\list\\*", names));
    const std::vector<std::wstring> expected{L".",     L"..",  L"A",  L"a.clam",
                                             L"b.txt", L"Zed", L"_x", L"~y"};
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(platform::NativePlatform().ListFolder(L"C:\\missing\\*", names));
    EXPECT_FALSE(platform::NativePlatform().ListFolder(L"C:\\list\\b.txt\\*", names));
}

TEST(PosixPlatform, TextStreamsWriteCrLfAndTextReadsStopAtCtrlZ) {
    TempPrefix prefix;
    auto& p = platform::NativePlatform();
    auto out = p.OpenOutputStream(L"C:\\t.log", platform::StreamMode::kText);
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->Write("a\nb\n"));
    EXPECT_TRUE(out->Close());
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "t.log"), "a\r\nb\r\n");

    TempPrefix::WriteFile(prefix.DriveC() / "w.txt", "one\r\ntwo\x1Athree");
    std::string text;
    ASSERT_TRUE(p.ReadFile(L"C:\\w.txt", platform::StreamMode::kText, text));
    EXPECT_EQ(text, "one\ntwo");
    ASSERT_TRUE(p.ReadFile(L"C:\\w.txt", platform::StreamMode::kBinary, text));
    EXPECT_EQ(text, "one\r\ntwo\x1Athree");
}

TEST(PosixPlatform, FolderCreationReportsExistingFolders) {
    TempPrefix prefix;
    auto& p = platform::NativePlatform();
    EXPECT_EQ(p.MakeFolder(L"C:\\new"), 0);
    EXPECT_EQ(p.MakeFolder(L"C:\\new"), platform::kErrExists);
    EXPECT_EQ(p.MakeFolder(L"C:\\no\\such"), platform::kErrNotFound);
}

TEST(PosixPlatform, ReplaceKeepsModeAndRefusesReadOnlyTargets) {
    TempPrefix prefix;
    auto& p = platform::NativePlatform();
    TempPrefix::WriteFile(prefix.DriveC() / "d.txt", "old");
    TempPrefix::WriteFile(prefix.DriveC() / "d.tmp", "new");
    ASSERT_TRUE(p.ReplaceFile(L"C:\\d.txt", L"C:\\d.tmp"));
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "d.txt"), "new");

    TempPrefix::WriteFile(prefix.DriveC() / "d.tmp", "newer");
    std::filesystem::permissions(prefix.DriveC() / "d.txt", std::filesystem::perms::owner_read |
                                                                std::filesystem::perms::group_read);
    EXPECT_FALSE(p.ReplaceFile(L"C:\\d.txt", L"C:\\d.tmp"));
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "d.txt"), "new");
}

TEST(Utf8, ConvertsBothWaysAndRejectsInvalidInput) {
    std::wstring wide;
    ASSERT_TRUE(platform::Utf8ToWideChars("gr\xC3\xBC\xC3\x9F", wide));
    EXPECT_EQ(wide, L"gr\u00FC\u00DF");
    std::string back;
    ASSERT_TRUE(platform::WideToUtf8Chars(wide, back));
    EXPECT_EQ(back, "gr\xC3\xBC\xC3\x9F");
    EXPECT_FALSE(platform::Utf8ToWideChars("\xC0\xAF", wide));      // overlong
    EXPECT_FALSE(platform::Utf8ToWideChars("\xED\xA0\x80", wide));  // surrogate
    EXPECT_FALSE(platform::Utf8ToWideChars("\xE2\x82", wide));      // truncated
}

}  // namespace
