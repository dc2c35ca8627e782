// clamtool: makes and inspects phonetic environments, word codes and clam dictionaries.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/platform.h"

namespace clamtool {
// Each command is defined in a file of its own.
extern const Command kMkenvCommand;
extern const Command kEncodeCommand;
extern const Command kKeyCommand;
extern const Command kNewCommand;
extern const Command kAddCommand;
extern const Command kFindCommand;
extern const Command kListCommand;
extern const Command kVerifyCommand;
extern const Command kDumpCommand;
}  // namespace clamtool

namespace {

using clamtool::Command;

// The command table: one entry per command.
const std::array kCommands = {
    &clamtool::kMkenvCommand, &clamtool::kEncodeCommand, &clamtool::kKeyCommand,
    &clamtool::kNewCommand,   &clamtool::kAddCommand,    &clamtool::kFindCommand,
    &clamtool::kListCommand,  &clamtool::kVerifyCommand, &clamtool::kDumpCommand,
};

void Print(const std::string& text) {
    platform::CurrentPlatform().ConsoleWrite(text);
}

void PrintToolHelp() {
    std::string text =
        "usage: clamtool COMMAND [ARGS...]\n"
        "       clamtool COMMAND --help\n\n"
        "Words come as arguments or with --words-file F (one word per line, split at line\n"
        "feeds only, raw bytes). Output: one line per word, tab-separated fields, binary\n"
        "values in lower-case hex, '-' for a missing field. Errors exit with status 2.\n\n"
        "commands:\n";
    for (const Command* c : kCommands) {
        std::string name = c->name;
        name.resize(std::max<std::size_t>(name.size() + 2, 10), ' ');
        text += "  " + name + c->summary + "\n";
    }
    Print(text);
}

void PrintCommandHelp(const Command& c) {
    Print(std::string("usage: clamtool ") + c.name + " " + c.synopsis + "\n\n" + c.summary +
          "\n\n" + c.help);
}

const Command* FindCommand(const std::string& name) {
    for (const Command* c : kCommands) {
        if (name == c->name) return c;
    }
    return nullptr;
}

int Run(const std::vector<std::string>& argv) {
    if (argv.empty()) throw clamtool::Failure("no command; try clamtool --help");
    if (argv[0] == "--help" || argv[0] == "help") {
        PrintToolHelp();
        return clamtool::kExitOk;
    }
    const Command* command = FindCommand(argv[0]);
    if (command == nullptr) throw clamtool::Failure("unknown command '" + argv[0] + "'");
    const clamtool::Args args =
        clamtool::ParseArgs(*command, std::vector<std::string>(argv.begin() + 1, argv.end()));
    if (args.Has("--help")) {
        PrintCommandHelp(*command);
        return clamtool::kExitOk;
    }
    return command->run(args);
}

int Main(const std::vector<std::string>& argv) {
    int status = clamtool::kExitUsage;
    try {
        status = Run(argv);
    } catch (const clamtool::Failure& e) {
        platform::CurrentPlatform().ConsoleFlush();
        std::fprintf(stderr, "clamtool: %s\n", e.what());
    }
    platform::CurrentPlatform().ConsoleFlush();
    return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string utf8;
        platform::WideToUtf8Chars(argv[i], utf8);
        args.push_back(utf8);
    }
    return Main(args);
}
#else
int main(int argc, char** argv) {
    return Main(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
