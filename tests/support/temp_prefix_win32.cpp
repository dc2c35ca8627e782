// TempPrefix of the Windows build. The tests run under Wine, whose drive C cannot move to a
// fresh folder for each test; so the prefix is Wine's own (reached through drive Z:, the
// host's root, so that its drive_c is C:), and a test's leftovers are removed at the end.
#ifdef _WIN32

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "support/temp_prefix.h"

namespace testing_support {
namespace fs = std::filesystem;
namespace {

// The folders in which tests make files and folders. Only their own entries are tracked:
// some folders of a Wine profile are links to the host's home folder.
std::vector<fs::path> TrackedFolders(const fs::path& driveC) {
    const fs::path profile = driveC / "users" / TempPrefix::User();
    const fs::path appData = profile / "AppData";
    return {driveC,
            driveC / "users",
            profile,
            appData,
            appData / "Roaming",
            appData / "LocalLow",
            appData / "Local",
            driveC / "Program Files",
            driveC / "Program Files" / "Common Files"};
}

// The entries of the tracked folders, sorted.
std::vector<fs::path> Scan(const fs::path& driveC) {
    std::vector<fs::path> found;
    for (const fs::path& folder : TrackedFolders(driveC)) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

void RemoveWithContent(const fs::path& path) {
    std::error_code ignored;
    // Read-only files and folders cannot be removed as they are.
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(path, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path, ignored);
}

}  // namespace

TempPrefix::TempPrefix() {
    const wchar_t* prefix = _wgetenv(L"WINEPREFIX");
    if (prefix == nullptr || *prefix == L'\0') {
        throw std::runtime_error("the tests of the Windows build run under Wine, with WINEPREFIX");
    }
    root_ = fs::path(std::wstring(L"Z:") + prefix).make_preferred();
    existing_ = Scan(DriveC());
}

TempPrefix::~TempPrefix() {
    for (const fs::path& path : Scan(DriveC())) {
        if (!std::binary_search(existing_.begin(), existing_.end(), path)) RemoveWithContent(path);
    }
}

}  // namespace testing_support

#endif
