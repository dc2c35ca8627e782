#include "import/clam_import.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/folder_path.h"
#include "app/reporting.h"
#include "clam/coding/word_ops.h"
#include "clam/store/clam_owners.h"
#include "import/import_paths.h"
#include "import/import_steps.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kReadBufferSize = 256;
constexpr int kPhonEnvFlags =
    platform::kOpenReadOnly | platform::kOpenBinary | platform::kOpenSequential;
// Read and write; the store falls back to read-only when the file cannot be written.
constexpr std::uint32_t kReadWriteMode = 0;

// The source's words in enumeration order, duplicates included, each with its NUL, back to
// back in one buffer: a word costs its own bytes and one more.
class WordList {
  public:
    void Append(const char* word, std::size_t length) {
        bytes_.append(word, length);
        bytes_.push_back('\0');
    }
    bool Empty() const { return bytes_.empty(); }
    void Release() { std::string().swap(bytes_); }

    template <typename Visit>
    void ForEach(Visit&& visit) const {
        for (std::size_t at = 0; at < bytes_.size(); at = bytes_.find('\0', at) + 1) {
            visit(bytes_.c_str() + at);
        }
    }

  private:
    std::string bytes_;
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

// The store ends every word with a NUL within the buffer; a word that filled it whole would
// be cut before its last byte, never read past the buffer.
std::size_t WordLength(const std::array<char, kReadBufferSize>& word) {
    const void* end = std::memchr(word.data(), '\0', word.size());
    return end != nullptr ? static_cast<const char*>(end) - word.data() : word.size() - 1;
}

// Reads every word; the enumeration's end and a failed read look alike and both end it.
WordList ReadWords(ClamHandle* source) {
    WordList words;
    std::array<char, kReadBufferSize> word{};
    source->wordsRead = 0;
    while (ClamNextWord(word.data(), word.size(), source) == 1) {
        words.Append(word.data(), WordLength(word));
    }
    return words;
}

// A destination that exists and can be read is never recreated, even when the store
// refuses it: it may hold words the store cannot read.
ClamHandlePtr OpenOrCreateDestination(const std::wstring& path, ClamBlockCache* cache,
                                      ClamPhonEnv* env) {
    if (ClamHandlePtr handle = OpenDictionary(path, kReadWriteMode, cache, env)) return handle;
    if (platform::CurrentPlatform().CanOpenForReading(path)) return nullptr;
    return OpenDictionary(path, kClamCreate, cache, env);
}

void ImportWords(const WordList& words, ClamHandle* destination) {
    std::uint32_t lookupFlags = 0;
    std::uint32_t attributes = 0;
    std::uint32_t importedCount = 0;
    std::uint32_t alreadyPresentCount = 0;
    words.ForEach([&](const char* word) {
        if (ClamFindWord(word, destination, &attributes, &lookupFlags) != 0) {
            ++alreadyPresentCount;
        } else if (ClamAddWord(word, destination) != 0) {
            ++importedCount;
            LogMessage("Succesfully imported word:");
            LogMessage(word);
        } else {
            ReportMessage("ERROR: Unable to import word:");
            ReportMessage(word);
            ReportMessage("Continuing to process next word...");
        }
    });
    LogTotals(importedCount, alreadyPresentCount);
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
    source.reset();
    if (words.Empty()) {
        LogMessage("No words to import");
        LogMessage(kContinuingWithNextDictionary);
        return;
    }

    const std::wstring destinationPath = JoinPath(destinationFolder, fileName);
    ClamHandlePtr destination = OpenOrCreateDestination(destinationPath, cache.get(), env.get());
    if (destination == nullptr) {
        words.Release();
        ReportSkip("ERROR: Unable to open/create clam file in read/write mode", destinationPath);
        return;
    }
    ImportWords(words, destination.get());
    words.Release();
    destination.reset();
}
