#include "app/folder_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {
using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;
using testing_support::TempPrefix;

TEST(FolderPath, ParentsAndTrailingBackslashes) {
    EXPECT_EQ(GetParentFolder(L"C:\\Users\\user\\AppData\\LocalLow\\Temp"),
              L"C:\\Users\\user\\AppData\\LocalLow");
    EXPECT_EQ(GetParentFolder(L"C:\\Temp"), L"C:");
    EXPECT_EQ(GetParentFolder(L"\\Temp"), L"c:");
    EXPECT_EQ(GetParentFolder(L"C:"), L"C:");
    EXPECT_EQ(GetParentFolder(L"x"), L"x");
    EXPECT_EQ(GetParentFolder(L"C:\\a\\\\b"), L"C:\\a");

    EXPECT_EQ(RemoveTrailingBackslash(L""), L"c:");
    EXPECT_EQ(RemoveTrailingBackslash(L"\\"), L"");
    EXPECT_EQ(RemoveTrailingBackslash(L"C:\\a\\"), L"C:\\a");
    EXPECT_EQ(RemoveTrailingBackslash(L"C:\\a"), L"C:\\a");
}

TEST(FolderPath, CreatesMissingParentsFromTheOutermostInwards) {
    TempPrefix prefix;
    std::filesystem::create_directories(prefix.DriveC() / "a");
    FaultPlatform system;
    ScopedPlatform use(system);

    ASSERT_TRUE(CreateFolderPath(L"C:\\a\\b\\c"));
    EXPECT_TRUE(std::filesystem::is_directory(prefix.DriveC() / "a" / "b" / "c"));
    // c fails for want of b; b is made, then c.
    EXPECT_EQ(system.Calls(Op::kMakeFolder), 3);

    EXPECT_TRUE(CreateFolderPath(L"C:\\a\\b\\c"));  // there already
}

TEST(FolderPath, GivesUpWhereNoParentCanBeMade) {
    TempPrefix prefix;
    FaultPlatform system;
    ScopedPlatform use(system);

    // An unknown drive is its own parent: the recursion must end.
    EXPECT_FALSE(CreateFolderPath(L"Q:\\x\\y"));

    // The second attempt, after the parent was made, fails.
    system.FailNth(Op::kMakeFolder, 3);
    EXPECT_FALSE(CreateFolderPath(L"C:\\p\\q"));
    EXPECT_TRUE(std::filesystem::is_directory(prefix.DriveC() / "p"));
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() / "p" / "q"));
}

}  // namespace
