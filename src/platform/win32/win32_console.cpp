#include "platform/win32/win32_console.h"

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace platform::win32 {
namespace {

// The console's own handle, or null when standard output is redirected. Asked at every
// write: the handle can change while the process runs.
HANDLE ConsoleOutput() {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || !::GetConsoleMode(out, &mode)) {
        return nullptr;
    }
    return out;
}

void WriteToConsole(HANDLE console, std::wstring_view text) {
    // In pieces, as old consoles refuse large writes; a surrogate pair stays whole.
    constexpr std::size_t kPiece = 8192;
    while (!text.empty()) {
        std::size_t count = text.size() < kPiece ? text.size() : kPiece;
        if (count < text.size() && count > 1 && text[count - 1] >= 0xD800 &&
            text[count - 1] <= 0xDBFF) {
            --count;
        }
        DWORD written = 0;
        if (!::WriteConsoleW(console, text.data(), static_cast<DWORD>(count), &written, nullptr) ||
            written == 0) {
            return;
        }
        text.remove_prefix(written);
    }
}

}  // namespace

void WriteNarrow(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void WriteWide(std::wstring_view text) {
    if (HANDLE console = ConsoleOutput()) {
        std::fflush(stdout);
        WriteToConsole(console, text);
        return;
    }
    std::string bytes;
    if (WideToUtf8Chars(text, bytes)) WriteNarrow(bytes);
}

void Flush() {
    std::fflush(stdout);
}

}  // namespace platform::win32
