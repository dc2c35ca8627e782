// A temporary Wine-style prefix for tests: a fresh folder set as WINEPREFIX (and USER),
// removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

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
};

}  // namespace testing_support
