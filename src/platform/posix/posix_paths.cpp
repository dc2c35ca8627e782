#include "platform/posix/posix_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/utf8.h"

namespace platform::posix {
namespace {

std::string Prefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
        return prefix;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.wine";
}

std::string UserName() {
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr) return entry->pw_name;
    return "user";
}

wchar_t UpperCase(wchar_t c) {
    // ASCII and Latin-1 letters; other characters compare as they are.
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 32);
    if (c == 0xFF) return static_cast<wchar_t>(0x178);
    return c;
}

}  // namespace

std::string DriveCFolder() {
    return Prefix() + "/drive_c";
}

std::wstring UserProfileFolder() {
    return L"C:\\users\\" + HostNameToWide(UserName());
}

std::string MapToHostPath(std::wstring_view windowsPath) {
    std::string root;
    std::wstring_view rest = windowsPath;
    if (rest.size() >= 2 && rest[1] == L':' &&
        ((rest[0] >= L'a' && rest[0] <= L'z') || (rest[0] >= L'A' && rest[0] <= L'Z'))) {
        const char letter = static_cast<char>(rest[0] | 0x20);
        root = letter == 'c' ? DriveCFolder() : Prefix() + "/dosdevices/" + letter + ":";
        rest.remove_prefix(2);
    } else if (!rest.empty() && rest[0] == L'/') {
        // Windows paths use backslashes; a leading slash is a host path given by a tool.
        std::string host;
        utf8::Encode(rest, host);
        return host;
    } else if (!rest.empty() && rest[0] == L'\\') {
        root = DriveCFolder();
    }
    std::string tail;
    utf8::Encode(rest, tail);
    std::replace(tail.begin(), tail.end(), '\\', '/');
    if (!root.empty() && !tail.empty() && tail.front() != '/') root += '/';
    return root + tail;
}

std::wstring HostNameToWide(std::string_view name) {
    std::wstring wide;
    if (utf8::Decode(name, wide)) return wide;
    wide.clear();
    for (unsigned char c : name) wide.push_back(static_cast<wchar_t>(c));
    return wide;
}

void SortLikeWindowsListing(std::vector<std::wstring>& names) {
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](wchar_t x, wchar_t y) { return UpperCase(x) < UpperCase(y); });
    });
}

}  // namespace platform::posix
