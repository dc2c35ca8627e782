// The POSIX stand-in for the Windows calls: a Windows system laid out as a Wine prefix.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"
#include "platform/utf8.h"

namespace platform {
namespace {

std::string HostPath(const std::wstring& path) {
    return posix::MapToHostPath(path);
}

// A buffered output file; text mode writes LF as CR LF.
class PosixOutputStream final : public OutputStream {
  public:
    PosixOutputStream(int fd, StreamMode mode) : fd_(fd), mode_(mode) { buffer_.reserve(kFlushAt); }
    ~PosixOutputStream() override { Close(); }

    bool Write(std::string_view bytes) override {
        if (fd_ < 0) return false;
        if (mode_ == StreamMode::kBinary) {
            buffer_.append(bytes);
        } else {
            AppendWithCrLf(bytes);
        }
        if (buffer_.size() >= kFlushAt) return Flush();
        return good_;
    }

    bool Close() override {
        if (fd_ < 0) return good_;
        Flush();
        if (::close(fd_) != 0) good_ = false;
        fd_ = -1;
        return good_;
    }

  private:
    static constexpr std::size_t kFlushAt = 1 << 16;

    void AppendWithCrLf(std::string_view bytes) {
        for (;;) {
            const auto lf = bytes.find('\n');
            if (lf == std::string_view::npos) break;
            buffer_.append(bytes.substr(0, lf));
            buffer_.append("\r\n");
            bytes.remove_prefix(lf + 1);
        }
        buffer_.append(bytes);
    }

    bool Flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                good_ = false;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        buffer_.clear();
        return good_;
    }

    int fd_;
    StreamMode mode_;
    bool good_ = true;
    std::string buffer_;
};

int HostOpenFlags(int flags) {
    int host = 0;
    switch (flags & 3) {
        case kOpenWriteOnly:
            host = O_WRONLY;
            break;
        case kOpenReadWrite:
            host = O_RDWR;
            break;
        default:
            host = O_RDONLY;
            break;
    }
    if (flags & kOpenAppend) host |= O_APPEND;
    if (flags & kOpenCreate) host |= O_CREAT;
    if (flags & kOpenTruncate) host |= O_TRUNC;
    if (flags & kOpenExclusive) host |= O_EXCL;
    return host | O_CLOEXEC;
}

// As the Windows C runtime reads in text mode: input ends at 0x1A, CR LF becomes LF.
void ApplyTextMode(std::string& contents) {
    const auto eof = contents.find('\x1A');
    if (eof != std::string::npos) contents.resize(eof);
    std::size_t out = 0;
    for (std::size_t in = 0; in < contents.size(); ++in) {
        if (contents[in] == '\r' && in + 1 < contents.size() && contents[in + 1] == '\n') continue;
        contents[out++] = contents[in];
    }
    contents.resize(out);
}

// A flock'ed lock file. The file goes before the lock does, so that a process that opened
// it meanwhile finds, once it has the lock, that the name is no longer its file's.
class PosixHeldLock final : public HeldLock {
  public:
    PosixHeldLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixHeldLock() override {
        ::unlink(path_.c_str());
        ::close(fd_);
    }

  private:
    int fd_;
    std::string path_;
};

bool SameFile(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

LockAttempt TryFlock(const std::string& path, std::unique_ptr<HeldLock>& lock) {
    // Each retry follows a holder that removed the file as it let go: a few suffice.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return LockAttempt::kFailed;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK || error == EINTR ? LockAttempt::kBusy
                                                          : LockAttempt::kFailed;
        }
        if (SameFile(fd, path)) {
            lock = std::make_unique<PosixHeldLock>(fd, path);
            return LockAttempt::kTaken;
        }
        ::close(fd);
    }
    return LockAttempt::kBusy;
}

class PosixPlatform final : public Platform {
  public:
    bool GetOsVersion(OsVersion& version) override {
        // What Wine reports by default: Windows 7, an NT system.
        version = OsVersion{2, 6, 1, 7601};
        return true;
    }

