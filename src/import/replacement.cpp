#include "import/replacement.h"

#include <algorithm>
#include <vector>

#include "app/folder_path.h"
#include "platform/platform.h"

namespace {

constexpr int kReadWritePermission = platform::kPermRead | platform::kPermWrite;
constexpr unsigned int kCopyChunk = 1u << 16;

platform::Platform& System() {
    return platform::CurrentPlatform();
}

int CreateExclusive(const std::wstring& path) {
    return System().OpenHeld(path,
                             platform::kOpenReadWrite | platform::kOpenCreate |
                                 platform::kOpenExclusive | platform::kOpenBinary,
                             kReadWritePermission);
}

// A file that nobody holds is what a run that ended left behind.
bool RemoveIfAbandoned(const std::wstring& path) {
    Descriptor probe(System().OpenHeld(path, platform::kOpenReadWrite | platform::kOpenBinary,
                                       kReadWritePermission));
    if (!probe.IsOpen() || !probe.Close()) return false;
    return System().DeleteFile(path);
}

std::wstring TemporaryPath(const std::wstring& target) {
    return target + L".wordhaul-new";
}

}  // namespace

bool HasTemporaryFile(const std::wstring& target) {
    return System().PathExists(TemporaryPath(target));
}

bool Descriptor::Close() {
    if (fd_ == -1) return true;
    const int fd = fd_;
    fd_ = -1;
    return System().Close(fd) == 0;
}

Descriptor HoldDestination(const std::wstring& path, bool write) {
    const int flags = (write ? platform::kOpenReadWrite : platform::kOpenReadOnly) |
                      platform::kOpenBinary | platform::kOpenRandom;
    return Descriptor(System().OpenHeld(path, flags, kReadWritePermission));
}

Replacement::Replacement(std::wstring target)
    : target_(std::move(target)), path_(TemporaryPath(target_)) {}

Replacement::~Replacement() {
    Discard();
}

bool Replacement::Create() {
    int fd = CreateExclusive(path_);
    if (fd == -1 && System().PathExists(path_) && RemoveIfAbandoned(path_)) {
        fd = CreateExclusive(path_);
    }
    if (fd == -1) return false;
    file_.Adopt(fd);
    created_ = true;
    return true;
}

bool Replacement::Write(const char* bytes, std::size_t count) {
    while (count > 0) {
        const auto chunk = static_cast<unsigned int>(std::min<std::size_t>(count, kCopyChunk));
        if (System().Write(file_.Get(), bytes, chunk) != static_cast<int>(chunk)) return false;
        bytes += chunk;
        count -= chunk;
    }
    return true;
}

bool Replacement::CopyFrom(int fd) {
    if (System().Seek(fd, 0, platform::kSeekSet) != 0) return false;
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const int n = System().Read(fd, buffer.data(), kCopyChunk);
        if (n < 0) return false;
        if (n == 0) return true;
        if (!Write(buffer.data(), static_cast<std::size_t>(n))) return false;
    }
}

bool Replacement::Commit(Descriptor& heldTarget) {
    // The destination's hold goes before the replace: Windows refuses to replace an open file.
    bool done = System().FlushFile(file_.Get());
    done = file_.Close() && done;
    done = heldTarget.Close() && done;
    if (!done || !System().ReplaceFile(target_, path_)) return false;
    created_ = false;
    return System().FlushFolder(GetParentFolder(target_));
}

void Replacement::Discard() {
    if (!created_) return;
    created_ = false;
    static_cast<void>(file_.Close());
    System().DeleteFile(path_);
}
