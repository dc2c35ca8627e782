// A platform for tests: passes every call to another platform (the native one by
// default), counts the calls, records descriptor traffic, and fails chosen calls.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace testing_support {

enum class Op {
    kOpen,
    kRead,
    kWrite,
    kSeek,
    kClose,
    kMakeFolder,
    kReadFile,
    kOpenStream,
    kReplace,
    kStreamWrite,
    kOpenHeld,  // the open that holds a file against other writers
    kFlush,
    kDelete,
    kListFolder
};

// One descriptor read or write, as the store's tests observe them.
struct IoEvent {
    Op op;
    int fd;
    std::int64_t offset;  // file position before the transfer
    unsigned int count;
};

// Thrown by FaultPlatform::Exit, so that a test can run code that ends the process.
struct ExitCalled {
    int status;
};

class FaultPlatform : public platform::Platform {
  public:
    explicit FaultPlatform(platform::Platform& inner = platform::NativePlatform())
        : inner_(inner) {}

    // Makes the n-th call (1-based, counted from now) of the operation fail; 0 clears it.
    void FailNth(Op op, int n) { faults_[op].first = n == 0 ? 0 : calls_[op] + n; }
    // Makes every call of the operation from the n-th on fail.
    void FailFrom(Op op, int n) { faults_[op].second = calls_[op] + n; }
    // Simulates a kill at the n-th call (1-based, counted from now) that changes a file:
    // that call and every later one change nothing and fail. 0 clears it.
    void KillAtChange(int n) { killAt_ = n == 0 ? 0 : changes_ + n; }
    int Changes() const { return changes_; }
    bool Killed() const { return killAt_ != 0 && changes_ >= killAt_; }
    void ClearFaults() {
        faults_.clear();
        killAt_ = 0;
    }
    int Calls(Op op) const { return calls_.contains(op) ? calls_.at(op) : 0; }
    const std::vector<IoEvent>& Events() const { return events_; }
    void ClearEvents() { events_.clear(); }
    // Counts a call and tells whether it must fail.
    bool ShouldFail(Op op) {
        const int n = ++calls_[op];
        const auto [nth, from] = faults_[op];
        return nth == n || (from != 0 && n >= from);
    }

    std::string console;  // console output, captured instead of written
    // Overrides of the system queries; unset: the inner platform answers.
    std::function<bool(platform::OsVersion&)> osVersion;
    std::function<std::int32_t(std::wstring&)> knownFolderLocalLow;
    std::function<platform::LocalTime()> localTime;
    std::function<bool(const std::wstring&, std::vector<std::wstring>&)> listFolder;

    bool GetOsVersion(platform::OsVersion& v) override {
        return osVersion ? osVersion(v) : inner_.GetOsVersion(v);
    }
    platform::LocalTime GetLocalTime() override {
        return localTime ? localTime() : inner_.GetLocalTime();
    }
    std::int32_t GetKnownFolderLocalLow(std::wstring& path) override {
        return knownFolderLocalLow ? knownFolderLocalLow(path)
                                   : inner_.GetKnownFolderLocalLow(path);
    }
    bool GetSpecialFolderPath(int csidl, std::wstring& path) override {
        return inner_.GetSpecialFolderPath(csidl, path);
    }
    bool ListFolder(const std::wstring& pattern, std::vector<std::wstring>& names) override {
        if (ShouldFail(Op::kListFolder)) return false;
        return listFolder ? listFolder(pattern, names) : inner_.ListFolder(pattern, names);
    }
    int MakeFolder(const std::wstring& path) override {
        if (Dies()) return 13;
        return ShouldFail(Op::kMakeFolder) ? 13 /* EACCES */ : inner_.MakeFolder(path);
    }
    int Open(const std::wstring& path, int flags, int permission) override {
        if (Creates(flags) && Dies()) return -1;
        return ShouldFail(Op::kOpen) ? -1 : inner_.Open(path, flags, permission);
    }
    int OpenHeld(const std::wstring& path, int flags, int permission) override {
        if (Creates(flags) && Dies()) return -1;
        return ShouldFail(Op::kOpenHeld) ? -1 : inner_.OpenHeld(path, flags, permission);
    }
    // Counted, never passed on: the tests cut no power, and a flush to disk costs time.
    bool FlushFile(int) override { return !ShouldFail(Op::kFlush); }
    bool FlushFolder(const std::wstring&) override { return !ShouldFail(Op::kFlush); }
    bool IsFolder(const std::wstring& path) override { return inner_.IsFolder(path); }
    std::int64_t Seek(int fd, std::int64_t offset, int whence) override {
        return ShouldFail(Op::kSeek) ? -1 : inner_.Seek(fd, offset, whence);
    }
    int Read(int fd, void* buffer, unsigned int count) override {
        events_.push_back({Op::kRead, fd, inner_.Seek(fd, 0, platform::kSeekCur), count});
        return ShouldFail(Op::kRead) ? -1 : inner_.Read(fd, buffer, count);
    }
    int Write(int fd, const void* buffer, unsigned int count) override {
        events_.push_back({Op::kWrite, fd, inner_.Seek(fd, 0, platform::kSeekCur), count});
        if (Dies()) return -1;
        return ShouldFail(Op::kWrite) ? -1 : inner_.Write(fd, buffer, count);
    }
    int Close(int fd) override {
        const bool fails = ShouldFail(Op::kClose);  // the descriptor goes all the same
        const int closed = inner_.Close(fd);
        return fails ? -1 : closed;
    }
    bool CanOpenForReading(const std::wstring& path) override {
        return !ShouldFail(Op::kOpen) && inner_.CanOpenForReading(path);
    }
    bool ReadFile(const std::wstring& path, platform::StreamMode mode,
                  std::string& contents) override {
        return !ShouldFail(Op::kReadFile) && inner_.ReadFile(path, mode, contents);
    }
    std::unique_ptr<platform::OutputStream> OpenOutputStream(const std::wstring& path,
                                                             platform::StreamMode mode) override {
        auto inner =
            Dies() || ShouldFail(Op::kOpenStream) ? nullptr : inner_.OpenOutputStream(path, mode);
        return inner ? std::make_unique<Stream>(std::move(inner), *this) : nullptr;
    }
    bool ReplaceFile(const std::wstring& target, const std::wstring& replacement) override {
        return !Dies() && !ShouldFail(Op::kReplace) && inner_.ReplaceFile(target, replacement);
    }
    bool DeleteFile(const std::wstring& path) override {
        return !Dies() && !ShouldFail(Op::kDelete) && inner_.DeleteFile(path);
    }
    bool PathExists(const std::wstring& path) override { return inner_.PathExists(path); }
    void ConsoleWrite(std::string_view text) override { console.append(text); }
    void ConsoleWriteWide(std::wstring_view text) override {
        std::string bytes;
        platform::utf8::Encode(text, bytes);
        console += bytes;
    }
    void ConsoleFlush() override {}
    [[noreturn]] void Exit(int status) override { throw ExitCalled{status}; }

