// Standard output of the Windows build: narrow text as bytes, wide text whole.
#pragma once

#include <string_view>

namespace platform::win32 {

// Narrow text goes to the C runtime's standard output as it is (in its text mode, so a
// line end becomes CR LF).
void WriteNarrow(std::string_view text);

// Wide text: WriteConsoleW when standard output is a console; otherwise (a file or a pipe)
// the UTF-8 bytes, so that no character is lost to a code page. Narrow text written
// before it comes out first.
void WriteWide(std::wstring_view text);

void Flush();

}  // namespace platform::win32
