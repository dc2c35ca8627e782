#include "app/folder_walk.h"

#include <gtest/gtest.h>

#include "app/folder_locations.h"
#include "app/reporting.h"
#include "support/fault_platform.h"
#include "support/memory_stream.h"
#include "support/temp_prefix.h"

namespace {
using testing_support::FaultPlatform;
using testing_support::MemoryStream;
using testing_support::ScopedPlatform;
using testing_support::TempPrefix;

TEST(Dispatch, ExtensionDecidesTheImport) {
    struct Case {
        const wchar_t* name;
        EntryKind kind;
    };
    const Case cases[] = {
        {L"user.clam", EntryKind::kClam},
        {L"my.user.clam", EntryKind::kClam},
        {L"archive.clam", EntryKind::kClam},
        {L"user.CLAM", EntryKind::kWordList},
        {L"user.Clam", EntryKind::kWordList},
        {L"user.txt", EntryKind::kWordList},
        {L"abc.clamx", EntryKind::kWordList},
        {L"ab.clam", EntryKind::kIgnored},
        {L"a.txt", EntryKind::kIgnored},
        {L".clam", EntryKind::kIgnored},
        {L"ab", EntryKind::kIgnored},
        {L"", EntryKind::kIgnored},
        {L"abc", EntryKind::kInvalidExtension},
        {L"abc.", EntryKind::kInvalidExtension},
        {L"a.b.", EntryKind::kInvalidExtension},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyEntry(c.name), c.kind) << c.name;
}

TEST(FolderLister, DropsTheFirstTwoEntriesWhateverTheirNames) {
    FaultPlatform system;
    ScopedPlatform use(system);
    std::wstring asked;
    system.listFolder = [&asked](const std::wstring& pattern, std::vector<std::wstring>& names) {
        asked = pattern;
        names = {L"first", L"second", L".", L"b"};
        return true;
    };
    FolderLister lister(L"C:\\f");
    EXPECT_FALSE(lister.HasNames());
    EXPECT_EQ(lister.First(), L".");
    EXPECT_EQ(asked, L"C:\\f\\*");
    EXPECT_EQ(lister.Next(), L"b");
    EXPECT_TRUE(lister.HasNames());
    EXPECT_EQ(lister.Next(), L"");
    EXPECT_FALSE(lister.HasNames());

    system.listFolder = [](const std::wstring&, std::vector<std::wstring>& names) {
        names = {L"only"};
        return false;
    };
    EXPECT_EQ(lister.First(), L"");
    EXPECT_FALSE(lister.HasNames());
}

TEST(FolderWalk, VisitsDepthFirstInListingOrder) {
    TempPrefix prefix;
    FaultPlatform system;
    ScopedPlatform use(system);
    const auto source = prefix.Roaming() / "Velta/Linguistics/Dictionaries";
    for (const char* file : {"b/x/two.dic", "a/y/one.dic", "a/Z/three.dic", "b/x/four.dic"}) {
        TempPrefix::WriteFile(source / file, "w\n");
    }
    auto log = std::make_shared<std::string>();
    g_logFile = std::make_unique<MemoryStream>(log);
    ResolveFolders();

    EXPECT_FALSE(SourceHasNoDictionaries());
    ProcessAllDictionaries();
    g_logFile.reset();

    std::vector<std::string> visited;
    for (std::size_t at = log->find("Dictionaries\\"); at != std::string::npos;
         at = log->find("Dictionaries\\", at + 1)) {
        visited.push_back(log->substr(at + 13, log->find('\n', at) - at - 13));
    }
    const std::vector<std::string> expected{"a\\y\\one.dic", "a\\Z\\three.dic", "b\\x\\four.dic",
                                            "b\\x\\two.dic"};
    EXPECT_EQ(visited, expected);
}

}  // namespace
