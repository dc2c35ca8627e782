#include "app/folder_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {
using testing_support::Op;

TEST(FolderPath, ParentsAndTrailingBackslashes) {
    const std::pair<const wchar_t*, const wchar_t*> parents[] = {
        {L"C:\\Users\\user\\AppData\\LocalLow\\Temp", L"C:\\Users\\user\\AppData\\LocalLow"},
        {L"C:\\Temp", L"C:"},
        {L"\\Temp", L"c:"},
        {L"C:", L"C:"},
        {L"x", L"x"},
        {L"C:\\a\\\\b", L"C:\\a"}};
    for (const auto& [path, parent] : parents) EXPECT_EQ(GetParentFolder(path), parent) << path;
    EXPECT_EQ(RemoveTrailingBackslash(L""), L"c:");
    EXPECT_EQ(RemoveTrailingBackslash(L"\\"), L"");
}

TEST(FolderPath, CreatesMissingParentsOutermostFirstAndEndsWhereNoneCanBeMade) {
    testing_support::TempPrefix prefix;
    testing_support::FaultPlatform system;
    testing_support::ScopedPlatform use(system);
    std::filesystem::create_directories(prefix.DriveC() / "a");

    ASSERT_TRUE(CreateFolderPath(L"C:\\a\\b\\c"));
    EXPECT_TRUE(std::filesystem::is_directory(prefix.DriveC() / "a" / "b" / "c"));
    EXPECT_EQ(system.Calls(Op::kMakeFolder), 3);  // c fails for want of b; b, then c
    EXPECT_TRUE(CreateFolderPath(L"C:\\a\\b\\c"));

    // An unknown drive is its own parent: the recursion must end.
    EXPECT_FALSE(CreateFolderPath(L"Q:\\x\\y"));
    // The second attempt, after the parent was made, fails.
    system.FailNth(Op::kMakeFolder, 3);
    EXPECT_FALSE(CreateFolderPath(L"C:\\p\\q"));
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() / "p" / "q"));
}

}  // namespace
