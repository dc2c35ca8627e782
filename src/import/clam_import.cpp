#include "import/clam_import.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/folder_path.h"
#include "app/reporting.h"
#include "clam/coding/word_ops.h"
#include "clam/store/clam_owners.h"
#include "import/import_paths.h"
#include "import/import_steps.h"
#include "import/replacement.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kReadBufferSize = 256;
static_assert(kReadBufferSize <= 256, "a word's length must fit in a byte");
constexpr int kPhonEnvFlags =
    platform::kOpenReadOnly | platform::kOpenBinary | platform::kOpenSequential;
constexpr std::uint32_t kReadWriteMode = 0;
constexpr const char* kCannotOpenDestination =
    "ERROR: Unable to open/create clam file in read/write mode";

// The source's words in enumeration order, duplicates included, each with its NUL, back to
// back in one buffer: a word costs its own bytes and one more.
class WordList {
  public:
    void Append(const char* word, std::size_t length) {
        bytes_.append(word, length);
        bytes_.push_back('\0');
        lengths_.push_back(static_cast<std::uint8_t>(length));
    }
    bool Empty() const { return bytes_.empty(); }

    std::size_t Count() const { return lengths_.size(); }

    template <typename Visit>
    void ForEach(Visit&& visit) const {
        ForEachWhile([&](const char* word) {
            visit(word);
            return true;
        });
    }
    // Stops at the first word for which `visit` is false.
    template <typename Visit>
    void ForEachWhile(Visit&& visit) const {
        std::size_t at = 0;
        for (const std::uint8_t length : lengths_) {
            if (!visit(bytes_.c_str() + at)) return;
            at += length + 1;
        }
    }

  private:
    std::string bytes_;                  // each word with its NUL
    std::vector<std::uint8_t> lengths_;  // words are shorter than kReadBufferSize
};

// The descriptor is closed right after the load, whatever the load gave. Descriptor 0
// counts as a failed open, as in the store, but is ours all the same.
ClamPhonEnvPtr LoadPhonEnv(const std::wstring& path) {
    auto& system = platform::CurrentPlatform();
    const int fd = system.Open(path, kPhonEnvFlags, platform::kPermRead);
    if (fd == -1) return nullptr;
    if (fd == 0) {
        system.Close(fd);
        return nullptr;
    }
    int status = 0;
    ClamPhonEnvPtr env(ClamLoadPhonEnv(fd, 0, &status));
    system.Close(fd);
    if (status != 0) env.reset();
    return env;
}

// The console gets a short text; the log names the file that was tried.
void ReportMissingPhonEnv(const std::wstring& path) {
    ConsoleLine("ERROR: Failed to import words for current dictionary");
    platform::CurrentPlatform().ConsoleFlush();
    LogMessage("ERROR: Unable to open kestrel's phonetic file");
    LogWideMessage(path);
    ReportMessage(kContinuingWithNextDictionary);
}

ClamHandlePtr OpenDictionary(const std::wstring& path, std::uint32_t mode, ClamBlockCache* cache,
                             ClamPhonEnv* env) {
    int status = 0;
    ClamHandlePtr handle(ClamOpenFile(path, mode, cache, env, &status));
    if (status != 0) handle.reset();
    return handle;
}

// The handle does not own the descriptor.
ClamHandlePtr OpenDescriptor(int fd, std::uint32_t mode, ClamBlockCache* cache, ClamPhonEnv* env) {
    int status = 0;
    ClamHandlePtr handle(ClamOpenDescriptor(fd, mode, cache, env, &status));
    if (status != 0) handle.reset();
    return handle;
}

// The store ends every word with a NUL within the buffer; a word that filled it whole would
// be cut before its last byte, never read past the buffer.
std::size_t WordLength(const std::array<char, kReadBufferSize>& word) {
    const void* end = std::memchr(word.data(), '\0', word.size());
    return end != nullptr ? static_cast<const char*>(end) - word.data() : word.size() - 1;
}

