// The walk over the source folder (source, first level, second level, entries) and the
// dispatch of every entry to an import procedure by its extension.
#pragma once

#include <deque>
#include <string>

// The listing of one folder: the names of its entries in the system's order, less the
// first two entries, which are "." and ".." on every system the tool knows.
class FolderLister {
  public:
    explicit FolderLister(std::wstring folder);

    // Reads the whole listing; the first name, or "" when there is none.
    std::wstring First();
    // Drops the current name; the next one, or "" when none is left.
    std::wstring Next();
    bool HasNames() const { return !names_.empty(); }

  private:
    std::wstring Current() const { return names_.empty() ? std::wstring() : names_.front(); }

    std::wstring folder_;
    std::wstring pattern_;
    std::deque<std::wstring> names_;
};

enum class EntryKind { kIgnored, kInvalidExtension, kClam, kWordList };

// What DispatchDictionary does with an entry of this name.
EntryKind ClassifyEntry(const std::wstring& name);

bool SourceHasNoDictionaries();
void ProcessAllDictionaries();
void ProcessFirstLevelFolder(const std::wstring& firstLevelFolder);
void ProcessSecondLevelFolder(const std::wstring& secondLevelFolder,
                              const std::wstring& firstLevelFolder);
void DispatchDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                        const std::wstring& firstLevelFolder);
