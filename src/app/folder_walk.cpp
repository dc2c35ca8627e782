#include "app/folder_walk.h"

#include <vector>

#include "app/folder_locations.h"
#include "app/folder_path.h"
#include "app/reporting.h"
#include "import/clam_import.h"
#include "import/wordlist_import.h"
#include "platform/platform.h"

FolderLister::FolderLister(std::wstring folder)
    : folder_(std::move(folder)), pattern_(folder_ + L"\\*") {}

std::wstring FolderLister::First() {
    names_.clear();
    std::vector<std::wstring> entries;
    auto& system = platform::CurrentPlatform();
    if (!system.ListFolder(pattern_, entries)) {
        // A file in the place of a folder holds no dictionaries; a folder that cannot be
        // listed may.
        if (system.IsFolder(folder_)) {
            ReportMessage("ERROR: Unable to list folder");
            ReportWideMessage(folder_);
            ReportMessage("Continuing to process next dictionary ...");
        }
        return Current();
    }
    if (entries.size() > 2) names_.assign(entries.begin() + 2, entries.end());
    return Current();
}

std::wstring FolderLister::Next() {
    if (!names_.empty()) names_.pop_front();
    return Current();
}

EntryKind ClassifyEntry(const std::wstring& name) {
    const auto lastDot = name.rfind(L'.');
    const std::size_t dotPosition = lastDot == std::wstring::npos ? name.size() : lastDot;
    if (dotPosition < 3) return EntryKind::kIgnored;
    if (lastDot == std::wstring::npos || lastDot + 1 == name.size()) {
        return EntryKind::kInvalidExtension;
    }
    return name.compare(lastDot + 1, std::wstring::npos, L"clam") == 0 ? EntryKind::kClam
                                                                       : EntryKind::kWordList;
}

bool SourceHasNoDictionaries() {
    FolderLister source(g_sourceFolder);
    source.First();
    return !source.HasNames();
}

void ProcessAllDictionaries() {
    FolderLister source(g_sourceFolder);
    for (std::wstring name = source.First(); source.HasNames(); name = source.Next()) {
        ProcessFirstLevelFolder(name);
    }
}

void ProcessFirstLevelFolder(const std::wstring& firstLevelFolder) {
    FolderLister level(JoinPath(g_sourceFolder, firstLevelFolder));
    for (std::wstring name = level.First(); level.HasNames(); name = level.Next()) {
        ProcessSecondLevelFolder(name, firstLevelFolder);
    }
}

void ProcessSecondLevelFolder(const std::wstring& secondLevelFolder,
                              const std::wstring& firstLevelFolder) {
    FolderLister level(JoinPath(JoinPath(g_sourceFolder, firstLevelFolder), secondLevelFolder));
    for (std::wstring name = level.First(); level.HasNames(); name = level.Next()) {
        DispatchDictionary(name, secondLevelFolder, firstLevelFolder);
    }
}

void DispatchDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                        const std::wstring& firstLevelFolder) {
    switch (ClassifyEntry(fileName)) {
        case EntryKind::kIgnored:
            return;
        case EntryKind::kInvalidExtension:
            ReportWideMessage(L"ERROR: Invalid file extension");
            ReportWideMessage(fileName);
            ReportMessage("Continuing to process next dictionary ...");
            return;
        case EntryKind::kClam:
            ImportClamDictionary(fileName, secondLevelFolder, firstLevelFolder);
            return;
        case EntryKind::kWordList:
            ImportWordListDictionary(fileName, secondLevelFolder, firstLevelFolder);
            return;
    }
}
