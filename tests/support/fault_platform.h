// A platform for tests: passes every call to another platform (the native one by
// default), counts the calls, records descriptor traffic, and fails chosen calls.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

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
    kStreamWrite
};

// One descriptor read or write, as the store's tests observe them.
struct IoEvent {
    Op op;
    int fd;
    std::int64_t offset;  // file position before the transfer
    unsigned int count;
};

class FaultPlatform : public platform::Platform {
  public:
    explicit FaultPlatform(platform::Platform& inner = platform::NativePlatform())
        : inner_(inner) {}

    // Makes the n-th call (1-based, counted from now) of the operation fail; 0 clears it.
    void FailNth(Op op, int n) { failAt_[op] = n == 0 ? 0 : calls_[op] + n; }
    // Makes every call of the operation from the n-th on fail.
    void FailFrom(Op op, int n) { failFrom_[op] = calls_[op] + n; }
    void ClearFaults() {
        failAt_.clear();
        failFrom_.clear();
    }
    int Calls(Op op) const {
        auto it = calls_.find(op);
        return it == calls_.end() ? 0 : it->second;
    }
    const std::vector<IoEvent>& Events() const { return events_; }
    void ClearEvents() { events_.clear(); }

    // Console output, captured instead of written.
    std::string console;
    bool Exited() const { return exited_; }
    int ExitStatus() const { return exitStatus_; }

    // Overrides of the system queries; unset: the inner platform answers.
    std::function<bool(platform::OsVersion&)> osVersion;
    std::function<std::int32_t(std::wstring&)> knownFolderLocalLow;
    std::function<bool(int, std::wstring&)> specialFolder;
    std::function<platform::LocalTime()> localTime;
    std::function<bool(const std::wstring&, std::vector<std::wstring>&)> listFolder;

    bool GetOsVersion(platform::OsVersion& v) override;
    platform::LocalTime GetLocalTime() override;
    std::int32_t GetKnownFolderLocalLow(std::wstring& path) override;
    bool GetSpecialFolderPath(int csidl, std::wstring& path) override;
    bool ListFolder(const std::wstring& pattern, std::vector<std::wstring>& names) override;
    int MakeFolder(const std::wstring& path) override;
    int Open(const std::wstring& path, int flags, int permission) override;
    std::int64_t Seek(int fd, std::int64_t offset, int whence) override;
    int Read(int fd, void* buffer, unsigned int count) override;
    int Write(int fd, const void* buffer, unsigned int count) override;
    int Close(int fd) override;
    bool CanOpenForReading(const std::wstring& path) override;
    bool ReadFile(const std::wstring& path, platform::StreamMode mode,
                  std::string& contents) override;
    std::unique_ptr<platform::OutputStream> OpenOutputStream(const std::wstring& path,
                                                             platform::StreamMode mode) override;
    bool ReplaceFile(const std::wstring& target, const std::wstring& replacement) override;
    bool DeleteFile(const std::wstring& path) override;
    bool PathExists(const std::wstring& path) override;
    void ConsoleWrite(std::string_view text) override;
    void ConsoleWriteWide(std::wstring_view text) override;
    void ConsoleFlush() override {}
    // Throws ExitCalled, so that a test can run code that ends the process.
    [[noreturn]] void Exit(int status) override;

    // Counts a call and tells whether it must fail (used by streams too).
    bool ShouldFail(Op op);

  private:
    platform::Platform& inner_;
    std::map<Op, int> calls_;
    std::map<Op, int> failAt_;
    std::map<Op, int> failFrom_;
    std::vector<IoEvent> events_;
    bool exited_ = false;
    int exitStatus_ = -1;
};

struct ExitCalled {
    int status;
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

}  // namespace testing_support
