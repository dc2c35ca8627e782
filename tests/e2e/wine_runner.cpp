#include "e2e/wine_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace e2e {
namespace fs = std::filesystem;
namespace {

const std::string kUser = "wordhaul";
const std::string kVersionKey = "HKCU\\Software\\Wine\\AppDefaults\\wordhaul.exe";

// The environment of every Wine command. Under LANG=C Wine would strip the high bit of
// non-ASCII file names; C.UTF-8 gives it the code pages 1252 and 437.
std::vector<std::string> WineEnvironment(const fs::path& prefix) {
    return {"env",
            "-u",
            "DISPLAY",
            "-u",
            "WAYLAND_DISPLAY",
            "WINEPREFIX=" + prefix.string(),
            "USER=" + kUser,
            "LANG=C.UTF-8",
            "LC_ALL=C.UTF-8",
            "WINEDEBUG=-all"};
}

std::string ShellLine(const std::vector<std::string>& words) {
    std::string line;
    for (const auto& word : words) line += (line.empty() ? "" : " ") + ShellQuote(word);
    return line;
}

// Wine's helper processes keep the output of the command that started them open: any
// command that may start one runs with its output sent to /dev/null.
int RunQuietly(const std::vector<std::string>& words) {
    return std::system((ShellLine(words) + " </dev/null >/dev/null 2>&1").c_str());
}

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

class WineSession {
  public:
    static WineSession& Get() {
        if (!current_) current_.reset(new WineSession());
        return *current_;
    }
    static void End() { current_.reset(); }

    const fs::path& Prefix() const { return prefix_; }
    fs::path Profile() const { return prefix_ / "drive_c" / "users" / kUser; }

    // The words that run a Windows program in the prefix.
    std::vector<std::string> Wine(const std::vector<std::string>& program) const {
        return Join(Join(WineEnvironment(prefix_), lessPower_), Join({"wine"}, program));
    }

    ~WineSession() {
        RunQuietly(Join(WineEnvironment(prefix_), {"wineserver", "-k"}));
        if (temporary_) RemoveTree(prefix_);
    }

  private:
    WineSession() {
        const char* kept = std::getenv("WORDHAUL_E2E_WINEPREFIX");
        temporary_ = kept == nullptr || *kept == '\0';
        prefix_ = temporary_ ? TemporaryFolder() : fs::path(kept);
        if (IsRoot() && HaveSetpriv()) lessPower_ = DropFileCapabilities();
        const auto wine = WineEnvironment(prefix_);
        if (!fs::exists(prefix_ / kReadyMark)) MakePrefix();
        // A server left by an earlier run has the wrong powers, or none of ours.
        RunQuietly(Join(wine, {"wineserver", "-k"}));
        if (RunQuietly(Join(Join(wine, lessPower_), {"wineserver", "-p"})) != 0) {
            throw std::runtime_error("cannot start a Wine server");
        }
        // Also the warm-up that starts Wine's helper processes, and the end of a Windows
        // version that an interrupted run may have left set.
        RunQuietly(Wine({"reg", "delete", kVersionKey, "/f"}));
    }

    void MakePrefix() {
        if (fs::exists(prefix_) && !fs::is_empty(prefix_)) {
            if (!fs::exists(prefix_ / "system.reg")) {
                throw std::runtime_error(prefix_.string() + " is not a Wine prefix");
            }
            RemoveTree(prefix_);
        }
        fs::create_directories(prefix_);
        const auto wine = WineEnvironment(prefix_);
        if (RunQuietly(Join(wine, {"wineboot", "-i"})) != 0 ||
            RunQuietly(Join(wine, {"wineserver", "-w"})) != 0 ||
            !fs::is_directory(Profile() / "AppData" / "LocalLow")) {
            throw std::runtime_error("cannot make a Wine prefix in " + prefix_.string());
        }
        std::ofstream(prefix_ / kReadyMark) << "made for the end-to-end tests\n";
    }

    static fs::path TemporaryFolder() {
        std::random_device seed;
        return fs::temp_directory_path() / ("wordhaul-e2e-wine-" + std::to_string(seed()));
    }

    static constexpr const char* kReadyMark = "wordhaul-e2e-ready";
    static inline std::unique_ptr<WineSession> current_;
    fs::path prefix_;
    bool temporary_ = true;
    std::vector<std::string> lessPower_;
};

// Ends the session after the last test, failed or not.
class WineSessionEnd : public ::testing::Environment {
  public:
    void TearDown() override { WineSession::End(); }
};
[[maybe_unused]] const auto* const kSessionEnd =
    ::testing::AddGlobalTestEnvironment(new WineSessionEnd);

// The trees of the prefix that scenarios fill: removed before and after each one.
void ClearScenarioTrees(const WineSession& session, const Scenario& scenario) {
    const fs::path appData = session.Profile() / "AppData";
    RemoveTree(appData / "Roaming" / "Velta");
    for (const auto& entry : fs::directory_iterator(appData / "LocalLow")) RemoveTree(entry);
    RemoveTree(session.Prefix() / "drive_c" / "Program Files" / "Common Files" / "Velta");
    for (const auto& entry : scenario.entries) {
        RemoveTree(EntryPath(session.Profile(), entry.path));
    }
}

// The Windows C runtime writes every line end of the console text as CR LF.
std::string WithLfLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// Removes the Windows version setting however the runs end.
class WindowsVersionSetting {
  public:
    WindowsVersionSetting(const WineSession& session, const std::string& version)
        : session_(session) {
        if (RunQuietly(session.Wine(
                {"reg", "add", kVersionKey, "/v", "Version", "/d", version, "/f"})) != 0) {
            throw std::runtime_error("cannot set the Windows version " + version);
        }
    }
    ~WindowsVersionSetting() { RunQuietly(session_.Wine({"reg", "delete", kVersionKey, "/f"})); }

  private:
    const WineSession& session_;
};

}  // namespace

std::vector<Outcome> WineRunner::Run(const Scenario& scenario) {
    const WineSession& session = WineSession::Get();
    ClearScenarioTrees(session, scenario);
    LayOutProfile(session.Profile(), scenario);
    std::vector<Outcome> outcomes;
    for (int run = 0; run < scenario.runs; ++run) {
        const CommandResult result =
            RunCommand(session.Wine({tool_}), session.Prefix().string(), User());
        Outcome outcome = CollectOutcome(session.Profile());
        outcome.console = WithLfLineEnds(result.output);
        outcome.status = result.status;
        outcomes.push_back(std::move(outcome));
    }
    ClearScenarioTrees(session, scenario);
    return outcomes;
}

std::vector<Outcome> WineRunner::RunAsWindowsVersion(const Scenario& scenario,
                                                     const std::string& version) {
    WindowsVersionSetting setting(WineSession::Get(), version);
    return Run(scenario);
}

bool HaveWindowsBuild() {
    const char* tool = std::getenv("WORDHAUL_WINE_TOOL");
    return tool != nullptr && *tool != '\0';
}

std::unique_ptr<WineRunner> MakeWineRunner() {
    if (!HaveWindowsBuild()) throw std::runtime_error("WORDHAUL_WINE_TOOL must name wordhaul.exe");
    return std::make_unique<WineRunner>(std::getenv("WORDHAUL_WINE_TOOL"));
}

}  // namespace e2e
