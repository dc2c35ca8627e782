#include "app/text_conversion.h"

#include <stdexcept>

#include "platform/platform.h"

namespace {

// The system conversions give the text up to its terminating zero.
template <typename String>
String UpToFirstZero(String text) {
    const auto zero = text.find(typename String::value_type{0});
    if (zero != String::npos) text.resize(zero);
    return text;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring wide;
    if (!platform::Utf8ToWideChars(utf8, wide)) {
        // The length query fails first on invalid input, as it does on Windows.
        throw std::runtime_error("Unable to calculate string length");
    }
    return UpToFirstZero(std::move(wide));
}

std::string WideToUtf8(std::wstring_view wide) {
    std::string utf8;
    if (!platform::WideToUtf8Chars(wide, utf8)) {
        throw std::runtime_error("Unable to calculate string length");
    }
    return UpToFirstZero(std::move(utf8));
}
