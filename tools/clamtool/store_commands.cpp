// clamtool new, add, find, list, verify and dump: clam dictionaries made, filled, read and
// checked through the store itself.
#include <array>
#include <cstdint>
#include <string>

#include "clam/coding/word_ops.h"
#include "clam/store/clam_owners.h"
#include "clam/store/clam_status.h"
#include "clam/store/clam_verify.h"
#include "clam/store/phon_env.h"
#include "command.h"
#include "platform/platform.h"

namespace clamtool {
namespace {

constexpr std::size_t kListCapacity = 256;

const std::string& FileArgument(const Args& args) {
    if (args.positional.empty()) throw Failure("missing FILE");
    return args.positional[0];
}

// An environment, a cache and one open dictionary, released in the right order.
class Dictionary {
  public:
    Dictionary(const Args& args, std::uint32_t mode)
        : path_(FileArgument(args)), env_(args.Option("--env")), cache_(ClamNewBlockCache(5, 10)) {
        if (cache_ == nullptr) throw Failure("out of memory");
        int status = 0;
        handle_.reset(ClamOpenFile(PlatformPath(path_), mode, cache_.get(), env_.get(), &status));
        if (handle_ == nullptr) {
            throw Failure("cannot open " + path_ + ": status " + std::to_string(status) + " (" +
                          ClamStatusText(status) + ")");
        }
    }
    ClamHandle* handle() const { return handle_.get(); }
    bool Failed() const { return (handle_->flags & kClamFailed) != 0; }
    // Writes the changed blocks back; Failure when they do not all reach the file.
    void Close() {
        const int written = CloseClamHandle(handle_);
        if (written == 0)
            throw Failure("cannot write " + path_ + " back: status 3 (" +
                          std::string(ClamStatusText(kClamStatusIoError)) + ")");
    }

