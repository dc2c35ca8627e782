// A temporary Wine-style prefix for tests: a fresh folder set as WINEPREFIX (and USER),
// removed with everything in it at the end. Under Wine (the Windows build) it is Wine's own
// prefix, and what a test adds to drive C, the profile and the common files is removed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

class TempPrefix {
  public:
    TempPrefix();
    ~TempPrefix();
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path DriveC() const { return root_ / "drive_c"; }
    std::filesystem::path Roaming() const { return AppData() / "Roaming"; }
    std::filesystem::path LocalLow() const { return AppData() / "LocalLow"; }
    static std::string User() { return "wordhaul"; }

    // Writes a file, creating its folders.
    static void WriteFile(const std::filesystem::path& path, const std::string& bytes);
    static std::string ReadFile(const std::filesystem::path& path);

  private:
    std::filesystem::path AppData() const { return DriveC() / "users" / User() / "AppData"; }

    std::filesystem::path root_;
    // POSIX: the environment variables as they were; Windows: what drive C held before.
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::vector<std::filesystem::path> existing_;
};

}  // namespace testing_support
