#include "app/folder_locations.h"

#include <string_view>

#include "app/folder_path.h"
#include "app/reporting.h"
#include "app/system_info.h"
#include "platform/platform.h"

std::wstring g_sourceFolder;
std::wstring g_destinationFolder;
std::wstring g_providerFolder;

namespace {

const std::wstring kDefaultFolder = L"c:\\Program Files\\Common Files";
const std::wstring kMakerFolder = L"Velta";
const std::wstring kLinguisticsFolder = L"Linguistics";
const std::wstring kDictionariesFolder = L"Dictionaries";
const std::wstring kLinguisticsVersion = L"5.0";
const std::wstring kProvidersFolder = L"Providers";
const std::wstring kProviderName = L"Kestrel";
const std::wstring kProviderVersion = L"11.00";

std::wstring ShellFolder(int first, int second) {
    auto& system = platform::CurrentPlatform();
    std::wstring path;
    if (system.GetSpecialFolderPath(first, path)) return path;
    if (system.GetSpecialFolderPath(second, path)) return path;
    return kDefaultFolder;
}

std::wstring DictionariesUnder(const std::wstring& base) {
    return JoinPath(JoinPath(JoinPath(base, kMakerFolder), kLinguisticsFolder),
                    kDictionariesFolder);
}

}  // namespace

std::wstring GetCommonFilesFolder() {
    return ShellFolder(platform::kCsidlProgramFilesCommon, platform::kCsidlPrograms);
}

std::wstring GetRoamingAppDataFolder() {
    return ShellFolder(platform::kCsidlAppData, platform::kCsidlPrograms);
}

std::wstring GetLinguisticsFolder() {
    return JoinPath(JoinPath(JoinPath(GetCommonFilesFolder(), kMakerFolder), kLinguisticsFolder),
                    kLinguisticsVersion);
}

std::wstring GetProvidersFolder(const std::wstring& base,
                                const std::optional<std::wstring>& subpath) {
    const std::wstring providers = JoinPath(base, kProvidersFolder);
    return subpath ? JoinPath(providers, *subpath) : providers;
}

std::wstring GetSourceDictionaryFolder() {
    return DictionariesUnder(GetRoamingAppDataFolder());
}

std::wstring GetDestinationDictionaryFolder() {
    KnownFolderBuffer localLow{};
    if (IsWindowsVista() && GetKnownFolderLocalLow(&localLow) == platform::kHresultOk) {
        return DictionariesUnder(localLow.data());
    }
    return DictionariesUnder(GetRoamingAppDataFolder());
}

std::wstring GetProviderFolder() {
    const std::wstring subpath = JoinPath(RemoveTrailingBackslash(kProviderName), kProviderVersion);
    return GetProvidersFolder(GetLinguisticsFolder(), subpath);
}

void ResolveFolders() {
    g_destinationFolder = GetDestinationDictionaryFolder();
    g_sourceFolder = GetSourceDictionaryFolder();
    g_providerFolder = GetProviderFolder();
    LogWideMessage(L"\nSOURCE user dictionary folder to import words:");
    LogWideMessage(std::wstring(47, L'-'));
    LogWideMessage(g_sourceFolder);
    LogWideMessage(L"\nDESTINATION user dictionary folder to import words:");
    LogWideMessage(std::wstring(52, L'-'));
    LogWideMessage(g_destinationFolder);
}
