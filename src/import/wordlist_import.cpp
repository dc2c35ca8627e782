#include "import/wordlist_import.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "app/folder_path.h"
#include "app/reporting.h"
#include "import/import_paths.h"
#include "import/import_steps.h"
#include "platform/platform.h"

bool ReadWordList(const std::wstring& path, WordSet& set) {
    std::string contents;
    if (!platform::CurrentPlatform().ReadFile(path, platform::StreamMode::kText, contents)) {
        return false;
    }
    set.AssignText(std::move(contents));
    return true;
}

bool ReplaceWordList(const std::wstring& path, const WordSet& set, Descriptor& held) {
    Replacement replacement(path);
    return replacement.Create() && set.WriteText([&replacement](std::string_view piece) {
        return replacement.Write(piece.data(), piece.size());
    }) && replacement.Commit(held);
}

void ImportWordListDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                              const std::wstring& firstLevelFolder) {
    const std::wstring sourcePath =
        MakeSourceDictionaryPath(fileName, secondLevelFolder, firstLevelFolder);
    const std::wstring destinationFolder =
        MakeDestinationFolderPath(secondLevelFolder, firstLevelFolder);
    if (!BeginImport("-----------------------------", sourcePath, destinationFolder)) return;

    auto& system = platform::CurrentPlatform();
    WordSet source;
    const bool wholeSource = ReadWordList(sourcePath, source) || !system.PathExists(sourcePath);
    if (source.Empty()) {
        LogMessage("No words to import");
        LogMessage(kContinuingWithNextDictionary);
        if (!wholeSource) ReportSkip(kCannotReadAllSourceWords, sourcePath);
        return;
    }

    // Held against other writers until it is replaced. One that exists but cannot be read
    // would be rewritten without its own words, and one another program writes would lose
    // what it writes: leave both alone.
    const std::wstring destinationPath = JoinPath(destinationFolder, fileName);
    Descriptor held = HoldDestination(destinationPath, false);
    WordSet destination;
    if (held.IsOpen() || system.PathExists(destinationPath)) {
        const bool read = ReadWordList(destinationPath, destination);
        if (!held.IsOpen() || !read) {
            ReportSkip(
                read ? kCannotWriteDestination : "ERROR: Unable to read destination dictionary",
                destinationPath);
            return;
        }
    }

    // The words are logged as imported only once the destination holds them.
    std::vector<std::string_view> imported;
    const std::uint32_t alreadyPresentCount = destination.MergeFrom(
        source, [&imported](std::string_view word) { imported.push_back(word); });
    if (!ReplaceWordList(destinationPath, destination, held)) {
        ReportSkip(kCannotWriteDestination, destinationPath);
        return;
    }
    for (const std::string_view word : imported) {
        LogMessage("Succesfully imported word:");
        LogMessage(word);
    }
    LogTotals(static_cast<std::uint32_t>(imported.size()), alreadyPresentCount);
}
