// Import of one clam dictionary into the clam dictionary of the same name in the
// destination tree.
#pragma once

#include <string>

void ImportClamDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                          const std::wstring& firstLevelFolder);
