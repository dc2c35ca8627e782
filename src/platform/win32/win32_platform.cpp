// The platform of the Windows build: the Windows and C runtime calls themselves.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_console.h"

namespace platform {

static_assert(kOpenReadOnly == _O_RDONLY && kOpenWriteOnly == _O_WRONLY &&
              kOpenReadWrite == _O_RDWR && kOpenAppend == _O_APPEND && kOpenRandom == _O_RANDOM &&
              kOpenSequential == _O_SEQUENTIAL && kOpenCreate == _O_CREAT &&
              kOpenTruncate == _O_TRUNC && kOpenExclusive == _O_EXCL && kOpenBinary == _O_BINARY);
static_assert(kPermRead == _S_IREAD && kPermWrite == _S_IWRITE);
static_assert(kSeekSet == SEEK_SET && kSeekCur == SEEK_CUR && kSeekEnd == SEEK_END);
static_assert(kErrExists == EEXIST && kErrNotFound == ENOENT);
static_assert(kCsidlPrograms == CSIDL_PROGRAMS && kCsidlAppData == CSIDL_APPDATA &&
              kCsidlProgramFilesCommon == CSIDL_PROGRAM_FILES_COMMON);
static_assert(kHresultOk == S_OK && kHresultNotImplemented == E_NOTIMPL);
static_assert(kMaxPath == MAX_PATH);

namespace {

// FOLDERID_LocalAppDataLow, {A520A1A4-1780-4FF6-BD18-167343C5AF16}.
constexpr GUID kFolderLocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};

using KnownFolderPathFunction = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);

// Looked up at run time: the call is newer than the oldest system the tool starts on.
std::int32_t QueryLocalLowFolder(std::wstring& path) {
    HRESULT status = E_NOTIMPL;
    HMODULE shell = ::LoadLibraryW(L"Shell32.dll");
    if (shell == nullptr) return status;
    // Through void(*)(): the one pointer type that converts to any function type cleanly.
    const auto function = reinterpret_cast<KnownFolderPathFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(shell, "SHGetKnownFolderPath")));
    if (function != nullptr) {
        PWSTR found = nullptr;
        status = function(kFolderLocalAppDataLow, 0, nullptr, &found);
        if (status == S_OK && found != nullptr) path = found;
        // The caller frees the memory whatever the result.
        ::CoTaskMemFree(found);
    }
    ::FreeLibrary(shell);
    return status;
}

bool QuerySpecialFolder(int csidl, std::wstring& path) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr) {
        return false;
    }
    wchar_t buffer[kMaxPath] = {};
    const bool found = ::SHGetPathFromIDListW(list, buffer) != FALSE;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(list);
        allocator->Release();
    }
    if (found) path = buffer;
    return found;
}

// A narrow C runtime stream; in text mode the runtime writes every "\n" as CR LF.
class Win32OutputStream final : public OutputStream {
  public:
    explicit Win32OutputStream(std::FILE* file) : file_(file) {
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    }
    ~Win32OutputStream() override { Close(); }

    bool Write(std::string_view bytes) override {
        if (file_ == nullptr) return false;
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) good_ = false;
        return good_;
    }

    bool Close() override {
        if (file_ == nullptr) return good_;
        if (std::ferror(file_) != 0) good_ = false;
        if (std::fclose(file_) != 0) good_ = false;
        file_ = nullptr;
        return good_;
    }

  private:
    std::FILE* file_;
    bool good_ = true;
};

// A lock file opened with no sharing; the system deletes it when the handle closes, also
// when the process dies.
class Win32HeldLock final : public HeldLock {
  public:
    explicit Win32HeldLock(HANDLE file) : file_(file) {}
    ~Win32HeldLock() override { ::CloseHandle(file_); }

  private:
    HANDLE file_;
};

LockAttempt TryUnsharedFile(const std::wstring& path, std::unique_ptr<HeldLock>& lock) {
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        lock = std::make_unique<Win32HeldLock>(file);
        return LockAttempt::kTaken;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return LockAttempt::kBusy;
    }
    // A file whose last holder is closing it refuses every open until it is gone.
    if (error == ERROR_ACCESS_DENIED &&
        ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return LockAttempt::kBusy;
    }
    return LockAttempt::kFailed;
}

class Win32Platform final : public Platform {
  public:
    bool GetOsVersion(OsVersion& version) override {
        OSVERSIONINFOW info;
        ::ZeroMemory(&info, sizeof(info));
        info.dwOSVersionInfoSize = sizeof(info);
        if (!::GetVersionExW(&info)) return false;
        version = OsVersion{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                            info.dwBuildNumber};
        return true;
    }

    LocalTime GetLocalTime() override {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    }

    std::int32_t GetKnownFolderLocalLow(std::wstring& path) override {
        return QueryLocalLowFolder(path);
    }

    bool GetSpecialFolderPath(int csidl, std::wstring& path) override {
        return QuerySpecialFolder(csidl, path);
    }

