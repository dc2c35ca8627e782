#include "app/system_info.h"

#include <algorithm>

bool IsWindowsVista() {
    platform::OsVersion version{};
    if (!platform::CurrentPlatform().GetOsVersion(version)) return false;
    return version.platformId == 2 && version.majorVersion >= 6;
}

std::int32_t GetKnownFolderLocalLow(KnownFolderBuffer* buffer) {
    std::wstring path;
    const std::int32_t status = platform::CurrentPlatform().GetKnownFolderLocalLow(path);
    if (buffer == nullptr || status != platform::kHresultOk) return status;
    if (path.size() >= buffer->size()) return kHresultInsufficientBuffer;
    buffer->fill(L'\0');
    std::copy(path.begin(), path.end(), buffer->begin());
    return status;
}

std::wstring GetLocalLowFolder() {
    if (!IsWindowsVista()) return {};
    KnownFolderBuffer buffer{};
    if (GetKnownFolderLocalLow(&buffer) != platform::kHresultOk) return {};
    return std::wstring(buffer.data());
}