    LocalTime GetLocalTime() override {
        const std::time_t now = std::time(nullptr);
        std::tm parts{};
        localtime_r(&now, &parts);
        return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                         parts.tm_hour,        parts.tm_min,     parts.tm_sec};
    }

    std::int32_t GetKnownFolderLocalLow(std::wstring& path) override {
        path = posix::UserProfileFolder() + L"\\AppData\\LocalLow";
        return kHresultOk;
    }

    bool GetSpecialFolderPath(int csidl, std::wstring& path) override {
        const std::wstring roaming = posix::UserProfileFolder() + L"\\AppData\\Roaming";
        switch (csidl) {
            case kCsidlAppData:
                path = roaming;
                return true;
            case kCsidlProgramFilesCommon:
                path = L"C:\\Program Files\\Common Files";
                return true;
            case kCsidlPrograms:
                path = roaming + L"\\Microsoft\\Windows\\Start Menu\\Programs";
                return true;
            default:
                return false;
        }
    }

    bool ListFolder(const std::wstring& pattern, std::vector<std::wstring>& names) override {
        names.clear();
        // Only the "folder\*" pattern is used.
        const auto slash = pattern.find_last_of(L"\\/");
        if (slash == std::wstring::npos || pattern.substr(slash + 1) != L"*") return false;
        DIR* dir = ::opendir(HostPath(pattern.substr(0, slash)).c_str());
        if (dir == nullptr) return false;
        std::vector<std::wstring> entries;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (entry == nullptr) break;
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            entries.push_back(posix::HostNameToWide(name));
        }
        const bool complete = errno == 0;
        ::closedir(dir);
        if (!complete) return false;
        posix::SortLikeWindowsListing(entries);
        names.reserve(entries.size() + 2);
        names.push_back(L".");
        names.push_back(L"..");
        names.insert(names.end(), entries.begin(), entries.end());
        return true;
    }

    int MakeFolder(const std::wstring& path) override {
        return ::mkdir(HostPath(path).c_str(), 0777) == 0 ? 0 : errno;
    }

    int Open(const std::wstring& path, int flags, int permission) override {
        const mode_t mode = (permission & kPermWrite) ? 0666 : 0444;
        int fd;
        do {
            fd = ::open(HostPath(path).c_str(), HostOpenFlags(flags), mode);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 && IsFolder(fd)) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    std::int64_t Seek(int fd, std::int64_t offset, int whence) override {
        const int host = whence == kSeekEnd ? SEEK_END : whence == kSeekCur ? SEEK_CUR : SEEK_SET;
        return ::lseek(fd, static_cast<off_t>(offset), host);
    }

    int Read(int fd, void* buffer, unsigned int count) override {
        ssize_t n;
        do {
            n = ::read(fd, buffer, count);
        } while (n < 0 && errno == EINTR);
        return static_cast<int>(n);
    }

    int Write(int fd, const void* buffer, unsigned int count) override {
        ssize_t n;
        do {
            n = ::write(fd, buffer, count);
        } while (n < 0 && errno == EINTR);
        return static_cast<int>(n);
    }

    int Close(int fd) override { return ::close(fd); }

    bool CanOpenForReading(const std::wstring& path) override {
        const int fd = Open(path, kOpenReadOnly, kPermRead);
        if (fd < 0) return false;
        ::close(fd);
        return true;
    }

    bool ReadFile(const std::wstring& path, StreamMode mode, std::string& contents) override {
        const int fd = Open(path, kOpenReadOnly, kPermRead);
        if (fd < 0) return false;
        struct stat info {};
        contents.clear();
        if (::fstat(fd, &info) == 0 && info.st_size > 0) {
            contents.reserve(static_cast<std::size_t>(info.st_size));
        }
        bool ok = true;
        constexpr std::size_t kChunk = 1 << 20;
        for (;;) {
            const std::size_t old = contents.size();
            contents.resize(old + kChunk);
            const int n = Read(fd, contents.data() + old, kChunk);
            if (n < 0) ok = false;
            contents.resize(old + static_cast<std::size_t>(n > 0 ? n : 0));
            if (n <= 0) break;
        }
        ::close(fd);
        if (ok && mode == StreamMode::kText) ApplyTextMode(contents);
        return ok;
    }

    std::unique_ptr<OutputStream> OpenOutputStream(const std::wstring& path,
                                                   StreamMode mode) override {
        return StreamOn(path, kOpenTruncate, mode);
    }

    bool ReplaceFile(const std::wstring& target, const std::wstring& replacement) override {
        const std::string to = HostPath(target);
        const std::string from = HostPath(replacement);
        struct stat info {};
        if (::stat(to.c_str(), &info) == 0) {
            // The read-only attribute, as Wine maps it: no write permission for the owner.
            if ((info.st_mode & S_IWUSR) == 0 || S_ISDIR(info.st_mode)) return false;
            if (::chmod(from.c_str(), info.st_mode & 07777) != 0) return false;
        }
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    bool DeleteFile(const std::wstring& path) override {
        return ::unlink(HostPath(path).c_str()) == 0;
    }

    bool PathExists(const std::wstring& path) override {
        struct stat info {};
        return ::lstat(HostPath(path).c_str(), &info) == 0;
    }

    LockAttempt TryLockFile(const std::wstring& path, std::unique_ptr<HeldLock>& lock) override {
        return TryFlock(HostPath(path), lock);
    }

    void Sleep(unsigned int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    unsigned int RunLockWaitMilliseconds() override {
        return RunLockWaitFromSetting(std::getenv("WORDHAUL_RUN_LOCK_WAIT_MS"));
    }

    std::unique_ptr<OutputStream> CreateOutputStream(const std::wstring& path,
                                                     StreamMode mode) override {
        return StreamOn(path, kOpenExclusive, mode);
    }

    // A file opened for output, created when missing; `how` truncates or refuses one that exists.
    std::unique_ptr<OutputStream> StreamOn(const std::wstring& path, int how, StreamMode mode) {
        const int fd = Open(path, kOpenWriteOnly | kOpenCreate | how, kPermRead | kPermWrite);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixOutputStream>(fd, mode);
    }

    int OpenHeld(const std::wstring& path, int flags, int permission) override {
        const int fd = Open(path, flags, permission);
        if (fd < 0) return fd;
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        // A lock on a file that was renamed over meanwhile holds nothing of the path.
        if (locked != 0 || !NamesSameFile(fd, HostPath(path))) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    bool FlushFile(int fd) override { return ::fsync(fd) == 0; }

    bool FlushFolder(const std::wstring& folder) override {
        const int fd = ::open(HostPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool flushed = ::fsync(fd) == 0;
        return ::close(fd) == 0 && flushed;
    }

    bool IsFolder(const std::wstring& path) override {
        struct stat info {};
        return ::stat(HostPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }

    void ConsoleWrite(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stdout);
    }

    void ConsoleWriteWide(std::wstring_view text) override {
        std::string bytes;
        utf8::Encode(text, bytes);
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    }

    void ConsoleFlush() override { std::fflush(stdout); }

    [[noreturn]] void Exit(int status) override {
        std::fflush(stdout);
        std::exit(status);
    }

  private:
    static bool NamesSameFile(int fd, const std::string& path) {
        struct stat held {};
        struct stat named {};
        return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
               held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

    static bool IsFolder(int fd) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    }
};

}  // namespace

Platform& NativePlatform() {
    static PosixPlatform instance;
    return instance;
}

bool Utf8ToWideChars(std::string_view utf8, std::wstring& wide) {
    return utf8::Decode(utf8, wide);
}

bool WideToUtf8Chars(std::wstring_view wide, std::string& out) {
    utf8::Encode(wide, out);
    return true;
}

}  // namespace platform
