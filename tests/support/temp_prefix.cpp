#include "support/temp_prefix.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace testing_support {
namespace fs = std::filesystem;

#ifndef _WIN32
TempPrefix::TempPrefix() {
    std::random_device seed;
    root_ = fs::temp_directory_path() /
            ("wordhaul-test-" + std::to_string(seed()) + "-" + std::to_string(seed()));
    fs::create_directories(root_ / "drive_c");
    if (const char* p = std::getenv("WINEPREFIX")) {
        hadPrefix_ = true;
        oldPrefix_ = p;
    }
    if (const char* u = std::getenv("USER")) {
        hadUser_ = true;
        oldUser_ = u;
    }
    setenv("WINEPREFIX", root_.c_str(), 1);
    setenv("USER", User().c_str(), 1);
}

TempPrefix::~TempPrefix() {
    if (hadPrefix_)
        setenv("WINEPREFIX", oldPrefix_.c_str(), 1);
    else
        unsetenv("WINEPREFIX");
    if (hadUser_)
        setenv("USER", oldUser_.c_str(), 1);
    else
        unsetenv("USER");
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
}
#endif

fs::path TempPrefix::Roaming() const {
    return DriveC() / "users" / User() / "AppData" / "Roaming";
}
fs::path TempPrefix::LocalLow() const {
    return DriveC() / "users" / User() / "AppData" / "LocalLow";
}
fs::path TempPrefix::CommonFiles() const {
    return DriveC() / "Program Files" / "Common Files";
}

void TempPrefix::WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempPrefix::ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

}  // namespace testing_support
