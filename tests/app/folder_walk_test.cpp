#include "app/folder_walk.h"

#include <gtest/gtest.h>

#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {

TEST(Dispatch, ExtensionAfterTheLastDotDecidesTheImport) {
    const std::pair<EntryKind, std::vector<std::wstring>> cases[] = {
        {EntryKind::kClam, {L"user.clam", L"my.user.clam", L"archive.clam"}},
        {EntryKind::kWordList, {L"user.CLAM", L"user.Clam", L"abc.clamx"}},
        {EntryKind::kIgnored, {L"ab.clam", L"a.txt", L".clam", L"ab", L""}},
        {EntryKind::kInvalidExtension, {L"abc", L"abc.", L"a.b."}}};
    for (const auto& [kind, names] : cases) {
        for (const std::wstring& name : names) EXPECT_EQ(ClassifyEntry(name), kind) << name;
    }
}

TEST(FolderLister, DropsTheFirstTwoEntriesWhateverTheirNames) {
    testing_support::TempPrefix prefix;
    testing_support::FaultPlatform system;
    testing_support::ScopedPlatform use(system);
    bool listed = true;
    system.listFolder = [&listed](const std::wstring& pattern, std::vector<std::wstring>& names) {
        EXPECT_EQ(pattern, L"C:\\f\\*");
        names = {L"first", L"second", L".", L"b"};
        return listed;
    };
    FolderLister lister(L"C:\\f");
    EXPECT_EQ(lister.First(), L".");
    EXPECT_EQ(lister.Next(), L"b");
    EXPECT_EQ(lister.Next(), L"");
    EXPECT_FALSE(lister.HasNames());

    // A folder that cannot be listed is empty, and reported unless it is no folder at all.
    listed = false;
    EXPECT_EQ(lister.First(), L"");
    EXPECT_FALSE(lister.HasNames());
    EXPECT_EQ(system.console, "");
    testing_support::TempPrefix::WriteFile(prefix.DriveC() / "f" / "b", "");
    EXPECT_EQ(lister.First(), L"");
    EXPECT_EQ(system.console,
              "ERROR: Unable to list folder\nC:\\f\nContinuing to process next dictionary ...\n");
}

}  // namespace
