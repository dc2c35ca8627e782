#include "import/import_paths.h"

#include "app/folder_locations.h"
#include "app/folder_path.h"

std::wstring MakeSourceDictionaryPath(const std::wstring& fileName,
                                      const std::wstring& secondLevelFolder,
                                      const std::wstring& firstLevelFolder) {
    return JoinPath(JoinPath(JoinPath(g_sourceFolder, firstLevelFolder), secondLevelFolder),
                    fileName);
}

std::wstring MakeDestinationFolderPath(const std::wstring& secondLevelFolder,
                                       const std::wstring& firstLevelFolder) {
    return JoinPath(JoinPath(g_destinationFolder, firstLevelFolder), secondLevelFolder);
}

std::wstring MakePhonEnvPath(const std::wstring& secondLevelFolder) {
    return JoinPath(g_providerFolder, secondLevelFolder + L"phon.env");
}
