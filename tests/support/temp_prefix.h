// A temporary Wine-style prefix for tests: a fresh folder set as WINEPREFIX (and USER),
// removed with everything in it at the end.
//
// In the Windows build, which runs its tests under Wine, the prefix is the one that Wine
// runs in (its drive C is the system's C:), and what a test adds to drive C, the user's
// profile and the common files is removed at the end.
#pragma once

#include <filesystem>
#include <string>
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
    std::filesystem::path Roaming() const;
    std::filesystem::path LocalLow() const;
    std::filesystem::path CommonFiles() const;
    static std::string User() { return "wordhaul"; }

    // Writes a file, creating its folders.
    static void WriteFile(const std::filesystem::path& path, const std::string& bytes);
    static std::string ReadFile(const std::filesystem::path& path);

  private:
    std::filesystem::path root_;
    std::string oldPrefix_;
    std::string oldUser_;
    bool hadPrefix_ = false;
    bool hadUser_ = false;
    std::vector<std::filesystem::path> existing_;  // Windows: what was there before
};

}  // namespace testing_support
