// UTF-8 conversions of the Windows build: the system's own, on code page 65001.
#include <climits>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace platform {

// Both in two calls: the length first, then the conversion into a buffer of that length.
// An empty text converts to an empty text without a call (the system answers 0 for it,
// which means failure).

bool Utf8ToWideChars(std::string_view utf8, std::wstring& wide) {
    wide.clear();
    if (utf8.empty()) return true;
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int size = static_cast<int>(utf8.size());
    const int length =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<std::size_t>(length));
    const int done = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size,
                                           wide.data(), length);
    if (done != length) {
        wide.clear();
        return false;
    }
    return true;
}

bool WideToUtf8Chars(std::wstring_view wide, std::string& utf8) {
    utf8.clear();
    if (wide.empty()) return true;
    if (wide.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    utf8.resize(static_cast<std::size_t>(length));
    const int done =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    if (done != length) {
        utf8.clear();
        return false;
    }
    return true;
}

}  // namespace platform
