#include "import/clam_import.h"

#include "app/reporting.h"
#include "import/import_paths.h"

// Clam dictionaries cannot be read yet: every one is reported as a file that cannot be
// opened, and the walk goes on.
void ImportClamDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                          const std::wstring& firstLevelFolder) {
    const std::wstring sourcePath =
        MakeSourceDictionaryPath(fileName, secondLevelFolder, firstLevelFolder);
    LogMessage("\nImporting words from dictionary:");
    LogMessage("----------------------------");
    LogWideMessage(sourcePath);
    ReportMessage("ERROR: Unable to open clam file");
    ReportWideMessage(sourcePath);
    ReportMessage("Continuing to process next dictionary ...");
}
