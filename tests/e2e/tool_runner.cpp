#include "e2e/tool_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace e2e {
namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The mode is put back, for a later run of the same scenario.
std::string ReadEvenIfUnreadable(const fs::path& path) {
    const fs::perms mode = fs::status(path).permissions();
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_read, fs::perm_options::add, ignored);
    std::string bytes = ReadAll(path);
    fs::permissions(path, mode, fs::perm_options::replace, ignored);
    return bytes;
}

fs::path MakeTempFolder() {
    std::random_device seed;
    const fs::path folder = fs::temp_directory_path() / ("wordhaul-e2e-" + std::to_string(seed()) +
                                                         "-" + std::to_string(seed()));
    fs::create_directories(folder);
    return folder;
}

// Where an entry of a scenario lies on the host.
fs::path EntryPath(const fs::path& profile, const std::string& path) {
    const std::string_view driveC = kDriveC;
    if (path.starts_with(driveC)) {
        return profile.parent_path().parent_path() / path.substr(driveC.size());
    }
    return profile / path;
}

// Every file below a folder, by its path relative to it.
std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file()) continue;
        const std::string relative = fs::relative(item.path(), folder).generic_string();
        files[relative] = ReadEvenIfUnreadable(item.path());
    }
    return files;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

bool HaveSetpriv() {
    return std::system("command -v setpriv >/dev/null 2>&1") == 0;
}

// Root reads and writes every file whatever its mode; without these capabilities it
// meets the file modes like anyone else.
const std::vector<std::string> kDropFileCapabilities = {
    "setpriv", "--inh-caps=-dac_override,-dac_read_search",
    "--bounding-set=-dac_override,-dac_read_search"};

fs::perms PermissionsFor(Access access, bool folder) {
    using p = fs::perms;
    switch (access) {
        case Access::kReadOnly:
            return folder ? p::owner_read | p::owner_exec | p::group_read | p::others_read
                          : p::owner_read | p::group_read | p::others_read;
        case Access::kUnreadable:
            return p::none;
        case Access::kNormal:
            break;
    }
    return folder ? p::owner_all | p::group_read | p::group_exec | p::others_read | p::others_exec
                  : p::owner_read | p::owner_write | p::group_read | p::others_read;
}

class NativeRunner final : public ToolRunner {
  public:
    explicit NativeRunner(std::string tool) : tool_(std::move(tool)) {}

    std::string Name() const override { return "native"; }
    std::string User() const override { return "wordhaul"; }
    bool CanRestrictAccess() const override { return !IsRoot() || HaveSetpriv(); }

    std::vector<Outcome> Run(const Scenario& scenario) override {
        const fs::path prefix = MakeTempFolder();
        const fs::path profile = prefix / "drive_c" / "users" / User();
        fs::create_directories(profile);
        LayOut(profile, scenario);
        std::vector<std::string> command;
        if (IsRoot() && Restricts(scenario)) command = kDropFileCapabilities;
        command.push_back(tool_);
        std::vector<Outcome> outcomes;
        for (int run = 0; run < scenario.runs; ++run) {
            const CommandResult result = RunCommand(command, prefix.string(), User());
            Outcome outcome = Collect(profile / "AppData" / "LocalLow");
            outcome.roamingFiles = FilesUnder(profile / "AppData" / "Roaming");
            outcome.console = result.output;
            outcome.status = result.status;
            outcomes.push_back(std::move(outcome));
        }
        Remove(prefix);
        return outcomes;
    }

  private:
    static bool Restricts(const Scenario& scenario) {
        for (const auto& entry : scenario.entries) {
            if (entry.access != Access::kNormal) return true;
        }
        return false;
    }

    static void LayOut(const fs::path& profile, const Scenario& scenario) {
        for (const auto& entry : scenario.entries) {
            const fs::path path = EntryPath(profile, entry.path);
            if (entry.folder)
                fs::create_directories(path);
            else
                WriteAll(path, entry.bytes);
        }
        // Modes last, so that a read-only folder can first be filled.
        for (const auto& entry : scenario.entries) {
            if (entry.access == Access::kNormal) continue;
            fs::permissions(EntryPath(profile, entry.path),
                            PermissionsFor(entry.access, entry.folder));
        }
    }

    static Outcome Collect(const fs::path& localLow) {
        Outcome outcome;
        const fs::path temp = localLow / "Temp";
        if (fs::is_directory(temp)) {
            for (const auto& file : fs::directory_iterator(temp)) {
                outcome.logNames.push_back(file.path().filename().string());
            }
            if (outcome.logNames.size() == 1) outcome.log = ReadAll(temp / outcome.logNames[0]);
            fs::remove_all(temp);
        }
        outcome.localLowFiles = FilesUnder(localLow);
        return outcome;
    }

    static void Remove(const fs::path& prefix) {
        std::error_code ignored;
        for (const auto& item : fs::recursive_directory_iterator(prefix, ignored)) {
            fs::permissions(item.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(prefix, ignored);
    }

    std::string tool_;
};

}  // namespace

std::vector<std::string> RunnerNames() {
    return {"native"};
}

std::unique_ptr<ToolRunner> MakeRunner(const std::string& name) {
    if (name == "native") {
        const char* tool = std::getenv("WORDHAUL_TOOL");
        if (tool == nullptr || *tool == '\0') {
            throw std::runtime_error("WORDHAUL_TOOL must name the built wordhaul");
        }
        return std::make_unique<NativeRunner>(tool);
    }
    throw std::runtime_error("no tool runner named " + name);
}

CommandResult RunCommand(const std::vector<std::string>& command, const std::string& winePrefix,
                         const std::string& user) {
    std::string line = "env WINEPREFIX=" + Quote(winePrefix) + " USER=" + Quote(user);
    for (const auto& word : command) line += " " + Quote(word);
    line += " </dev/null";
    CommandResult result;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) return result;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, n);
    const int wait = ::pclose(pipe);
    result.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return result;
}

}  // namespace e2e
