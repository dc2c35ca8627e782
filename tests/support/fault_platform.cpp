#include "support/fault_platform.h"

#include "platform/utf8.h"

namespace testing_support {
namespace {

class FaultStream final : public platform::OutputStream {
  public:
    FaultStream(std::unique_ptr<platform::OutputStream> inner, FaultPlatform& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    bool Write(std::string_view bytes) override {
        if (owner_.ShouldFail(Op::kStreamWrite)) {
            failed_ = true;
            return false;
        }
        return inner_->Write(bytes) && !failed_;
    }
    bool Close() override { return inner_->Close() && !failed_; }

  private:
    std::unique_ptr<platform::OutputStream> inner_;
    FaultPlatform& owner_;
    bool failed_ = false;
};

}  // namespace

bool FaultPlatform::ShouldFail(Op op) {
    const int n = ++calls_[op];
    const auto at = failAt_.find(op);
    if (at != failAt_.end() && at->second == n) return true;
    const auto from = failFrom_.find(op);
    return from != failFrom_.end() && from->second != 0 && n >= from->second;
}

bool FaultPlatform::GetOsVersion(platform::OsVersion& v) {
    return osVersion ? osVersion(v) : inner_.GetOsVersion(v);
}
platform::LocalTime FaultPlatform::GetLocalTime() {
    return localTime ? localTime() : inner_.GetLocalTime();
}
std::int32_t FaultPlatform::GetKnownFolderLocalLow(std::wstring& path) {
    return knownFolderLocalLow ? knownFolderLocalLow(path) : inner_.GetKnownFolderLocalLow(path);
}
bool FaultPlatform::GetSpecialFolderPath(int csidl, std::wstring& path) {
    return specialFolder ? specialFolder(csidl, path) : inner_.GetSpecialFolderPath(csidl, path);
}
bool FaultPlatform::ListFolder(const std::wstring& pattern, std::vector<std::wstring>& names) {
    return listFolder ? listFolder(pattern, names) : inner_.ListFolder(pattern, names);
}
int FaultPlatform::MakeFolder(const std::wstring& path) {
    if (ShouldFail(Op::kMakeFolder)) return 13;  // EACCES
    return inner_.MakeFolder(path);
}
int FaultPlatform::Open(const std::wstring& path, int flags, int permission) {
    if (ShouldFail(Op::kOpen)) return -1;
    return inner_.Open(path, flags, permission);
}
std::int64_t FaultPlatform::Seek(int fd, std::int64_t offset, int whence) {
    if (ShouldFail(Op::kSeek)) return -1;
    return inner_.Seek(fd, offset, whence);
}
int FaultPlatform::Read(int fd, void* buffer, unsigned int count) {
    const std::int64_t at = inner_.Seek(fd, 0, platform::kSeekCur);
    events_.push_back({Op::kRead, fd, at, count});
    if (ShouldFail(Op::kRead)) return -1;
    return inner_.Read(fd, buffer, count);
}
int FaultPlatform::Write(int fd, const void* buffer, unsigned int count) {
    const std::int64_t at = inner_.Seek(fd, 0, platform::kSeekCur);
    events_.push_back({Op::kWrite, fd, at, count});
    if (ShouldFail(Op::kWrite)) return -1;
    return inner_.Write(fd, buffer, count);
}
int FaultPlatform::Close(int fd) {
    ShouldFail(Op::kClose);  // counted, never failed: the descriptor must go
    return inner_.Close(fd);
}
bool FaultPlatform::CanOpenForReading(const std::wstring& path) {
    if (ShouldFail(Op::kOpen)) return false;
    return inner_.CanOpenForReading(path);
}
bool FaultPlatform::ReadFile(const std::wstring& path, platform::StreamMode mode,
                             std::string& contents) {
    if (ShouldFail(Op::kReadFile)) return false;
    return inner_.ReadFile(path, mode, contents);
}
std::unique_ptr<platform::OutputStream> FaultPlatform::OpenOutputStream(const std::wstring& path,
                                                                        platform::StreamMode mode) {
    if (ShouldFail(Op::kOpenStream)) return nullptr;
    auto inner = inner_.OpenOutputStream(path, mode);
    if (!inner) return nullptr;
    return std::make_unique<FaultStream>(std::move(inner), *this);
}
bool FaultPlatform::ReplaceFile(const std::wstring& target, const std::wstring& replacement) {
    if (ShouldFail(Op::kReplace)) return false;
    return inner_.ReplaceFile(target, replacement);
}
bool FaultPlatform::DeleteFile(const std::wstring& path) {
    return inner_.DeleteFile(path);
}
bool FaultPlatform::PathExists(const std::wstring& path) {
    return inner_.PathExists(path);
}
void FaultPlatform::ConsoleWrite(std::string_view text) {
    console.append(text);
}
void FaultPlatform::ConsoleWriteWide(std::wstring_view text) {
    std::string bytes;
    platform::utf8::Encode(text, bytes);
    console.append(bytes);
}
void FaultPlatform::Exit(int status) {
    exited_ = true;
    exitStatus_ = status;
    throw ExitCalled{status};
}

}  // namespace testing_support