// Reads every word until the enumeration ends or a read fails.
WordList ReadWords(ClamHandle* source) {
    WordList words;
    std::array<char, kReadBufferSize> word{};
    source->wordsRead = 0;
    while (ClamNextWord(word.data(), word.size(), source) == 1) {
        words.Append(word.data(), WordLength(word));
    }
    return words;
}

// What became of each word of the list, in its order.
enum class Outcome : std::uint8_t { kPresent, kImported, kRefused };

// The words from the first on that the destination holds, up to the first it does not.
std::size_t CountLeadingPresent(const WordList& words, ClamHandle* destination) {
    std::size_t present = 0;
    std::uint32_t lookupFlags = 0;
    std::uint32_t attributes = 0;
    words.ForEachWhile([&](const char* word) {
        if (ClamFindWord(word, destination, &attributes, &lookupFlags) == 0) return false;
        ++present;
        return true;
    });
    return present;
}

// The first `knownPresent` words are known to be in the destination already.
std::vector<Outcome> AddWords(const WordList& words, ClamHandle* destination,
                              std::size_t knownPresent = 0) {
    std::vector<Outcome> outcomes(knownPresent, Outcome::kPresent);
    outcomes.reserve(words.Count());
    std::uint32_t lookupFlags = 0;
    std::uint32_t attributes = 0;
    std::size_t at = 0;
    words.ForEach([&](const char* word) {
        if (at++ < knownPresent) return;
        if (ClamFindWord(word, destination, &attributes, &lookupFlags) != 0) {
            outcomes.push_back(Outcome::kPresent);
        } else if (ClamAddWord(word, destination) != 0) {
            outcomes.push_back(Outcome::kImported);
        } else {
            outcomes.push_back(Outcome::kRefused);
        }
    });
    return outcomes;
}

// Told once the destination holds the words or not: a word is logged and counted as
// imported only when it is there.
void ReportOutcomes(const WordList& words, const std::vector<Outcome>& outcomes, bool stored) {
    std::uint32_t importedCount = 0;
    std::uint32_t alreadyPresentCount = 0;
    std::size_t at = 0;
    words.ForEach([&](const char* word) {
        switch (outcomes[at++]) {
            case Outcome::kPresent:
                ++alreadyPresentCount;
                break;
            case Outcome::kImported:
                if (!stored) break;
                ++importedCount;
                LogMessage("Succesfully imported word:");
                LogMessage(word);
                break;
            case Outcome::kRefused:
                ReportMessage("ERROR: Unable to import word:");
                ReportMessage(word);
                ReportMessage("Continuing to process next word...");
                break;
        }
    });
    if (stored) LogTotals(importedCount, alreadyPresentCount);
}

bool IsEmptyFile(int fd) {
    return platform::CurrentPlatform().Seek(fd, 0, platform::kSeekEnd) == 0;
}

// A destination that can only be read keeps its per-word reports: nothing is written.
void ImportIntoReadOnly(const WordList& words, ClamHandle* destination) {
    ReportOutcomes(words, AddWords(words, destination), true);
}

// The words go into a copy of the destination (or a new dictionary when there is none),
// which takes the destination's place only once it is whole on disk. The first
// `knownPresent` words were found in the destination already.
void ImportIntoCopy(const WordList& words, const std::wstring& path, Descriptor& held, bool fresh,
                    std::size_t knownPresent, ClamBlockCache* cache, ClamPhonEnv* env) {
    Replacement copy(path);
    if (!copy.Create()) {
        ReportSkip(kCannotOpenDestination, path);
        return;
    }
    ClamHandlePtr destination;
    if (fresh) {
        destination = OpenDescriptor(copy.Fd(), kClamCreate, cache, env);
        if (!destination) {
            ReportSkip(kCannotOpenDestination, path);
            return;
        }
    } else if (!copy.CopyFrom(held.Get()) ||
               !(destination = OpenDescriptor(copy.Fd(), kReadWriteMode, cache, env))) {
        ReportSkip(kCannotWriteDestination, path);
        return;
    }
    const std::vector<Outcome> outcomes = AddWords(words, destination.get(), knownPresent);
    const bool stored = CloseClamHandle(destination) == 1 && copy.Commit(held);
    ReportOutcomes(words, outcomes, stored);
    if (!stored) ReportSkip(kCannotWriteDestination, path);
}

