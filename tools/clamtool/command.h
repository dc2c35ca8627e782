// clamtool's commands and the conventions they share.
//
// A command is one Command object in a file of its own, listed once in the table of main.cpp.
// Output: one line per word, fields separated by a tab, binary values as lower-case hex, '-'
// for a field that does not exist. Errors: one line on standard error and exit status 2.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "clam/store/clam_owners.h"

struct ClamPhonEnv;

namespace clamtool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitProblems = 1;
inline constexpr int kExitUsage = 2;

// Thrown for bad arguments, unreadable files and environments that do not load; main prints
// the message on one line and exits with kExitUsage.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Args {
    std::vector<std::string> positional;  // raw bytes, in order
    std::map<std::string, std::string> options;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    const std::string& Option(const std::string& name) const;  // Failure when missing
    // The option as a whole number within the bounds; Failure otherwise.
    int IntOption(const std::string& name, int low, int high) const;
};

struct Command {
    const char* name;
    const char* synopsis;  // the arguments, as shown in usage lines
    const char* summary;   // one line for the command list
    const char* help;      // the rest of `clamtool NAME --help`
    // Options that take a value ("--lang"); "--help" is always known.
    std::vector<std::string> valueOptions;
    // Options without a value ("--force").
    std::vector<std::string> flagOptions;
    int (*run)(const Args& args);
};

// Splits argv (after the command name) into positional arguments and the command's options.
// "--" ends the options; anything else that starts with "--" must be a known option.
Args ParseArgs(const Command& command, const std::vector<std::string>& argv);

// The words of a command: its positional arguments from `first` on, then the lines of
// --words-file (split at line feeds only; a final line feed ends the last word).
std::vector<std::string> Words(const Args& args, std::size_t first = 0);

// A path given on the command line as the platform takes it (absolute, wide).
std::wstring PlatformPath(const std::string& path);

std::string ReadWholeFile(const std::string& path);                    // Failure when unreadable
void WriteWholeFile(const std::string& path, std::string_view bytes);  // Failure on error

// Loads a phonetic environment; Failure naming the status code and its meaning.
ClamPhonEnvPtr LoadEnvironment(const std::string& path);

// Owns a loaded environment.
class Environment {
  public:
    explicit Environment(const std::string& path) : env_(LoadEnvironment(path)) {}
    ClamPhonEnv* get() const { return env_.get(); }

  private:
    ClamPhonEnvPtr env_;
};

// Lower-case hex of the bytes; "-" stays for a missing field via Field().
std::string Hex(std::string_view bytes);
inline std::string Field(bool present, std::string_view bytes) {
    return present ? Hex(bytes) : std::string("-");
}

// Encodes a word as the word addition does (no empty word, at most 63 bytes): a pair with
// ClamEncodePair, a marked word with ClamEncodeMarkedWord, any other with ClamEncodeWord, into
// a 128-byte buffer. Returns the class, 0 when the word cannot be encoded.
int EncodeAsAdded(const std::string& word, int language, std::string& encoded);

// Writes the fields as one tab-separated line on standard output.
void WriteLine(const std::vector<std::string>& fields);

}  // namespace clamtool
