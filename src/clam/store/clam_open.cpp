#include <cstring>
#include <new>

#include "clam/store/block_cache.h"
#include "clam/store/clam_status.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"
#include "platform/platform.h"

namespace {

constexpr int kCreateFlags = platform::kOpenReadWrite | platform::kOpenCreate |
                             platform::kOpenTruncate | platform::kOpenBinary |
                             platform::kOpenRandom;
constexpr int kReadWriteFlags =
    platform::kOpenReadWrite | platform::kOpenBinary | platform::kOpenRandom;
constexpr int kReadOnlyFlags =
    platform::kOpenReadOnly | platform::kOpenBinary | platform::kOpenSequential;
constexpr int kReadWritePermission = platform::kPermRead | platform::kPermWrite;

void SetStatus(int* status, int code) {
    if (status != nullptr) *status = code;
}

bool IsLanguage(int id) {
    return id >= kClamMinLanguage && id <= kClamMaxLanguage;
}

// An open that fails writes nothing more: its blocks leave the cache unwritten.
ClamHandle* Abandon(ClamHandle* handle, int* status, int code) {
    SetStatus(status, code);
    handle->flags |= kClamFailed;
    static_cast<void>(ClamFreeHandle(handle));  // failed: nothing is written
    return nullptr;
}

bool WriteAt(std::int64_t fd, const std::uint8_t* bytes, unsigned int count) {
    auto& os = platform::CurrentPlatform();
    if (os.Seek(static_cast<int>(fd), 0, platform::kSeekSet) != 0) return false;
    return os.Write(static_cast<int>(fd), bytes, count) == static_cast<int>(count);
}

void FillNewRoot(std::uint8_t* block, const ClamPhonEnv* env) {
    block[0] = kClamVersion;
    block[1] = static_cast<std::uint8_t>(env->language);
    const char base = static_cast<char>(env->classBase & 0xFF);
    const char sentinel[3] = {base, base, '\0'};
    std::uint8_t* end = ClamEncodeRecord(block + kClamHeaderSize, 0, nullptr, sentinel);
    ClamPutU16(block + 2, static_cast<std::uint32_t>(end - block) | kClamLeafBit);
}

ClamHandle* CreateEmpty(ClamHandle* handle, int* status) {
    std::uint8_t* block = ClamGetBlock(handle->cache, 0, handle->fd, kClamModeChange);
    if (block == nullptr) return Abandon(handle, status, kClamStatusIoError);
    const ClamPhonEnv* env = handle->phonEnv;
    handle->language = env->language;
    handle->languageCode = static_cast<std::uint8_t>(env->language);
    handle->formatVersion = kClamVersion;
    handle->blockCount = 1;
    FillNewRoot(block, env);
    if (!WriteAt(handle->fd, block, kClamBlockSize)) {
        return Abandon(handle, status, kClamStatusIoError);
    }
    return handle;
}

ClamHandle* OpenExisting(ClamHandle* handle, std::uint32_t mode, int* status) {
    if (ClamFindLastBlock(handle) == 0) return Abandon(handle, status, kClamStatusIoError);
    if (ClamLoadBlock(handle, 0, kClamModeRead) == 0) {
        return Abandon(handle, status, kClamStatusIoError);
    }
    std::uint8_t* block = handle->block;
    int version = block[0];
    int language = block[1];
    if (!IsLanguage(language)) {
        version = kClamOldVersion;
        language = block[0];
    }
    if (version != kClamVersion && version != kClamOldVersion) {
        return Abandon(handle, status, kClamStatusBadVersion);
    }
    if (language != handle->phonEnv->language) {
        return Abandon(handle, status, kClamStatusBadLanguage);
    }
    handle->formatVersion = static_cast<std::uint8_t>(version);
    handle->language = language;
    handle->languageCode = static_cast<std::uint8_t>(language);
    if (version == kClamOldVersion && (mode & kClamReadOnly) == 0) {
        handle->formatVersion = kClamVersion;
        block[0] = kClamVersion;
        block[1] = static_cast<std::uint8_t>(language);
        if (!WriteAt(handle->fd, block, 2)) return Abandon(handle, status, kClamStatusIoError);
    }
    return handle;
}

bool IsUsableDescriptor(int fd) {
    return fd != -1 && fd != 0;
}

}  // namespace

