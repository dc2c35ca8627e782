// Runs the tool on a user profile made for one scenario and collects what it leaves:
// the console text, the exit status, the log file and the destination files.
//
// A scenario is data in, an outcome is data out, so that the same scenario can be run
// by other runners (the Windows build under another runner) and the outcomes compared.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

enum class Access { kNormal, kReadOnly, kUnreadable };

// A file or folder of the user's profile before the run. The path is relative to the
// profile folder (drive_c/users/<user>), with slashes: "AppData/Roaming/...". A path that
// starts with kDriveC is relative to drive C instead, for the installed provider data.
inline constexpr const char* kDriveC = "C:/";

struct ProfileEntry {
    std::string path;
    std::string bytes;
    Access access = Access::kNormal;
    bool folder = false;
};

struct Scenario {
    std::vector<ProfileEntry> entries;
    // The tool runs this many times on the same profile, one outcome per run.
    int runs = 1;
};

struct Outcome {
    std::string console;  // standard output, bytes as written
    int status = -1;
    // Names of the files in AppData/LocalLow/Temp after this run, and the bytes of the
    // log when there is exactly one.
    std::vector<std::string> logNames;
    std::string log;
    // Every other file under AppData/LocalLow, by its path relative to it.
    std::map<std::string, std::string> localLowFiles;
    // Every file under AppData/Roaming, by its path relative to it.
    std::map<std::string, std::string> roamingFiles;
};

class ToolRunner {
  public:
    virtual ~ToolRunner() = default;
    virtual std::string Name() const = 0;
    // The user name the profile belongs to, as it appears in the tool's paths.
    virtual std::string User() const = 0;
    // False when this runner cannot keep a file from the tool (a restricted Access).
    virtual bool CanRestrictAccess() const = 0;
    // Lays out the profile, runs the tool, collects the outcomes; removes the profile.
    // The log folder is emptied after each run, so every outcome has its own log.
    virtual std::vector<Outcome> Run(const Scenario& scenario) = 0;
};

// The runners this build can use, the native one first.
std::vector<std::string> RunnerNames();
std::unique_ptr<ToolRunner> MakeRunner(const std::string& name);

struct CommandResult {
    std::string output;
    int status = -1;
};

// Runs a command with WINEPREFIX and USER set, capturing its standard output.
CommandResult RunCommand(const std::vector<std::string>& command, const std::string& winePrefix,
                         const std::string& user);

}  // namespace e2e
