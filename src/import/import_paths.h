// Paths shared by both import procedures; the trees below the source and destination
// folders mirror each other.
#pragma once

#include <string>

// g_sourceFolder\firstLevelFolder\secondLevelFolder\fileName
std::wstring MakeSourceDictionaryPath(const std::wstring& fileName,
                                      const std::wstring& secondLevelFolder,
                                      const std::wstring& firstLevelFolder);

// g_destinationFolder\firstLevelFolder\secondLevelFolder
std::wstring MakeDestinationFolderPath(const std::wstring& secondLevelFolder,
                                       const std::wstring& firstLevelFolder);

// g_providerFolder\<secondLevelFolder>phon.env: the folder name is a prefix of the file
// name, not a folder level.
std::wstring MakePhonEnvPath(const std::wstring& secondLevelFolder);
