// A million distinct words looked up and added one by one into a new dictionary, as the
// import adds the words it does not find; block reads and writes counted at the platform.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench.h"
#include "clam/coding/word_ops.h"
#include "clam/store/block_cache.h"
#include "clam/store/clam_status.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"
#include "platform/platform.h"

namespace {

// Passes everything to the native platform and counts descriptor reads and writes.
class CountingPlatform final : public platform::Platform {
  public:
    long reads = 0;
    long writes = 0;

    bool GetOsVersion(platform::OsVersion& v) override { return inner_.GetOsVersion(v); }
    platform::LocalTime GetLocalTime() override { return inner_.GetLocalTime(); }
    std::int32_t GetKnownFolderLocalLow(std::wstring& p) override {
        return inner_.GetKnownFolderLocalLow(p);
    }
    bool GetSpecialFolderPath(int csidl, std::wstring& p) override {
        return inner_.GetSpecialFolderPath(csidl, p);
    }
    bool ListFolder(const std::wstring& pattern, std::vector<std::wstring>& names) override {
        return inner_.ListFolder(pattern, names);
    }
    int MakeFolder(const std::wstring& path) override { return inner_.MakeFolder(path); }
    int Open(const std::wstring& path, int flags, int permission) override {
        return inner_.Open(path, flags, permission);
    }
    std::int64_t Seek(int fd, std::int64_t offset, int whence) override {
        return inner_.Seek(fd, offset, whence);
    }
    int Read(int fd, void* buffer, unsigned int count) override {
        ++reads;
        return inner_.Read(fd, buffer, count);
    }
    int Write(int fd, const void* buffer, unsigned int count) override {
        ++writes;
        return inner_.Write(fd, buffer, count);
    }
    int Close(int fd) override { return inner_.Close(fd); }
    bool CanOpenForReading(const std::wstring& path) override {
        return inner_.CanOpenForReading(path);
    }
    bool ReadFile(const std::wstring& path, platform::StreamMode mode,
                  std::string& contents) override {
        return inner_.ReadFile(path, mode, contents);
    }
    std::unique_ptr<platform::OutputStream> OpenOutputStream(const std::wstring& path,
                                                             platform::StreamMode mode) override {
        return inner_.OpenOutputStream(path, mode);
    }
    bool ReplaceFile(const std::wstring& target, const std::wstring& replacement) override {
        return inner_.ReplaceFile(target, replacement);
    }
    bool DeleteFile(const std::wstring& path) override { return inner_.DeleteFile(path); }
    bool PathExists(const std::wstring& path) override { return inner_.PathExists(path); }
    int OpenHeld(const std::wstring& path, int flags, int permission) override {
        return inner_.OpenHeld(path, flags, permission);
    }
    bool FlushFile(int fd) override { return inner_.FlushFile(fd); }
    bool FlushFolder(const std::wstring& folder) override { return inner_.FlushFolder(folder); }
    bool IsFolder(const std::wstring& path) override { return inner_.IsFolder(path); }
    void ConsoleWrite(std::string_view text) override { inner_.ConsoleWrite(text); }
    void ConsoleWriteWide(std::wstring_view text) override { inner_.ConsoleWriteWide(text); }
    void ConsoleFlush() override { inner_.ConsoleFlush(); }
    platform::LockAttempt TryLockFile(const std::wstring& path,
                                      std::unique_ptr<platform::HeldLock>& lock) override {
        return inner_.TryLockFile(path, lock);
    }
    void Sleep(unsigned int milliseconds) override { inner_.Sleep(milliseconds); }
    unsigned int RunLockWaitMilliseconds() override { return inner_.RunLockWaitMilliseconds(); }
    std::unique_ptr<platform::OutputStream> CreateOutputStream(const std::wstring& path,
                                                               platform::StreamMode mode) override {
        return inner_.CreateOutputStream(path, mode);
    }
    [[noreturn]] void Exit(int status) override {
        inner_.Exit(status);
        std::abort();  // the inner platform does not return either
    }

  private:
    platform::Platform& inner_ = platform::NativePlatform();
};

std::vector<std::string> DistinctWords(std::size_t count) {
    std::mt19937 rng(1);
    std::unordered_set<std::string> seen;
    std::vector<std::string> words;
    words.reserve(count);
    while (words.size() < count) {
        std::string word(4 + rng() % 9, ' ');
        for (char& c : word) c = static_cast<char>('a' + rng() % 26);
        if (seen.insert(word).second) words.push_back(std::move(word));
    }
    return words;
}

ClamPhonEnv* LoadEnv(const std::string& path) {
    auto& os = platform::CurrentPlatform();
    const int fd = os.Open(std::filesystem::absolute(path).wstring(), platform::kOpenReadOnly, 0);
    if (fd < 0) return nullptr;
    int status = 0;
    ClamPhonEnv* env = ClamLoadPhonEnv(fd, 0, &status);
    os.Close(fd);
    return env;
}

}  // namespace

WORDHAUL_BENCHMARK(store, "a million distinct words found, then added, into a new dictionary") {
    const std::string envPath = argc > 1 ? argv[1] : WORDHAUL_ENV_DIR "/lang01.env";
    const std::size_t count = argc > 2 ? std::stoul(argv[2]) : 1000000;
    ClamPhonEnv* env = LoadEnv(envPath);
    if (env == nullptr) {
        std::printf("store: cannot load the environment %s\n", envPath.c_str());
        return;
    }
    const std::vector<std::string> words = DistinctWords(count);
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "wordhaul-store-bench.clam";
    CountingPlatform counting;
    platform::Platform* previous = platform::SetPlatform(&counting);
    ClamBlockCache* cache = ClamNewBlockCache(5, 10);
    int status = 0;
    ClamHandle* handle = ClamOpenFile(file.wstring(), kClamCreate, cache, env, &status);
    long found = 0;
    long added = 0;
    const double start = bench::Now();
    for (const std::string& word : words) {
        std::uint32_t value = 0;
        std::uint32_t flags = 0;
        if (ClamFindWord(word.c_str(), handle, &value, &flags) == 1) {
            ++found;
        } else if (ClamAddWord(word.c_str(), handle) != 0) {
            ++added;
        }
    }
    const std::uint32_t blocks = handle != nullptr ? handle->blockCount : 0;
    const int closed = ClamClose(handle);
    const double seconds = bench::Now() - start;
    platform::SetPlatform(previous);
    std::printf(
        "store: %zu words in %.3f s (%.2f us/word): %ld added, %ld found; %u blocks;\n"
        "       %ld block reads, %ld block writes; close %s\n",
        words.size(), seconds, seconds * 1e6 / static_cast<double>(words.size()), added, found,
        blocks, counting.reads, counting.writes, closed == 1 ? "ok" : "FAILED");
    ClamFreeBlockCache(cache);
    ClamFreePhonEnv(env);
    std::filesystem::remove(file);
}