ClamHandle* ClamOpenDescriptor(int fd, std::uint32_t mode, ClamBlockCache* cache, ClamPhonEnv* env,
                               int* status) {
    if (!IsUsableDescriptor(fd)) {
        SetStatus(status, kClamStatusCannotOpen);
        return nullptr;
    }
    auto* handle = (cache == nullptr || env == nullptr) ? nullptr : new (std::nothrow) ClamHandle{};
    if (handle == nullptr) {
        SetStatus(status, kClamStatusNoMemory);
        return nullptr;
    }
    handle->cache = cache;
    handle->fd = fd;
    handle->phonEnv = env;
    handle->flags = kClamNotOwned;
    handle->rootBlock = 0;
    handle->currentBlock = 0;
    handle->keyEnd = handle->key.data();
    if ((mode & kClamCreate) != 0) {
        mode &= ~static_cast<std::uint32_t>(kClamReadOnly);
        if (CreateEmpty(handle, status) == nullptr) return nullptr;
    } else if (OpenExisting(handle, mode, status) == nullptr) {
        return nullptr;
    }
    handle->savedBlock = -1;
    handle->flags = static_cast<std::uint16_t>((mode | kClamNotOwned) & ~kClamFailed);
    return handle;
}

ClamHandle* ClamOpenFile(const std::wstring& path, std::uint32_t mode, ClamBlockCache* cache,
                         ClamPhonEnv* env, int* status) {
    auto& os = platform::CurrentPlatform();
    int fd = -1;
    if ((mode & kClamCreate) != 0) {
        fd = os.Open(path, kCreateFlags, kReadWritePermission);
    } else if ((mode & kClamReadOnly) == 0) {
        fd = os.Open(path, kReadWriteFlags, kReadWritePermission);
    }
    if (!IsUsableDescriptor(fd) && (mode & kClamCreate) == 0) {
        if (fd == 0) os.Close(fd);
        fd = os.Open(path, kReadOnlyFlags, platform::kPermRead);
        mode |= kClamReadOnly;
    }
    if (!IsUsableDescriptor(fd)) {
        if (fd == 0) os.Close(fd);
        SetStatus(status, kClamStatusCannotOpen);
        return nullptr;
    }
    ClamHandle* handle = ClamOpenDescriptor(fd, mode, cache, env, status);
    if (handle == nullptr) {
        os.Close(fd);
        return nullptr;
    }
    handle->flags &= static_cast<std::uint16_t>(~kClamNotOwned);
    return handle;
}

int ClamFindLastBlock(ClamHandle* handle) {
    auto& os = platform::CurrentPlatform();
    const int fd = static_cast<int>(handle->fd);
    const std::int64_t here = os.Seek(fd, 0, platform::kSeekCur);
    const std::int64_t length = here < 0 ? -1 : os.Seek(fd, 0, platform::kSeekEnd);
    if (length < 0 || os.Seek(fd, here, platform::kSeekSet) < 0) return 0;
    const std::int64_t blocks = length / static_cast<std::int64_t>(kClamBlockSize);
    // Block numbers beyond 16 bits cannot be in use; a longer file is read as if cut there.
    handle->blockCount = static_cast<std::uint32_t>(
        blocks > static_cast<std::int64_t>(kClamMaxBlocks) ? kClamMaxBlocks : blocks);
    while (handle->blockCount > 0) {
        if (ClamLoadBlock(handle, handle->blockCount - 1, kClamModeRead) == 0) return 0;
        if (handle->block[0] != 0 || handle->block[1] != 0) return 1;
        --handle->blockCount;
    }
    return 0;
}

int ClamFreeHandle(ClamHandle* handle) {
    int result = 1;
    if (handle->fd != 0) {
        if ((handle->flags & kClamFailed) != 0) {
            ClamDiscardFile(handle->cache, handle->fd);
            result = 0;
        } else {
            result = ClamFlushFile(handle->cache, handle->fd);
        }
    }
    *handle = ClamHandle{};
    delete handle;
    return result;
}

int ClamClose(ClamHandle* handle) {
    if (handle == nullptr) return 1;
    const int fd = static_cast<int>(handle->fd);
    const bool owned = (handle->flags & kClamNotOwned) == 0;
    const int result = ClamFreeHandle(handle);
    if (owned && fd != 0) platform::CurrentPlatform().Close(fd);
    return result;
}
