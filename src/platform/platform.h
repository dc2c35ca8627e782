// The one seam between Wordhaul and the operating system.
//
// Everything that touches a file, a folder, the console or the clock goes through the
// Platform object returned by CurrentPlatform(). There are two real implementations,
// win32/ (the Windows calls themselves) and posix/ (a stand-in that presents a Wine-style
// prefix), and tests swap in fakes or fault-injecting wrappers with SetPlatform().
//
// The calls mirror the Windows calls the tool is written against, with their Windows
// values: paths are wide strings with backslashes, descriptor flags are the C runtime's
// _O_* values, folder creation reports an errno value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// C runtime open flags, with their Windows values.
inline constexpr int kOpenReadOnly = 0x0000;    // _O_RDONLY
inline constexpr int kOpenWriteOnly = 0x0001;   // _O_WRONLY
inline constexpr int kOpenReadWrite = 0x0002;   // _O_RDWR
inline constexpr int kOpenAppend = 0x0008;      // _O_APPEND
inline constexpr int kOpenRandom = 0x0010;      // _O_RANDOM
inline constexpr int kOpenSequential = 0x0020;  // _O_SEQUENTIAL
inline constexpr int kOpenCreate = 0x0100;      // _O_CREAT
inline constexpr int kOpenTruncate = 0x0200;    // _O_TRUNC
inline constexpr int kOpenExclusive = 0x0400;   // _O_EXCL
inline constexpr int kOpenBinary = 0x8000;      // _O_BINARY

// Permission bits of a created file.
inline constexpr int kPermRead = 0x0100;   // _S_IREAD
inline constexpr int kPermWrite = 0x0080;  // _S_IWRITE

inline constexpr int kSeekSet = 0;
inline constexpr int kSeekCur = 1;
inline constexpr int kSeekEnd = 2;

// errno values that callers test for; equal on Windows and Linux.
inline constexpr int kErrExists = 17;   // EEXIST
inline constexpr int kErrNotFound = 2;  // ENOENT

// Shell folder identifiers.
inline constexpr int kCsidlPrograms = 0x02;
inline constexpr int kCsidlAppData = 0x1A;
inline constexpr int kCsidlProgramFilesCommon = 0x2B;

// HRESULT values of the known-folder query.
inline constexpr std::int32_t kHresultOk = 0;
inline constexpr std::int32_t kHresultNotImplemented = static_cast<std::int32_t>(0x80004001u);

// MAX_PATH: the size, terminating zero included, of the buffers the shell fills.
inline constexpr std::size_t kMaxPath = 260;

struct OsVersion {
    std::uint32_t platformId = 0;  // 2: the NT platform
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
};

struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A file opened for output as a stream. Text mode writes every "\n" as CR LF, as the
// Windows C runtime does; binary mode writes the bytes as given.
class OutputStream {
  public:
    virtual ~OutputStream() = default;
    // Writes the bytes; false when they did not all reach the stream.
    virtual bool Write(std::string_view bytes) = 0;
    // Flushes and closes; false when anything written was lost. Idempotent.
    virtual bool Close() = 0;
};

enum class StreamMode { kText, kBinary };

// --- Run lock -------------------------------------------------------------------------
// The hold on a lock file; destroying it releases the lock (so does the end of the process).
class HeldLock {
  public:
    virtual ~HeldLock() = default;
};

enum class LockAttempt { kTaken, kBusy, kFailed };

class Platform {
  public:
    virtual ~Platform() = default;

    // --- System -------------------------------------------------------------------
    // GetVersionExW; false when the call fails.
    virtual bool GetOsVersion(OsVersion& version) = 0;
    // GetLocalTime.
    virtual LocalTime GetLocalTime() = 0;
    // SHGetKnownFolderPath(FOLDERID_LocalAppDataLow), looked up at run time in Shell32.dll.
    // Returns the HRESULT (kHresultNotImplemented when the export is missing) and, on
    // success, the path, whatever its length: the caller decides what fits its buffer.
    virtual std::int32_t GetKnownFolderLocalLow(std::wstring& path) = 0;
    // SHGetSpecialFolderLocation + SHGetPathFromIDListW (+ freeing the ID list); false
    // when either call fails.
    virtual bool GetSpecialFolderPath(int csidl, std::wstring& path) = 0;

    // --- Folders ------------------------------------------------------------------
    // FindFirstFileW on the pattern (a folder, "\\" and "*"), then FindNextFileW until it
    // fails, then FindClose. Returns false when FindFirstFileW fails, or FindNextFileW fails
    // before the last entry. The names come in the order the system gives them, the first
    // two entries ("." and "..") included.
    virtual bool ListFolder(const std::wstring& pattern, std::vector<std::wstring>& names) = 0;
    // _wmkdir: 0 on success, else the errno value (kErrExists when the folder exists).
    virtual int MakeFolder(const std::wstring& path) = 0;

    // --- Descriptor I/O (_wopen, _lseek, _read, _write, _close) ----------------------
    // Open returns -1 on failure. Flags and permissions take the kOpen* and kPerm* values.
    virtual int Open(const std::wstring& path, int flags, int permission) = 0;
    virtual std::int64_t Seek(int fd, std::int64_t offset, int whence) = 0;
    // Return the byte count, or -1.
    virtual int Read(int fd, void* buffer, unsigned int count) = 0;
    virtual int Write(int fd, const void* buffer, unsigned int count) = 0;
    virtual int Close(int fd) = 0;

