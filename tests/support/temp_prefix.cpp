#include "support/temp_prefix.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {
namespace fs = std::filesystem;

namespace {

// Read-only files and folders cannot be removed as they are.
void RemoveWithContent(const fs::path& path) {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(path, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path, ignored);
}

#ifdef _WIN32
// The entries of the folders of drive C in which tests make files and folders, sorted. Only
// their own entries: some folders of a Wine profile are links to the host's home folder.
std::vector<fs::path> Scan(const fs::path& driveC) {
    const fs::path appData = driveC / "users" / TempPrefix::User() / "AppData";
    std::vector<fs::path> found;
    for (const fs::path& folder :
         {driveC, driveC / "users", appData.parent_path(), appData, appData / "Roaming",
          appData / "LocalLow", appData / "Local", driveC / "Program Files",
          driveC / "Program Files" / "Common Files"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) found.push_back(entry);
    }
    std::sort(found.begin(), found.end());
    return found;
}
#endif

}  // namespace

#ifdef _WIN32
// Wine's drive C cannot move to a fresh folder for each test: the prefix is Wine's own (its
// drive_c reached through drive Z:, the host's root), and a test's leftovers are removed.
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
#else
TempPrefix::TempPrefix() {
    std::random_device seed;
    root_ = fs::temp_directory_path() /
            ("wordhaul-test-" + std::to_string(seed()) + "-" + std::to_string(seed()));
    fs::create_directories(DriveC());
    for (const auto& [name, value] : {std::pair{"WINEPREFIX", root_.string()}, {"USER", User()}}) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
}

TempPrefix::~TempPrefix() {
    for (const auto& [name, old] : saved_) {
        old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str());
    }
    RemoveWithContent(root_);
}
#endif

void TempPrefix::WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempPrefix::ReadFile(const fs::path& path) {
    std::ostringstream all;
    all << std::ifstream(path, std::ios::binary).rdbuf();
    return all.str();
}

}  // namespace testing_support
