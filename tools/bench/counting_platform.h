// A platform that passes every call to another and counts the whole-block reads and writes.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "clam/store/clam_store.h"
#include "platform/platform.h"

namespace bench {

class CountingPlatform : public platform::Platform {
  public:
    explicit CountingPlatform(platform::Platform& inner) : inner_(inner) {}

    std::uint64_t BlockReads() const { return reads_; }
    std::uint64_t BlockWrites() const { return writes_; }

    int Read(int fd, void* buffer, unsigned int count) override {
        if (count == kClamBlockSize) ++reads_;
        return inner_.Read(fd, buffer, count);
    }
    int Write(int fd, const void* buffer, unsigned int count) override {
        if (count == kClamBlockSize) ++writes_;
        return inner_.Write(fd, buffer, count);
    }

    bool GetOsVersion(platform::OsVersion& v) override { return inner_.GetOsVersion(v); }
    platform::LocalTime GetLocalTime() override { return inner_.GetLocalTime(); }
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
    void ConsoleWrite(std::string_view text) override { inner_.ConsoleWrite(text); }
    void ConsoleWriteWide(std::wstring_view text) override { inner_.ConsoleWriteWide(text); }
    void ConsoleFlush() override { inner_.ConsoleFlush(); }
    [[noreturn]] void Exit(int status) override {
        inner_.Exit(status);
        std::abort();  // Exit does not return
    }

  private:
    platform::Platform& inner_;
    std::uint64_t reads_ = 0;
    std::uint64_t writes_ = 0;
};

}  // namespace bench
