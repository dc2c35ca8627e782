// Portable UTF-8 coding of wide strings, for the POSIX stand-in (whose wchar_t holds a
// whole code point) and for code that must not depend on the system's conversion.
#pragma once

#include <string>
#include <string_view>

namespace platform::utf8 {

// Strict decoding: false on an invalid sequence, an overlong form, a surrogate or a code
// point above U+10FFFF. With a 16-bit wchar_t, code points above U+FFFF become surrogate pairs.
bool Decode(std::string_view in, std::wstring& out);

// Encoding; a lone surrogate or a value above U+10FFFF becomes U+FFFD, as Windows does.
void Encode(std::wstring_view in, std::string& out);

}  // namespace platform::utf8
