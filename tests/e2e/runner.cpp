#include "e2e/runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace fs = std::filesystem;
namespace {

using Words = std::vector<std::string>;
const std::string kVersionKey = "HKCU\\Software\\Wine\\AppDefaults\\wordhaul.exe";

Words Join(Words head, const Words& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::string ShellLine(const Words& words) {
    std::string line;
    for (const auto& word : words) {
        line += " '";
        for (char c : word) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += "'";
    }
    return line;
}

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string ReadAll(const fs::path& path) {
    std::ostringstream all;
    all << std::ifstream(path, std::ios::binary).rdbuf();
    return all.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh temporary folder, removed with everything in it.
struct TempFolder {
    fs::path path;
    explicit TempFolder(const std::string& stem) {
        std::string name = (fs::temp_directory_path() / (stem + "-XXXXXX")).string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot make " + name);
        path = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

struct CommandResult {
    std::string output;
    int status = -1;
};

// Runs a command with WINEPREFIX and USER set, capturing its standard output.
CommandResult RunCommand(const std::vector<std::string>& command, const std::string& prefix) {
    const std::string line =
        ShellLine(Join({"env", "WINEPREFIX=" + prefix, "USER=" + kUser}, command)) + " </dev/null";
    CommandResult result;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) return result;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        result.output.append(chunk, n);
    }
    const int wait = ::pclose(pipe);
    result.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return result;
}

// Wine's helper processes keep the output of the command that started them open: a command
// that may start one writes to /dev/null.
int RunQuietly(const Words& words) {
    return std::system((ShellLine(words) + " </dev/null >/dev/null 2>&1").c_str());
}

// Root reads and writes every file whatever its mode; behind these words a program meets
// the modes like anyone else.
Words LessPower() {
    if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null 2>&1") != 0) return {};
    return {"setpriv", "--inh-caps=-dac_override,-dac_read_search",
            "--bounding-set=-dac_override,-dac_read_search"};
}

// The prefix that a runner's scenarios share, and the words that run a program in it. The
// build's script makes Wine's prefix (kept in $WORDHAUL_E2E_WINEPREFIX) and runs its server,
// which opens the files for the tool and so must meet the file modes too.
struct Session {
    fs::path prefix;
    Words launcher = LessPower();
    std::string tool;
    bool wine = false;
    ~Session() {
        if (wine) RunQuietly({"sh", WORDHAUL_WINE_SERVER_SCRIPT, "stop", prefix.string()});
    }
};

std::unique_ptr<Session> StartSession(const std::string& runner) {
    auto session = std::make_unique<Session>();
    session->wine = runner == "wine";
    session->tool = Setting(session->wine ? "WORDHAUL_WINE_TOOL" : "WORDHAUL_TOOL");
    session->prefix = Setting("WORDHAUL_E2E_WINEPREFIX");
    if (session->tool.empty() || (session->wine && session->prefix.empty())) {
        throw std::runtime_error("the build names no tool or no Wine prefix for " + runner);
    }
    if (!session->wine) {
        static const TempFolder folder("wordhaul-e2e");
        session->prefix = folder.path;
        return session;
    }
    const std::string prefix = session->prefix.string();
    if (RunQuietly(Join(session->launcher, {"sh", WORDHAUL_WINE_SERVER_SCRIPT, "start", prefix}))) {
        throw std::runtime_error("cannot start a Wine server in " + prefix);
    }
    // Under LANG=C Wine would strip the high bit of non-ASCII file names.
    session->launcher = Join({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "LANG=C.UTF-8",
                              "LC_ALL=C.UTF-8", "WINEDEBUG=-all"},
                             Join(session->launcher, {"wine"}));
    // A Windows version that an interrupted run left set must go.
    RunCommand(Join(session->launcher, {"reg", "delete", kVersionKey, "/f"}), prefix);
    return session;
}

// One session a runner, ended with the test program.
Session& SessionFor(const std::string& runner) {
    static std::map<std::string, std::unique_ptr<Session>> sessions;
    auto& session = sessions[runner];
    if (!session) session = StartSession(runner);
    return *session;
}

void LayOut(const fs::path& prefix, const fs::path& profile, const Scenario& scenario) {
    for (const auto& entry : scenario.entries) {
        const fs::path path = entry.path.starts_with("C:/")
                                  ? prefix / "drive_c" / entry.path.substr(3)
                                  : profile / entry.path;
        if (entry.path.ends_with('/')) {
            fs::create_directories(path);
            continue;
        }
        WriteAll(path, entry.bytes);
        using p = fs::perms;
        if (entry.access != Access::kNormal) {
            fs::permissions(path, entry.access == Access::kReadOnly
                                      ? p::owner_read | p::group_read | p::others_read
                                      : p::none);
        }
    }
}

// Files the scenario made unreadable are read all the same; their mode stays for a next run.
std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ignored;
    for (const auto& item : fs::recursive_directory_iterator(folder, ignored)) {
        if (!item.is_regular_file()) continue;
        const fs::perms mode = item.status().permissions();
        fs::permissions(item.path(), fs::perms::owner_read, fs::perm_options::add, ignored);
        files[fs::relative(item.path(), folder).generic_string()] = ReadAll(item.path());
        fs::permissions(item.path(), mode, fs::perm_options::replace, ignored);
    }
    return files;
}

// The log folder is emptied, so that every run has a log of its own.
Outcome Collect(const fs::path& appData, const CommandResult& run, bool wine) {
    Outcome outcome;
    // The Windows C runtime writes every line end of the console as CR LF.
    outcome.console = wine ? std::regex_replace(run.output, std::regex("\r\n"), "\n") : run.output;
    outcome.status = run.status;
    const fs::path temp = appData / "LocalLow" / "Temp";
    std::error_code ignored;
    for (const auto& file : fs::directory_iterator(temp, ignored)) {
        outcome.logNames.push_back(file.path().filename().string());
    }
    if (outcome.logNames.size() == 1) outcome.log = ReadAll(temp / outcome.logNames[0]);
    fs::remove_all(temp, ignored);
    outcome.localLowFiles = FilesUnder(appData / "LocalLow");
    outcome.roamingFiles = FilesUnder(appData / "Roaming");
    return outcome;
}

std::string EnvPath(int language) {
    return Setting("WORDHAUL_ENV_DIR") + (language < 10 ? "/lang0" : "/lang") +
           std::to_string(language) + ".env";
}

const fs::path& Scratch() {
    static const TempFolder folder("wordhaul-clam");
    return folder.path;
}

fs::path Dictionary() {
    return Scratch() / "dictionary.clam";
}

// Runs a clamtool command on the scratch dictionary.
CommandResult ClamTool(const std::string& command, int language,
                       const std::vector<std::string>& more = {}) {
    std::vector<std::string> words = {Setting("WORDHAUL_CLAMTOOL"), command, Dictionary().string(),
                                      "--env", EnvPath(language)};
    words.insert(words.end(), more.begin(), more.end());
    return RunCommand(words, Scratch().string());
}

}  // namespace

std::vector<std::string> RunnerNames() {
    if (Setting("WORDHAUL_WINE_TOOL").empty()) return {"native"};
    return {"native", "wine"};
}

bool CanRestrictAccess() {
    return ::geteuid() != 0 || !LessPower().empty();
}

std::vector<Outcome> RunScenario(const std::string& runner, const Scenario& scenario,
                                 const std::string& windowsVersion) {
    const Profile profile(runner, scenario);
    const Session& session = SessionFor(runner);
    const std::string prefix = session.prefix.string();
    const auto reg = [&](const Words& words) {
        return RunCommand(Join(session.launcher, Join({"reg"}, words)), prefix).status;
    };
    if (!windowsVersion.empty() &&
        reg({"add", kVersionKey, "/v", "Version", "/d", windowsVersion, "/f"}) != 0) {
        throw std::runtime_error("cannot set the Windows version " + windowsVersion);
    }
    std::vector<Outcome> outcomes;
    for (int run = 0; run < scenario.runs; ++run) {
        const CommandResult result = RunCommand(Join(session.launcher, {session.tool}), prefix);
        outcomes.push_back(Collect(profile.AppData(), result, session.wine));
    }
    if (!windowsVersion.empty()) reg({"delete", kVersionKey, "/f"});
    return outcomes;
}

Profile::Profile(const std::string& runner, const Scenario& scenario) : runner_(runner) {
    const Session& session = SessionFor(runner);
    Clear();
    LayOut(session.prefix, AppData().parent_path(), scenario);
}

Profile::~Profile() {
    Clear();
}

// The trees that scenarios fill.
void Profile::Clear() const {
    const fs::path root = SessionFor(runner_).prefix;
    std::error_code ignored;
    fs::remove_all(AppData() / "Roaming" / "Velta", ignored);
    for (const auto& entry : fs::directory_iterator(AppData() / "LocalLow", ignored)) {
        fs::remove_all(entry.path(), ignored);
    }
    fs::remove_all(root / "drive_c/Program Files/Common Files/Velta", ignored);
}

fs::path Profile::AppData() const {
    return SessionFor(runner_).prefix / "drive_c" / "users" / kUser / "AppData";
}

std::vector<std::string> Profile::Command(const std::vector<std::string>& settings) const {
    const Session& session = SessionFor(runner_);
    return Join(Join({"env", "WINEPREFIX=" + session.prefix.string(), "USER=" + kUser}, settings),
                Join(session.launcher, {session.tool}));
}

std::vector<std::string> Profile::HolderCommand(const std::string& mode,
                                                const std::string& path) const {
    const Session& session = SessionFor(runner_);
    const fs::path host = AppData().parent_path() / path;
    if (!session.wine) return {Setting("WORDHAUL_FILE_HOLDER"), mode, host.string()};
    std::string windows = "C:\\users\\" + kUser + "\\" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return Join({"env", "WINEPREFIX=" + session.prefix.string(), "USER=" + kUser},
                Join(session.launcher, {Setting("WORDHAUL_WINE_FILE_HOLDER"), mode, windows}));
}

Outcome Profile::Collect(const std::string& console, int status) const {
    return e2e::Collect(AppData(), {console, status}, SessionFor(runner_).wine);
}

std::string EnvBytes(int language) {
    return ReadAll(EnvPath(language));
}

std::string MakeClam(int language, const std::vector<std::string>& words) {
    std::string list;
    for (const std::string& word : words) list += word + "\n";
    WriteAll(Scratch() / "words", list);
    fs::remove(Dictionary());
    const CommandResult made = ClamTool("new", language);
    const CommandResult added =
        ClamTool("add", language, {"--words-file", (Scratch() / "words").string()});
    if (made.status != 0 || added.status != 0 ||
        added.output.find("refused") != std::string::npos) {
        throw std::runtime_error("clamtool did not store every word:\n" + added.output);
    }
    return ReadAll(Dictionary());
}

std::vector<std::string> ListClam(const std::string& bytes, int language) {
    WriteAll(Dictionary(), bytes);
    const CommandResult listed = ClamTool("list", language);
    if (listed.status != 0) throw std::runtime_error("clamtool list failed");
    std::istringstream lines(listed.output);
    std::vector<std::string> words;
    for (std::string word; std::getline(lines, word);) words.push_back(word);
    return words;
}

std::string VerifyClam(const std::string& bytes, int language, int* depth) {
    WriteAll(Dictionary(), bytes);
    const CommandResult verified = ClamTool("verify", language);
    if (verified.status != 0) return verified.output.empty() ? "verify failed" : verified.output;
    // "<blocks> blocks, depth <depth>, <records> live records"
    const auto at = verified.output.find("depth ");
    if (depth != nullptr && at != std::string::npos) {
        *depth = std::atoi(verified.output.c_str() + at + 6);
    }
    return "";
}

std::string AsVersion5(std::string bytes) {
    if (bytes.size() < 2) throw std::runtime_error("not a clam dictionary");
    bytes[0] = bytes[1];
    bytes[1] = 0;
    return bytes;
}

}  // namespace e2e
