#include "e2e/clam_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "e2e/tool_runner.h"

namespace e2e {
namespace fs = std::filesystem;

namespace {

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        throw std::runtime_error(std::string(name) + " must be set by the test's build");
    }
    return value;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

fs::path EnvPath(int language) {
    return fs::path(Setting("WORDHAUL_ENV_DIR")) /
           ((language < 10 ? "lang0" : "lang") + std::to_string(language) + ".env");
}

// A folder of its own for one clamtool job, removed with it.
class WorkFolder {
  public:
    WorkFolder() {
        std::random_device seed;
        path_ = fs::temp_directory_path() /
                ("wordhaul-clam-" + std::to_string(seed()) + "-" + std::to_string(seed()));
        fs::create_directories(path_);
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::string Prefix() const { return path_.string(); }

  private:
    fs::path path_;
};

CommandResult ClamTool(const WorkFolder& work, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), Setting("WORDHAUL_CLAMTOOL"));
    return RunCommand(arguments, work.Prefix(), "wordhaul");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

}  // namespace

std::string EnvBytes(int language) {
    return ReadBytes(EnvPath(language));
}

std::string MakeClam(int language, const std::vector<std::string>& words) {
    const WorkFolder work;
    const std::string dictionary = (work / "made.clam").string();
    const std::string env = EnvPath(language).string();
    if (ClamTool(work, {"new", dictionary, "--env", env}).status != 0) {
        throw std::runtime_error("clamtool new failed");
    }
    std::string wordsFile;
    for (const std::string& word : words) wordsFile += word + "\n";
    WriteBytes(work / "words", wordsFile);
    const CommandResult added = ClamTool(
        work, {"add", dictionary, "--env", env, "--words-file", (work / "words").string()});
    if (added.status != 0 || added.output.find("refused") != std::string::npos) {
        throw std::runtime_error("clamtool add did not store every word:\n" + added.output);
    }
    return ReadBytes(dictionary);
}

std::vector<std::string> ListClam(const std::string& bytes, int language) {
    const WorkFolder work;
    WriteBytes(work / "listed.clam", bytes);
    const CommandResult listed = ClamTool(
        work, {"list", (work / "listed.clam").string(), "--env", EnvPath(language).string()});
    if (listed.status != 0) throw std::runtime_error("clamtool list failed");
    return Lines(listed.output);
}

std::string VerifyClam(const std::string& bytes, int language, int* depth) {
    const WorkFolder work;
    WriteBytes(work / "checked.clam", bytes);
    const CommandResult verified = ClamTool(
        work, {"verify", (work / "checked.clam").string(), "--env", EnvPath(language).string()});
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
