// Restoring a word's case as it was before its one-pass way for simple classes, kept plain
// so that the display can be checked against it.
#pragma once

#include <cstring>
#include <string_view>

#include "clam/coding/bounded_writer.h"
#include "clam/coding/char_tables.h"
#include "clam/coding/word_class.h"

namespace reference_display {
namespace detail {

inline constexpr int kSharpSLanguage = 2;  // 0xE1 shown as SS in capitals
inline constexpr int kIjLanguage = 10;
inline constexpr int kUmlautLanguage = 14;

using Byte = unsigned char;

// An umlaut capital as its two-letter spelling (0 if c is none).
inline char UmlautBase(Byte c) {
    switch (c) {
        case 0x8E:
            return 'A';
        case 0x99:
            return 'O';
        case 0x9A:
            return 'U';
        default:
            return 0;
    }
}

inline void ApplyCase(std::string_view folded, uint32_t wordClass, int language,
                      ClamBoundedWriter& out) {
    const uint8_t* upper = ClamUpperTable(language);
    const uint8_t* type = ClamLetterTypeTable(language);
    const uint32_t caseField = wordClass & WordClassCaseMask;
    size_t i = 0;
    while (i < folded.size() && (static_cast<Byte>(folded[i]) & 0xFC) == 4) out.Put(folded[i++]);

    const size_t firstLetter = i;
    for (; i < folded.size(); ++i) {
        Byte c = static_cast<Byte>(folded[i]);
        const bool raise = ((caseField & 2) && i == firstLetter) ||
                           (caseField == 3 && (type[c] & kClamLowerCaseLetter));
        if (raise) c = upper[c];
        if (language == kIjLanguage && i + 1 < folded.size() && folded[i + 1] == 'j' &&
            (c == 'i' || c == 'I')) {
            out.Put(static_cast<char>(c));
            c = c == 'i' ? 'j' : 'J';
            ++i;
        }
        if (language == kSharpSLanguage && caseField == 3 && c == 0xE1) {
            out.Put('S');
            c = 'S';
        }
        if (language == kUmlautLanguage && UmlautBase(c) != 0) {
            out.Put(UmlautBase(c));
            c = 'e';
        }
        out.Put(static_cast<char>(c));
        if (wordClass & WordClassSpacedDots) out.Put(kClamPeriod);
    }
}

}  // namespace detail

using namespace detail;

inline void ApplyClass(const char* folded, uint32_t wordClass, char* out, size_t capacity,
                       int language) {
    if (out == nullptr || capacity == 0) return;
    ClamBoundedWriter writer(out, capacity);
    if (folded == nullptr) {
        writer.Finish();
        return;
    }
    if (wordClass & WordClassExactForm) {
        writer.PutText(folded);  // what does not fit is cut
        if (wordClass & WordClassFinalPeriod) writer.Put(kClamPeriod);
        writer.Finish();
        return;
    }
    // Without the language's tables nothing can be restored: shown as stored.
    if (language < 1 || language > kClamLanguageCount) {
        writer.PutText(folded);
        writer.Finish();
        return;
    }
    ApplyCase(folded, wordClass, language, writer);
    if ((wordClass & WordClassFinalPeriod) && writer.Last() != kClamPeriod) {
        writer.Put(kClamPeriod);
    }
    writer.Finish();
}

}  // namespace reference_display
