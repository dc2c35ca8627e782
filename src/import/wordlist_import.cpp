#include "import/wordlist_import.h"

#include <cstdint>

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

bool WriteWordList(const std::wstring& path, const WordSet& set) {
    auto out = platform::CurrentPlatform().OpenOutputStream(path, platform::StreamMode::kBinary);
    if (!out) return false;
    const bool written =
        set.WriteText([&out](std::string_view piece) { return out->Write(piece); });
    return out->Close() && written;
}

bool ReplaceWordList(const std::wstring& path, const WordSet& set) {
    auto& system = platform::CurrentPlatform();
    const std::wstring replacement = path + L".wordhaul-new";
    if (WriteWordList(replacement, set) && system.ReplaceFile(path, replacement)) return true;
    system.DeleteFile(replacement);
    return false;
}

void ImportWordListDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                              const std::wstring& firstLevelFolder) {
    const std::wstring sourcePath =
        MakeSourceDictionaryPath(fileName, secondLevelFolder, firstLevelFolder);
    const std::wstring destinationFolder =
        MakeDestinationFolderPath(secondLevelFolder, firstLevelFolder);
    if (!BeginImport("-----------------------------", sourcePath, destinationFolder)) return;

    WordSet source;
    ReadWordList(sourcePath, source);
    if (source.Empty()) {
        LogMessage("No words to import");
        LogMessage(kContinuingWithNextDictionary);
        return;
    }

    // A destination that exists but cannot be read would be rewritten without its own
    // words: leave it alone.
    const std::wstring destinationPath = JoinPath(destinationFolder, fileName);
    WordSet destination;
    if (!ReadWordList(destinationPath, destination) &&
        platform::CurrentPlatform().PathExists(destinationPath)) {
        ReportSkip("ERROR: Unable to read destination dictionary", destinationPath);
        return;
    }

    std::uint32_t importedCount = 0;
    const std::uint32_t alreadyPresentCount =
        destination.MergeFrom(source, [&importedCount](std::string_view word) {
            ++importedCount;
            LogMessage("Succesfully imported word:");
            LogMessage(word);
        });

    const bool saved = ReplaceWordList(destinationPath, destination);
    LogTotals(importedCount, alreadyPresentCount);
    if (!saved) ReportSkip("ERROR: Unable to write destination dictionary", destinationPath);
}