    // --- Whole files and streams --------------------------------------------------
    // _wfopen(path, "r") followed by fclose: true when the file exists and can be read.
    virtual bool CanOpenForReading(const std::wstring& path) = 0;
    // Reads the whole file, shared for reading and writing with others. In text mode the
    // input ends at a byte 0x1A and CR LF reads as LF, as the Windows C runtime reads it.
    // False when the file cannot be opened or read; `contents` is then unspecified.
    virtual bool ReadFile(const std::wstring& path, StreamMode mode, std::string& contents) = 0;
    // Opens a file for output, created or truncated, with no sharing restriction; null when
    // it cannot be opened.
    virtual std::unique_ptr<OutputStream> OpenOutputStream(const std::wstring& path,
                                                           StreamMode mode) = 0;
    // Replaces `target` with `replacement` (a file in the same folder) in one step, keeping
    // the target's attributes. Refuses, leaving both files, when the target is read-only.
    // When the target does not exist, the replacement is renamed to it. On Windows the
    // change is written through; on POSIX FlushFolder makes it last.
    virtual bool ReplaceFile(const std::wstring& target, const std::wstring& replacement) = 0;
    // Deletes a file; false when it cannot be deleted.
    virtual bool DeleteFile(const std::wstring& path) = 0;
    // GetFileAttributesW succeeds: a file or folder of that path exists (readable or not).
    virtual bool PathExists(const std::wstring& path) = 0;

    // --- Durability and file locks ----------------------------------------------------
    // Open, holding the file against other writers until the descriptor is closed. Windows:
    // _wsopen with _SH_DENYWR (share mode FILE_SHARE_READ), so the open fails while another
    // program has the file open for writing, or open denying writers while we ask to write.
    // POSIX: open, then flock(LOCK_EX | LOCK_NB) on the descriptor, so the open fails while
    // another process holds an flock on the file. -1 when the file cannot be opened or is
    // held. With kOpenCreate | kOpenExclusive it fails when the file exists (CREATE_NEW,
    // O_EXCL).
    virtual int OpenHeld(const std::wstring& path, int flags, int permission) = 0;
    // FlushFileBuffers (_commit) / fsync: false when the file's bytes may not be on disk.
    virtual bool FlushFile(int fd) = 0;
    // Makes the renames in a folder last: fsync of the folder on POSIX; nothing on Windows,
    // whose replace writes through.
    virtual bool FlushFolder(const std::wstring& folder) = 0;
    // GetFileAttributesW finds a folder of that path.
    virtual bool IsFolder(const std::wstring& path) = 0;

    // --- Console (standard output) -------------------------------------------------
    // Narrow text goes out byte for byte. Wide text reaches the user whole: on a console
    // as wide characters, redirected as UTF-8. Narrow and wide writes keep their order.
    virtual void ConsoleWrite(std::string_view text) = 0;
    virtual void ConsoleWriteWide(std::wstring_view text) = 0;
    virtual void ConsoleFlush() = 0;

    // --- Run lock -----------------------------------------------------------------
    // One try at the lock file `path`, made when missing. kBusy while another process (or
    // another hold in this one) has it; kFailed when it cannot be opened for another reason.
    // Windows: no sharing and deleted on close; POSIX: flock, and removed before release.
    virtual LockAttempt TryLockFile(const std::wstring& path, std::unique_ptr<HeldLock>& lock) = 0;
    // Waits without using the processor.
    virtual void Sleep(unsigned int milliseconds) = 0;
    // How long a run waits for another one: 60 s, or $WORDHAUL_RUN_LOCK_WAIT_MS for tests.
    virtual unsigned int RunLockWaitMilliseconds() = 0;
    // Creates a new file for output, with no sharing restriction; null when a file of that
    // name exists or it cannot be created.
    virtual std::unique_ptr<OutputStream> CreateOutputStream(const std::wstring& path,
                                                             StreamMode mode) = 0;

    // --- Process ------------------------------------------------------------------
    // Flushes the console and ends the process with the status (the C runtime's exit).
    [[noreturn]] virtual void Exit(int status) = 0;
};

// The platform of this build (win32 or the POSIX stand-in).
Platform& NativePlatform();

// The platform in use: NativePlatform() unless a test installed another one.
Platform& CurrentPlatform();

// Installs a platform (null restores the native one); returns the one it replaces.
Platform* SetPlatform(Platform* platform);

}  // namespace platform

namespace platform {

// UTF-8 <-> wide conversions of this build (MultiByteToWideChar and WideCharToMultiByte
// on code page 65001 on Windows). Utf8ToWideChars fails on invalid UTF-8; WideToUtf8Chars
// fails only where the system's conversion fails. Both convert the whole view, NULs too.
bool Utf8ToWideChars(std::string_view utf8, std::wstring& wide);
bool WideToUtf8Chars(std::wstring_view wide, std::string& utf8);

// The run lock's wait bound from the text of $WORDHAUL_RUN_LOCK_WAIT_MS (null when unset):
// a decimal count of milliseconds up to an hour, else 60000.
unsigned int RunLockWaitFromSetting(const char* text);

}  // namespace platform