    bool ListFolder(const std::wstring& pattern, std::vector<std::wstring>& names) override {
        names.clear();
        WIN32_FIND_DATAW entry;
        HANDLE search = ::FindFirstFileW(pattern.c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return false;
        do {
            names.emplace_back(entry.cFileName);
        } while (::FindNextFileW(search, &entry));
        const bool complete = ::GetLastError() == ERROR_NO_MORE_FILES;
        ::FindClose(search);
        return complete;
    }

    int MakeFolder(const std::wstring& path) override {
        return ::_wmkdir(path.c_str()) == 0 ? 0 : errno;
    }

    int Open(const std::wstring& path, int flags, int permission) override {
        return ::_wopen(path.c_str(), flags, permission);
    }

    std::int64_t Seek(int fd, std::int64_t offset, int whence) override {
        return ::_lseeki64(fd, offset, whence);
    }

    int Read(int fd, void* buffer, unsigned int count) override {
        return ::_read(fd, buffer, count);
    }

    int Write(int fd, const void* buffer, unsigned int count) override {
        return ::_write(fd, buffer, count);
    }

    int Close(int fd) override { return ::_close(fd); }

    bool CanOpenForReading(const std::wstring& path) override {
        std::FILE* file = ::_wfopen(path.c_str(), L"r");
        if (file == nullptr) return false;
        std::fclose(file);
        return true;
    }

    bool ReadFile(const std::wstring& path, StreamMode mode, std::string& contents) override {
        const int translation = mode == StreamMode::kText ? _O_TEXT : _O_BINARY;
        const int fd = ::_wsopen(path.c_str(), _O_RDONLY | translation, _SH_DENYNO);
        if (fd < 0) return false;
        contents.clear();
        if (const auto length = ::_filelengthi64(fd); length > 0) {
            contents.reserve(static_cast<std::size_t>(length));
        }
        // Large blocks; in text mode the runtime drops the CR of CR LF and stops at 0x1A.
        constexpr unsigned int kBlock = 1u << 20;
        bool ok = true;
        for (;;) {
            const std::size_t old = contents.size();
            contents.resize(old + kBlock);
            const int n = ::_read(fd, contents.data() + old, kBlock);
            contents.resize(old + static_cast<std::size_t>(n > 0 ? n : 0));
            if (n < 0) ok = false;
            if (n <= 0) break;
        }
        ::_close(fd);
        return ok;
    }

    std::unique_ptr<OutputStream> OpenOutputStream(const std::wstring& path,
                                                   StreamMode mode) override {
        const wchar_t* how = mode == StreamMode::kText ? L"wt" : L"wb";
        std::FILE* file = ::_wfsopen(path.c_str(), how, _SH_DENYNO);
        if (file == nullptr) return nullptr;
        return std::make_unique<Win32OutputStream>(file);
    }

    bool ReplaceFile(const std::wstring& target, const std::wstring& replacement) override {
        if (::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
            // No target yet: a rename, which fails should one appear meanwhile.
            return ::MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) !=
                   FALSE;
        }
        // Keeps the target's attributes, and refuses a read-only target (MoveFileExW with
        // MOVEFILE_REPLACE_EXISTING would replace it under Wine).
        return ::ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr) !=
               FALSE;
    }

    bool DeleteFile(const std::wstring& path) override {
        return ::DeleteFileW(path.c_str()) != FALSE;
    }

    bool PathExists(const std::wstring& path) override {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    LockAttempt TryLockFile(const std::wstring& path, std::unique_ptr<HeldLock>& lock) override {
        return TryUnsharedFile(path, lock);
    }

    void Sleep(unsigned int milliseconds) override { ::Sleep(milliseconds); }

    unsigned int RunLockWaitMilliseconds() override {
        return RunLockWaitFromSetting(std::getenv("WORDHAUL_RUN_LOCK_WAIT_MS"));
    }

    std::unique_ptr<OutputStream> CreateOutputStream(const std::wstring& path,
                                                     StreamMode mode) override {
        const bool text = mode == StreamMode::kText;
        const int fd =
            ::_wsopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | (text ? _O_TEXT : _O_BINARY),
                      _SH_DENYNO, _S_IREAD | _S_IWRITE);
        if (fd < 0) return nullptr;
        std::FILE* file = ::_wfdopen(fd, text ? L"wt" : L"wb");
        if (file == nullptr) {
            ::_close(fd);
            return nullptr;
        }
        return std::make_unique<Win32OutputStream>(file);
    }

    int OpenHeld(const std::wstring& path, int flags, int permission) override {
        return ::_wsopen(path.c_str(), flags, _SH_DENYWR, permission);
    }

    bool FlushFile(int fd) override { return ::_commit(fd) == 0; }

    bool FlushFolder(const std::wstring&) override { return true; }

    bool IsFolder(const std::wstring& path) override {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    void ConsoleWrite(std::string_view text) override { win32::WriteNarrow(text); }
    void ConsoleWriteWide(std::wstring_view text) override { win32::WriteWide(text); }
    void ConsoleFlush() override { win32::Flush(); }

    [[noreturn]] void Exit(int status) override {
        win32::Flush();
        std::exit(status);
    }
};

}  // namespace

Platform& NativePlatform() {
    static Win32Platform instance;
    return instance;
}

}  // namespace platform
