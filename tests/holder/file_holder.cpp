// Holds a file as another program would, for the end-to-end tests:
//   file_holder lock PATH    holds a run lock file as a run of the tool does
//   file_holder write PATH   holds an existing file open for writing, letting others only
//                            read it (POSIX: an flock and a write lock on the whole file)
// Prints "held" once it holds the file, and lets go when its standard input ends.
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::wstring Wide(const char* utf8) {
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

bool Hold(bool lock, const char* path) {
    const DWORD access = GENERIC_READ | GENERIC_WRITE | (lock ? DELETE : 0);
    HANDLE file = ::CreateFileW(Wide(path).c_str(), access, lock ? 0 : FILE_SHARE_READ, nullptr,
                                lock ? OPEN_ALWAYS : OPEN_EXISTING,
                                lock ? FILE_FLAG_DELETE_ON_CLOSE : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::printf("held\n");
    std::fflush(stdout);
    char buffer[64];
    DWORD got = 0;
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    while (::ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    ::CloseHandle(file);
    return true;
}
#else
bool Hold(bool lock, const char* path) {
    const int fd = ::open(path, O_RDWR | (lock ? O_CREAT : 0), 0666);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    if (!lock && ::fcntl(fd, F_SETLK, &range) != 0) return false;
    std::printf("held\n");
    std::fflush(stdout);
    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    if (lock) ::unlink(path);
    ::close(fd);
    return true;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "lock") != 0 && std::strcmp(argv[1], "write") != 0)) {
        std::fprintf(stderr, "usage: file_holder lock|write PATH\n");
        return 2;
    }
    return Hold(std::strcmp(argv[1], "lock") == 0, argv[2]) ? 0 : 1;
}