  private:
    std::string path_;
    Environment env_;
    ClamBlockCachePtr cache_;
    ClamHandlePtr handle_;  // dropped first: it writes through the cache
};

void Print(const std::string& text) {
    platform::CurrentPlatform().ConsoleWrite(text);
}

int RunNew(const Args& args) {
    const std::string& path = FileArgument(args);
    if (args.positional.size() > 1) throw Failure("new takes one FILE");
    if (!args.Has("--force") && platform::CurrentPlatform().PathExists(PlatformPath(path))) {
        throw Failure(path + " exists; --force replaces it");
    }
    Dictionary dictionary(args, kClamCreate);
    dictionary.Close();
    return kExitOk;
}

int RunAdd(const Args& args) {
    Dictionary dictionary(args, 0);
    for (const std::string& word : Words(args, 1)) {
        WriteLine({ClamAddWord(word.c_str(), dictionary.handle()) != 0 ? "added" : "refused"});
    }
    dictionary.Close();
    return kExitOk;
}

int RunFind(const Args& args) {
    Dictionary dictionary(args, kClamReadOnly);
    for (const std::string& word : Words(args, 1)) {
        std::uint32_t value = 0;
        std::uint32_t flags = 0;
        if (ClamFindWord(word.c_str(), dictionary.handle(), &value, &flags) == 1) {
            WriteLine({"present", std::to_string(value)});
        } else {
            WriteLine({"absent"});
        }
    }
    if (dictionary.Failed()) throw Failure(FileArgument(args) + " is damaged");
    return kExitOk;
}

int RunList(const Args& args) {
    if (args.positional.size() > 1) throw Failure("list takes one FILE");
    Dictionary dictionary(args, kClamReadOnly);
    std::array<char, kListCapacity> word{};
    while (ClamNextWord(word.data(), word.size(), dictionary.handle()) == 1) {
        Print(std::string(word.data()) + "\n");
    }
    if (dictionary.Failed()) throw Failure(FileArgument(args) + " is damaged");
    return kExitOk;
}

int RunVerify(const Args& args) {
    const std::string& path = FileArgument(args);
    const Environment env(args.Option("--env"));
    const std::string bytes = ReadWholeFile(path);
    const ClamVerifyReport report = ClamVerifyImage(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, *env.get());
    for (const std::string& problem : report.problems) Print(problem + "\n");
    if (!report.problems.empty()) return kExitProblems;
    Print(std::to_string(report.blocks) + " blocks, depth " + std::to_string(report.depth) + ", " +
          std::to_string(report.liveRecords) + " live records\n");
    return kExitOk;
}

std::string HexU16(std::uint32_t value) {
    const char bytes[2] = {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
    return Hex({bytes, 2});
}

void DumpBlock(std::uint32_t number, const std::uint8_t* block) {
    const std::size_t used = ClamUsedLength(block);
    WriteLine({"block " + std::to_string(number), ClamIsLeaf(block) ? "leaf" : "index",
               "link " + HexU16(ClamGetU16(block)), "used " + std::to_string(used)});
    std::array<char, kClamKeyBufferSize> key{};
    std::size_t keyLength = 0;
    std::size_t offset = kClamHeaderSize;
    for (;;) {
        const std::size_t start = offset;
        std::uint16_t value = 0;
        const auto step =
            ClamDecodeRecord({block, kClamBlockSize}, used, offset, key, keyLength, value);
        if (step == ClamRecordStep::kEnd) return;
        if (step == ClamRecordStep::kDamaged) {
            WriteLine({"", std::to_string(start), "damaged"});
            return;
        }
        WriteLine({"", std::to_string(start), std::to_string(value),
                   std::to_string(block[start + 2]), Hex({key.data(), keyLength})});
    }
}

int RunDump(const Args& args) {
    const std::string bytes = ReadWholeFile(FileArgument(args));
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t blocks = bytes.size() / kClamBlockSize;
    if (blocks > 0) {
        WriteLine({"header", "version " + std::to_string(data[0]),
                   "language " + std::to_string(data[1])});
    }
    for (std::size_t n = 0; n < blocks; ++n) {
        DumpBlock(static_cast<std::uint32_t>(n), data + n * kClamBlockSize);
    }
    if (bytes.size() % kClamBlockSize != 0) {
        WriteLine({"trailing", std::to_string(bytes.size() % kClamBlockSize) + " bytes"});
    }
    return kExitOk;
}

}  // namespace

extern const Command kNewCommand;
const Command kNewCommand = {
    "new",
    "FILE --env ENV [--force]",
    "create an empty clam dictionary",
    "Creates FILE as a dictionary of the environment's language holding only its sentinel.\n"
    "An existing FILE is replaced only with --force.\n",
    {"--env"},
    {"--force"},
    RunNew,
};

extern const Command kAddCommand;
const Command kAddCommand = {
    "add",
    "FILE --env ENV [--words-file F] [WORD...]",
    "add words to a clam dictionary",
    "Adds each word as the import does. One line per word: added, or refused when the word\n"
    "cannot be stored (too long, not encodable, or a dictionary opened read-only).\n",
    {"--env", "--words-file"},
    {},
    RunAdd,
};

extern const Command kFindCommand;
const Command kFindCommand = {
    "find",
    "FILE --env ENV [--words-file F] [WORD...]",
    "look words up in a clam dictionary",
    "One line per word: present and the stored value in decimal, or absent.\n",
    {"--env", "--words-file"},
    {},
    RunFind,
};

extern const Command kListCommand;
const Command kListCommand = {
    "list",
    "FILE --env ENV",
    "list the words of a clam dictionary",
    "Every word in key order, as the import reads it: raw bytes and a line feed.\n",
    {"--env"},
    {},
    RunList,
};

extern const Command kVerifyCommand;
const Command kVerifyCommand = {
    "verify",
    "FILE --env ENV",
    "check every rule of a clam dictionary's tree",
    "Prints each problem on a line and exits 1 when there is any; otherwise prints the\n"
    "blocks in use, the depth and the live records, and exits 0.\n",
    {"--env"},
    {},
    RunVerify,
};

extern const Command kDumpCommand;
const Command kDumpCommand = {
    "dump",
    "FILE",
    "show the blocks and records of a clam file",
    "One line per block (number, leaf or index, link, used length), then one per record:\n"
    "offset, value, drop and the decoded key in hex.\n",
    {},
    {},
    RunDump,
};

}  // namespace clamtool
