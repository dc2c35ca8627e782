// The three program-wide folders, derived from the system's shell folders.
#pragma once

#include <optional>
#include <string>

// Absolute, without a trailing backslash; set once by ResolveFolders.
extern std::wstring g_sourceFolder;
extern std::wstring g_destinationFolder;
extern std::wstring g_providerFolder;

std::wstring GetCommonFilesFolder();
std::wstring GetRoamingAppDataFolder();
std::wstring GetLinguisticsFolder();
std::wstring GetProvidersFolder(const std::wstring& base,
                                const std::optional<std::wstring>& subpath = std::nullopt);
std::wstring GetSourceDictionaryFolder();
std::wstring GetDestinationDictionaryFolder();
std::wstring GetProviderFolder();

// Sets the three folders and logs the source and destination ones.
void ResolveFolders();
