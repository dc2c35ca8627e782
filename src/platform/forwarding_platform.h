// A platform that passes every call to another: the base of platforms that watch or
// change a few calls and leave the rest to the real one.
#pragma once

#include <cstdlib>

#include "platform/platform.h"

namespace platform {

class ForwardingPlatform : public Platform {
  public:
    explicit ForwardingPlatform(Platform& inner = NativePlatform()) : inner_(inner) {}

    bool GetOsVersion(OsVersion& v) override { return inner_.GetOsVersion(v); }
    LocalTime GetLocalTime() override { return inner_.GetLocalTime(); }
    std::int32_t GetKnownFolderLocalLow(std::wstring& path) override {
        return inner_.GetKnownFolderLocalLow(path);
    }
    bool GetSpecialFolderPath(int csidl, std::wstring& path) override {
        return inner_.GetSpecialFolderPath(csidl, path);
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
        return inner_.Read(fd, buffer, count);
    }
    int Write(int fd, const void* buffer, unsigned int count) override {
        return inner_.Write(fd, buffer, count);
    }
    int Close(int fd) override { return inner_.Close(fd); }
    bool CanOpenForReading(const std::wstring& path) override {
        return inner_.CanOpenForReading(path);
    }
    bool ReadFile(const std::wstring& path, StreamMode mode, std::string& contents) override {
        return inner_.ReadFile(path, mode, contents);
    }
    std::unique_ptr<OutputStream> OpenOutputStream(const std::wstring& path,
                                                   StreamMode mode) override {
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
    LockAttempt TryLockFile(const std::wstring& path, std::unique_ptr<HeldLock>& lock) override {
        return inner_.TryLockFile(path, lock);
    }
    void Sleep(unsigned int milliseconds) override { inner_.Sleep(milliseconds); }
    unsigned int RunLockWaitMilliseconds() override { return inner_.RunLockWaitMilliseconds(); }
    std::unique_ptr<OutputStream> CreateOutputStream(const std::wstring& path,
                                                     StreamMode mode) override {
        return inner_.CreateOutputStream(path, mode);
    }
    [[noreturn]] void Exit(int status) override {
        inner_.Exit(status);
        std::abort();  // not reached: Exit ends the process
    }

  protected:
    Platform& inner_;
};

}  // namespace platform
