#include "import/import_steps.h"

#include "app/folder_path.h"
#include "app/reporting.h"

void ReportSkip(const char* error, const std::wstring& path) {
    ReportMessage(error);
    ReportWideMessage(path);
    ReportMessage(kContinuingWithNextDictionary);
}

// Written in full for any 32-bit count.
void LogTotals(std::uint32_t importedCount, std::uint32_t alreadyPresentCount) {
    LogMessage("\nTotal count of imported words: ");
    LogMessage(std::to_string(importedCount));
    LogMessage(
        "\nTotal count of words to be imported being already present in destination "
        "dictionary: ");
    LogMessage(std::to_string(alreadyPresentCount));
}

bool BeginImport(const char* underline, const std::wstring& sourcePath,
                 const std::wstring& destinationFolder) {
    LogMessage("\nImporting words from dictionary:");
    LogMessage(underline);
    LogWideMessage(sourcePath);
    if (CreateFolderPath(destinationFolder)) return true;
    ReportSkip("ERROR: Unable to create folder", destinationFolder);
    return false;
}