// The destination is held against other writers from before it is read until it is
// replaced. One that exists but cannot be held, or that the store refuses, stays untouched:
// it may hold words the store cannot read. An empty one holds no words: it is made anew.
void ImportIntoDestination(const WordList& words, const std::wstring& path, ClamBlockCache* cache,
                           ClamPhonEnv* env) {
    Descriptor held = HoldDestination(path, true);
    const bool writable = held.IsOpen();
    if (!writable) held = HoldDestination(path, false);
    if (!held.IsOpen() && platform::CurrentPlatform().PathExists(path)) {
        ReportSkip(kCannotOpenDestination, path);
        return;
    }
    const bool fresh = !held.IsOpen() || (writable && IsEmptyFile(held.Get()));
    std::size_t knownPresent = 0;
    if (!fresh) {
        ClamHandlePtr existing = OpenDescriptor(held.Get(), kClamReadOnly, cache, env);
        if (!existing) {
            ReportSkip(kCannotOpenDestination, path);
            return;
        }
        if (!writable) {
            ImportIntoReadOnly(words, existing.get());
            return;
        }
        // The words it holds already are looked up where they are. One that holds them all
        // is left as it is: its copy would be the same bytes. An older format is upgraded in
        // the copy whatever it holds, and a temporary file found beside it is dealt with as
        // the copy is made.
        if (existing->formatVersion == kClamVersion && !HasTemporaryFile(path)) {
            knownPresent = CountLeadingPresent(words, existing.get());
            if (knownPresent == words.Count()) {
                ReportOutcomes(words, AddWords(words, existing.get(), knownPresent), true);
                return;
            }
        }
    }
    ImportIntoCopy(words, path, held, fresh, knownPresent, cache, env);
}

// The enumeration's end and a failed read both end it; only a failed read leaves the
// handle failed.
bool ReadToTheEnd(const ClamHandle* source) {
    return (source->flags & kClamFailed) == 0;
}

}  // namespace

void ImportClamDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                          const std::wstring& firstLevelFolder) {
    const std::wstring sourcePath =
        MakeSourceDictionaryPath(fileName, secondLevelFolder, firstLevelFolder);
    const std::wstring destinationFolder =
        MakeDestinationFolderPath(secondLevelFolder, firstLevelFolder);
    if (!BeginImport("----------------------------", sourcePath, destinationFolder)) return;

    const std::wstring phonEnvPath = MakePhonEnvPath(secondLevelFolder);
    const ClamPhonEnvPtr env = LoadPhonEnv(phonEnvPath);
    if (!env) {
        ReportMissingPhonEnv(phonEnvPath);
        return;
    }

    const ClamBlockCachePtr cache(ClamNewBlockCache(kClamInitialBuffers, kClamCacheSlots));
    if (!cache) {
        ReportMessage("ERROR: Unable to allocate memory");
        ReportMessage(kContinuingWithNextDictionary);
        return;
    }

    ClamHandlePtr source = OpenDictionary(sourcePath, kClamReadOnly, cache.get(), env.get());
    if (source == nullptr) {
        ReportSkip("ERROR: Unable to open clam file", sourcePath);
        return;
    }
    WordList words = ReadWords(source.get());
    const bool wholeSource = ReadToTheEnd(source.get());
    source.reset();
    if (words.Empty()) {
        LogMessage("No words to import");
        LogMessage(kContinuingWithNextDictionary);
    } else {
        ImportIntoDestination(words, JoinPath(destinationFolder, fileName), cache.get(), env.get());
    }
    if (!wholeSource) ReportSkip(kCannotReadAllSourceWords, sourcePath);
}
