#include "command.h"

#include <charconv>
#include <filesystem>

#include "clam/store/clam_status.h"
#include "clam/store/phon_env.h"
#include "platform/platform.h"

namespace clamtool {

const std::string& Args::Option(const std::string& name) const {
    const auto it = options.find(name);
    if (it == options.end()) throw Failure("missing option " + name);
    return it->second;
}

int Args::IntOption(const std::string& name, int low, int high) const {
    const std::string& text = Option(name);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        throw Failure(name + " must be a number from " + std::to_string(low) + " to " +
                      std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& s) {
    for (const auto& item : list) {
        if (item == s) return true;
    }
    return false;
}

}  // namespace

Args ParseArgs(const Command& command, const std::vector<std::string>& argv) {
    Args args;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            args.positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (Contains(command.valueOptions, a)) {
            if (i + 1 >= argv.size()) throw Failure(a + " needs a value");
            if (args.Has(a)) throw Failure(a + " given twice");
            args.options[a] = argv[++i];
        } else if (Contains(command.flagOptions, a) || a == "--help") {
            args.options[a] = "";
        } else {
            throw Failure("unknown option " + a + " for " + command.name);
        }
    }
    return args;
}

std::vector<std::string> Words(const Args& args, std::size_t first) {
    std::vector<std::string> words;
    for (std::size_t i = first; i < args.positional.size(); ++i)
        words.push_back(args.positional[i]);
    if (args.Has("--words-file")) {
        const std::string text = ReadWholeFile(args.Option("--words-file"));
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            words.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    return words;
}

std::wstring PlatformPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) throw Failure("cannot make a path of '" + path + "'");
#ifdef _WIN32
    return absolute.wstring();
#else
    const std::string host = absolute.string();
    std::wstring wide;
    if (platform::Utf8ToWideChars(host, wide)) return wide;
    throw Failure("the path '" + path + "' is not valid UTF-8");
#endif
}

std::string ReadWholeFile(const std::string& path) {
    std::string contents;
    if (!platform::CurrentPlatform().ReadFile(PlatformPath(path), platform::StreamMode::kBinary,
                                              contents)) {
        throw Failure("cannot read " + path);
    }
    return contents;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    auto stream = platform::CurrentPlatform().OpenOutputStream(PlatformPath(path),
                                                               platform::StreamMode::kBinary);
    if (!stream) throw Failure("cannot create " + path);
    const bool written = stream->Write(bytes);
    if (!stream->Close() || !written) throw Failure("cannot write " + path);
}

ClamPhonEnvPtr LoadEnvironment(const std::string& path) {
    auto& os = platform::CurrentPlatform();
    const int fd = os.Open(PlatformPath(path), platform::kOpenReadOnly | platform::kOpenBinary,
                           platform::kPermRead);
    if (fd < 0) throw Failure("cannot open environment " + path);
    int status = kClamStatusOk;
    ClamPhonEnvPtr env(ClamLoadPhonEnv(fd, 0, &status));
    os.Close(fd);
    if (env == nullptr) {
        throw Failure("environment " + path + " does not load: status " + std::to_string(status) +
                      " (" + ClamStatusText(status) + ")");
    }
    return env;
}

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0x0F]);
    }
    return hex;
}

void WriteLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i != 0) line.push_back('\t');
        line += fields[i];
    }
    line.push_back('\n');
    platform::CurrentPlatform().ConsoleWrite(line);
}

}  // namespace clamtool
