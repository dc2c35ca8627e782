#include <cstring>
#include <string_view>

#include "clam/coding/bounded_writer.h"
#include "clam/coding/char_tables.h"
#include "clam/coding/word_class.h"

namespace {

constexpr int kSharpSLanguage = 2;  // 0xE1 shown as SS in capitals
constexpr int kIjLanguage = 10;
constexpr int kUmlautLanguage = 14;

using Byte = unsigned char;

// An umlaut capital as its two-letter spelling (0 if c is none).
char UmlautBase(Byte c) {
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

void ApplyCase(std::string_view folded, uint32_t wordClass, int language, ClamBoundedWriter& out) {
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

// A lower-case word is shown as stored and a capitalised one with its first letter raised,
// in the languages whose letter pairs the display leaves alone; false for any other.
bool ApplySimpleCase(std::string_view folded, uint32_t wordClass, int language,
                     ClamBoundedWriter& out) {
    if (language == kIjLanguage || language == kUmlautLanguage) return false;
    if (wordClass != WordClassLowerCase && wordClass != WordClassCapitalised) return false;
    size_t i = 0;
    if (wordClass == WordClassCapitalised) {
        while (i < folded.size() && (static_cast<Byte>(folded[i]) & 0xFC) == 4) {
            out.Put(folded[i++]);
        }
        if (i < folded.size()) {
            out.Put(static_cast<char>(ClamUpperTable(language)[static_cast<Byte>(folded[i++])]));
        }
    }
    for (; i < folded.size(); ++i) out.Put(folded[i]);
    return true;
}

// Restores case, periods and digraphs of a folded text from its class.
void ApplyClassText(std::string_view folded, uint32_t wordClass, char* out, size_t capacity,
                    int language) {
    ClamBoundedWriter writer(out, capacity);
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
    if (ApplySimpleCase(folded, wordClass, language, writer)) {
        writer.Finish();
        return;
    }
    ApplyCase(folded, wordClass, language, writer);
    if ((wordClass & WordClassFinalPeriod) && writer.Last() != kClamPeriod) {
        writer.Put(kClamPeriod);
    }
    writer.Finish();
}

}  // namespace

void ClamApplyClass(const char* folded, uint32_t wordClass, char* out, size_t capacity,
                    int language) {
    if (out == nullptr || capacity == 0) return;
    if (folded == nullptr) {
        out[0] = 0;
        return;
    }
    ApplyClassText(folded, wordClass, out, capacity, language);
}

void ClamDisplayForm(const char* encoded, uint32_t wordClass, char* out, size_t capacity,
                     int language) {
    if (out == nullptr || capacity == 0) return;
    out[0] = 0;
    if (encoded == nullptr) return;
    ClamDisplayText(encoded, wordClass, out, capacity, language);
}

void ClamDisplayText(std::string_view encoded, uint32_t wordClass, char* out, size_t capacity,
                     int language) {
    if (out == nullptr || capacity == 0) return;
    out[0] = 0;
    std::string_view rest = encoded;
    size_t written = 0;
    size_t at = 0;
    while (at < encoded.size() && encoded[at] != kClamPairSeparator) ++at;
    if (at < encoded.size()) {
        const char* separator = encoded.data() + at;
        const bool markedPair = at > 0 && separator[-1] == kClamMarker3;
        const bool pair = markedPair || !(wordClass & WordClassExactForm);
        if (at > 0 && pair) {
            // The first half is shown folded, as stored.
            const size_t half = at - (markedPair ? 1 : 0);
            if (half + 1 > capacity - 1) return;
            std::memcpy(out, encoded.data(), half);
            out[half] = kClamPairSeparator;
            written = half + 1;
        }
        rest = encoded.substr(at + 1);
    }
    ApplyClassText(rest, wordClass, out + written, capacity - written, language);
}
