// Runs the built tool on a user profile made for one scenario and collects what it leaves,
// with the native build or with the Windows build under Wine; makes and reads the scenarios'
// clam dictionaries.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace e2e {

inline const std::string kUser = "wordhaul";

enum class Access { kNormal, kReadOnly, kUnreadable };

// A file of the profile before the run, or a folder when its path ends with "/". The path is
// relative to the profile (drive_c/users/<user>), or to drive C when it starts with "C:/".
struct ProfileEntry {
    std::string path;
    std::string bytes;
    Access access = Access::kNormal;
};

struct Scenario {
    std::vector<ProfileEntry> entries;
    int runs = 1;  // on the same profile, one outcome each
};

struct Outcome {
    std::string console;  // CR LF read as LF under Wine
    int status = -1;
    std::vector<std::string> logNames;  // the files of AppData/LocalLow/Temp
    std::string log;                    // when there is exactly one
    // The other files under AppData/LocalLow and AppData/Roaming, by relative path.
    std::map<std::string, std::string> localLowFiles;
    std::map<std::string, std::string> roamingFiles;
};

// "native", and "wine" when $WORDHAUL_WINE_TOOL names a Windows build.
std::vector<std::string> RunnerNames();
// False when root cannot drop its power over file modes here.
bool CanRestrictAccess();
// Lays out the profile, runs the tool, collects the outcomes and clears the profile again.
// Under Wine, `windowsVersion` ("winxp") is the version reported to the tool.
std::vector<Outcome> RunScenario(const std::string& runner, const Scenario& scenario,
                                 const std::string& windowsVersion = "");

// A scenario's profile laid out for runs that a test starts itself; cleared when it goes.
class Profile {
  public:
    Profile(const std::string& runner, const Scenario& scenario);
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    std::filesystem::path AppData() const;
    // The words that run the tool on the profile, with more environment ("NAME=value").
    std::vector<std::string> Command(const std::vector<std::string>& settings = {}) const;
    // The words that run the file holder of the runner's system ("lock" or "write") on a
    // path relative to the profile.
    std::vector<std::string> HolderCommand(const std::string& mode, const std::string& path) const;
    // What a run left, with its console output and status; its log folder is emptied.
    Outcome Collect(const std::string& console, int status) const;

  private:
    void Clear() const;
    std::string runner_;
};

// Clam dictionaries are made and read with our clamtool, and environments are those the build
// compiled from data/env ($WORDHAUL_CLAMTOOL, $WORDHAUL_ENV_DIR), whatever runs the tool.
std::string EnvBytes(int language);  // 1, 2, 10, 14, 18, 22 or 39
// A new dictionary holding the words, added as the import adds them; all must be stored.
std::string MakeClam(int language, const std::vector<std::string>& words);
// The words of a dictionary in key order, as the import reads them.
std::vector<std::string> ListClam(const std::string& bytes, int language);
// What `clamtool verify` finds wrong with a dictionary, empty when its tree is sound; then
// `depth` receives the tree's depth.
std::string VerifyClam(const std::string& bytes, int language, int* depth = nullptr);
// The dictionary with a version-5 header: the language id first, then a byte outside 1..39.
std::string AsVersion5(std::string bytes);

}  // namespace e2e
