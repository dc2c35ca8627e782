// A platform whose files live in memory, so that a fuzz target serves its input as a file
// without touching the disk. Descriptors start at 3; the console is dropped.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace fuzz_support {

class MemoryPlatform final : public platform::Platform {
  public:
    std::map<std::wstring, std::string> files;

    bool GetOsVersion(platform::OsVersion& version) override {
        version = {2, 6, 1, 7601};
        return true;
    }
    platform::LocalTime GetLocalTime() override { return {2026, 1, 1, 0, 0, 0}; }
    std::int32_t GetKnownFolderLocalLow(std::wstring&) override {
        return platform::kHresultNotImplemented;
    }
    bool GetSpecialFolderPath(int, std::wstring&) override { return false; }
    bool ListFolder(const std::wstring&, std::vector<std::wstring>&) override { return false; }
    int MakeFolder(const std::wstring&) override { return platform::kErrExists; }

    int Open(const std::wstring& path, int flags, int) override {
        auto file = files.find(path);
        if (file == files.end()) {
            if ((flags & platform::kOpenCreate) == 0) return -1;
            file = files.emplace(path, std::string()).first;
        } else if ((flags & platform::kOpenExclusive) != 0) {
            return -1;
        } else if ((flags & platform::kOpenTruncate) != 0) {
            file->second.clear();
        }
        const int fd = nextFd_++;
        open_[fd] = {&file->second, 0};
        return fd;
    }
    std::int64_t Seek(int fd, std::int64_t offset, int whence) override {
        auto* open = Find(fd);
        if (open == nullptr) return -1;
        std::int64_t base = 0;
        if (whence == platform::kSeekCur) base = open->position;
        if (whence == platform::kSeekEnd) base = static_cast<std::int64_t>(open->bytes->size());
        if (base + offset < 0) return -1;
        open->position = base + offset;
        return open->position;
    }
    int Read(int fd, void* buffer, unsigned int count) override {
        auto* open = Find(fd);
        if (open == nullptr) return -1;
        const auto size = static_cast<std::int64_t>(open->bytes->size());
        const std::int64_t n = std::clamp<std::int64_t>(size - open->position, 0, count);
        if (n > 0) std::memcpy(buffer, open->bytes->data() + open->position, n);
        open->position += n;
        return static_cast<int>(n);
    }
    int Write(int fd, const void* buffer, unsigned int count) override {
        auto* open = Find(fd);
        if (open == nullptr) return -1;
        const auto end = static_cast<std::size_t>(open->position) + count;
        if (open->bytes->size() < end) open->bytes->resize(end);
        std::memcpy(open->bytes->data() + open->position, buffer, count);
        open->position += count;
        return static_cast<int>(count);
    }
    int Close(int fd) override { return open_.erase(fd) == 1 ? 0 : -1; }

    bool CanOpenForReading(const std::wstring& path) override { return files.contains(path); }
    bool ReadFile(const std::wstring& path, platform::StreamMode mode,
                  std::string& contents) override {
        const auto file = files.find(path);
        if (file == files.end()) return false;
        contents = file->second;
        if (mode == platform::StreamMode::kText) ApplyTextMode(contents);
        return true;
    }
    std::unique_ptr<platform::OutputStream> OpenOutputStream(const std::wstring& path,
                                                             platform::StreamMode mode) override {
        std::string& bytes = files[path];
        bytes.clear();
        return std::make_unique<Stream>(bytes, mode);
    }
    bool ReplaceFile(const std::wstring& target, const std::wstring& replacement) override {
        const auto file = files.find(replacement);
        if (file == files.end()) return false;
        std::string bytes = std::move(file->second);
        files.erase(file);
        files[target] = std::move(bytes);
        return true;
    }
    bool DeleteFile(const std::wstring& path) override { return files.erase(path) == 1; }
    bool PathExists(const std::wstring& path) override { return files.contains(path); }
    // Nobody else is here: holding a file is opening it, and every lock is free.
    int OpenHeld(const std::wstring& path, int flags, int permission) override {
        return Open(path, flags, permission);
    }
    bool FlushFile(int fd) override { return Find(fd) != nullptr; }
    bool FlushFolder(const std::wstring&) override { return true; }
    bool IsFolder(const std::wstring&) override { return false; }
    platform::LockAttempt TryLockFile(const std::wstring&,
                                      std::unique_ptr<platform::HeldLock>& lock) override {
        lock = std::make_unique<platform::HeldLock>();
        return platform::LockAttempt::kTaken;
    }
    void Sleep(unsigned int) override {}
    unsigned int RunLockWaitMilliseconds() override { return 0; }
    std::unique_ptr<platform::OutputStream> CreateOutputStream(const std::wstring& path,
                                                               platform::StreamMode mode) override {
        return files.contains(path) ? nullptr : OpenOutputStream(path, mode);
    }

    void ConsoleWrite(std::string_view) override {}
    void ConsoleWriteWide(std::wstring_view) override {}
    void ConsoleFlush() override {}
    [[noreturn]] void Exit(int) override { __builtin_trap(); }

  private:
    struct OpenFile {
        std::string* bytes;
        std::int64_t position;
    };
    class Stream final : public platform::OutputStream {
      public:
        Stream(std::string& bytes, platform::StreamMode mode) : bytes_(bytes), mode_(mode) {}
        bool Write(std::string_view bytes) override {
            for (const char c : bytes) {
                if (c == '\n' && mode_ == platform::StreamMode::kText) bytes_.push_back('\r');
                bytes_.push_back(c);
            }
            return true;
        }
        bool Close() override { return true; }

      private:
        std::string& bytes_;
        platform::StreamMode mode_;
    };

    // As the Windows C runtime reads in text mode: input ends at 0x1A, CR LF reads as LF.
    static void ApplyTextMode(std::string& contents) {
        contents.resize(std::min(contents.find('\x1A'), contents.size()));
        std::string out;
        for (std::size_t i = 0; i < contents.size(); ++i) {
            if (contents[i] == '\r' && i + 1 < contents.size() && contents[i + 1] == '\n') continue;
            out.push_back(contents[i]);
        }
        contents = std::move(out);
    }
    OpenFile* Find(int fd) {
        const auto open = open_.find(fd);
        return open == open_.end() ? nullptr : &open->second;
    }

    std::map<int, OpenFile> open_;
    int nextFd_ = 3;
};

// Installs a platform for the lifetime of the object.
class ScopedPlatform {
  public:
    explicit ScopedPlatform(platform::Platform& p) : previous_(platform::SetPlatform(&p)) {}
    ~ScopedPlatform() { platform::SetPlatform(previous_); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

  private:
    platform::Platform* previous_;
};

}  // namespace fuzz_support
