// UTF-8 <-> wide conversions of the driver. Both throw std::runtime_error when the
// system cannot convert, and nothing in the tool catches it.
#pragma once

#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