    // --- Run lock ---
    // Overrides of the lock and its wait bound; unset: the inner platform answers. Sleeps
    // are added up, not slept.
    std::function<platform::LockAttempt(const std::wstring&, std::unique_ptr<platform::HeldLock>&)>
        lockFile;
    std::function<unsigned int()> runLockWait;
    unsigned long sleptMilliseconds = 0;
    platform::LockAttempt TryLockFile(const std::wstring& path,
                                      std::unique_ptr<platform::HeldLock>& lock) override {
        return lockFile ? lockFile(path, lock) : inner_.TryLockFile(path, lock);
    }
    void Sleep(unsigned int milliseconds) override { sleptMilliseconds += milliseconds; }
    unsigned int RunLockWaitMilliseconds() override {
        return runLockWait ? runLockWait() : inner_.RunLockWaitMilliseconds();
    }
    // Counted and failed as OpenOutputStream.
    std::unique_ptr<platform::OutputStream> CreateOutputStream(const std::wstring& path,
                                                               platform::StreamMode mode) override {
        auto inner = ShouldFail(Op::kOpenStream) ? nullptr : inner_.CreateOutputStream(path, mode);
        return inner ? std::make_unique<Stream>(std::move(inner), *this) : nullptr;
    }

  private:
    // A stream whose writes can fail; once one has, the later writes and the close report it.
    class Stream final : public platform::OutputStream {
      public:
        Stream(std::unique_ptr<platform::OutputStream> inner, FaultPlatform& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        bool Write(std::string_view bytes) override {
            const bool fails = owner_.Dies() || owner_.ShouldFail(Op::kStreamWrite);
            failed_ = failed_ || fails;
            return !fails && inner_->Write(bytes) && !failed_;
        }
        bool Close() override { return inner_->Close() && !failed_; }

      private:
        std::unique_ptr<platform::OutputStream> inner_;
        FaultPlatform& owner_;
        bool failed_ = false;
    };

    static bool Creates(int flags) {
        return (flags & (platform::kOpenCreate | platform::kOpenTruncate)) != 0;
    }
    // Counts a call that changes a file and tells whether the process is "dead" by then.
    bool Dies() {
        ++changes_;
        return Killed();
    }

    platform::Platform& inner_;
    int changes_ = 0;
    int killAt_ = 0;
    std::map<Op, int> calls_;
    std::map<Op, std::pair<int, int>> faults_;  // the call that fails, the first that all do
    std::vector<IoEvent> events_;
};

// Installs a platform for the lifetime of the object.
class ScopedPlatform {
  public:
    explicit ScopedPlatform(platform::Platform& p) : previous_(platform::SetPlatform(&p)) {}
    ~ScopedPlatform() { platform::SetPlatform(previous_); }

  private:
    platform::Platform* previous_;
};

}  // namespace testing_support
