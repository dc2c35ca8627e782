#include "clam/coding/word_class.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "clam/coding/bounded_writer.h"
#include "clam/coding/char_tables.h"

namespace {

constexpr int kIjLanguage = 10;      // i j as one letter
constexpr int kUmlautLanguage = 14;  // Ae, Oe, Ue as one letter

using Byte = unsigned char;

bool IsLanguage(int language) {
    return language >= 1 && language <= kClamLanguageCount;
}

bool IsLeadingMarker(Byte c) {
    return (c & 0xFC) == 4;
}

struct WordTables {
    const uint8_t* lower;
    const uint8_t* type;
    const uint8_t* alphabet;

    explicit WordTables(int language)
        : lower(ClamLowerTable(language)),
          type(ClamLetterTypeTable(language)),
          alphabet(ClamAlphabetTable(language)) {}

    bool IsLower(Byte c) const { return (type[c] & kClamLowerCaseLetter) != 0; }
    bool IsUpper(Byte c) const { return (type[c] & kClamUpperCaseLetter) != 0; }
    bool IsValid(Byte c) const { return (alphabet[c] & kClamValidWordChar) != 0; }
};

// Reads a word's text with the language's letter pairs joined into the one
// byte that stands for them, and notes spellings only the exact form keeps.
class DigraphReader {
  public:
    DigraphReader(std::string_view text, int language, const WordTables& tables)
        : text_(text), language_(language), tables_(tables) {}

    bool Next(Byte& out) {
        if (pos_ >= text_.size()) return false;
        const Byte c = At(pos_);
        const Byte next = pos_ + 1 < text_.size() ? At(pos_ + 1) : 0;
        ++pos_;
        if (language_ == kIjLanguage && (c == 'i' || c == 'I') && tables_.lower[next] == 'j') {
            ++pos_;
            if (tables_.IsLower(c) != tables_.IsLower(next)) exactForm_ = true;
            out = tables_.IsLower(c) ? kClamDigraphIjLower : kClamDigraphIjUpper;
            return true;
        }
        if (language_ == kUmlautLanguage) {
            if (next == 'e' && (c == 'A' || c == 'O' || c == 'U')) {
                ++pos_;
                out = c == 'A' ? 0x8E : c == 'O' ? 0x99 : 0x9A;
                return true;
            }
            if (c == 0x8E || c == 0x99 || c == 0x9A) exactForm_ = true;
        }
        out = c;
        return true;
    }

    bool exactForm() const { return exactForm_; }

  private:
    Byte At(size_t i) const { return static_cast<Byte>(text_[i]); }

    std::string_view text_;
    int language_;
    const WordTables& tables_;
    size_t pos_ = 0;
    bool exactForm_ = false;
};

struct WordShape {
    bool exactForm = false;
    bool spacedBroken = false;
    bool innerPeriod = false;
    bool lastIsPeriod = false;
    bool hasLower = false;
    int upperCount = 0;
};

// In language 10 the display joins a folded i and j into the digraph, so "I.J."
// must not be folded to "ij" as a spaced abbreviation.
bool JoinsAsDigraph(int language, const WordTables& tables, Byte twoBack, Byte c) {
    return language == kIjLanguage && (twoBack == 'i' || twoBack == 'I') && tables.lower[c] == 'j';
}

// Returns false for a byte 8, which only a pair may hold.
bool Classify(std::string_view text, int language, const WordTables& tables, WordShape& shape) {
    DigraphReader reader(text, language, tables);
    Byte c = 0;
    Byte last = 0;
    Byte twoBack = 0;
    bool validPeriodBefore = false;
    size_t position = 0;
    while (reader.Next(c)) {
        ++position;
        const bool odd = position % 2 == 1;
        if (c == kClamPairSeparator) return false;
        if (validPeriodBefore) shape.innerPeriod = true;
        validPeriodBefore = false;
        if (!tables.IsValid(c)) {
            shape.exactForm = true;
            shape.spacedBroken = true;
        } else {
            if (tables.IsUpper(c)) ++shape.upperCount;
            if (tables.IsLower(c)) shape.hasLower = true;
            if ((c == kClamPeriod) == odd) shape.spacedBroken = true;
            if (odd && JoinsAsDigraph(language, tables, twoBack, c)) shape.spacedBroken = true;
            validPeriodBefore = c == kClamPeriod;
        }
        twoBack = last;
        last = c;
    }
    // A spelling noted by the digraph pass survives only as an exact form.
    if (reader.exactForm()) {
        shape.exactForm = true;
        shape.spacedBroken = true;
    }
    shape.lastIsPeriod = last == kClamPeriod;
    return true;
}

int ClassOf(const WordShape& shape, bool firstIsUpper) {
    int wordClass = shape.exactForm ? WordClassExactForm : 0;
    if (shape.innerPeriod && !shape.spacedBroken && shape.lastIsPeriod) {
        wordClass = WordClassSpacedDots;
    } else if (shape.innerPeriod) {
        wordClass = WordClassExactForm | (shape.lastIsPeriod ? WordClassFinalPeriod : 0);
    } else if (shape.lastIsPeriod) {
        wordClass |= WordClassFinalPeriod;
    }
    // Bits are set, not added: an exact form may already be marked.
    if (!shape.hasLower && shape.upperCount > 0) return wordClass | WordClassAllCapitals;
    if (firstIsUpper && shape.upperCount == 1) return wordClass | WordClassCapitalised;
    if (shape.upperCount == 0) return wordClass | WordClassLowerCase;
    return wordClass | WordClassExactForm;
}

bool WriteFolded(std::string_view text, int language, const WordTables& tables, int wordClass,
                 ClamBoundedWriter& out) {
    DigraphReader reader(text, language, tables);
    const bool keepPeriods = (wordClass & WordClassExactForm) != 0;
    Byte c = 0;
    while (reader.Next(c)) {
        const Byte folded = tables.lower[c];
        if (folded == kClamPeriod && !keepPeriods) continue;
        if (language == kIjLanguage && folded == kClamDigraphIjLower) {
            if (!out.Put('i') || !out.Put('j')) return false;
        } else if (!out.Put(static_cast<char>(folded))) {
            return false;
        }
    }
    return true;
}

// Folded text, byte 8, the word as given; a final period is left to the class.
bool WriteExactForm(std::string_view word, int wordClass, ClamBoundedWriter& out) {
    if (wordClass & WordClassFinalPeriod) {
        if (out.size() > 0) out.Truncate(out.size() - 1);
        word.remove_suffix(1);
    }
    if (!out.Put(kClamPairSeparator)) return false;
    for (char c : word) {
        if (!out.Put(c)) return false;
    }
    return true;
}

int CopyUnchanged(std::string_view word, char* out, size_t capacity) {
    const size_t n = std::min(word.size(), capacity - 1);
    std::memcpy(out, word.data(), n);
    out[n] = 0;
    return WordClassLowerCase;
}

bool HoldsMarker(std::string_view word) {
    return word.find_first_of("\x04\x05\x06") != std::string_view::npos;
}

constexpr uint8_t kSimpleLower = 1;  // valid, not upper case: a lower-case or caseless byte
constexpr uint8_t kSimpleUpper = 2;  // valid, upper case only
constexpr uint8_t kLowerLetter = 4;  // lower case only
using SimpleLetters = std::array<std::array<uint8_t, 256>, kClamLanguageCount + 1>;

// What one pass needs to know of a byte: only valid bytes above the markers and the
// separator, that are no period and fold to none, can be simple.
uint8_t SimpleBits(const WordTables& tables, Byte c) {
    if (!tables.IsValid(c) || c <= static_cast<Byte>(kClamPairSeparator) || c == kClamPeriod ||
        tables.lower[c] == kClamPeriod) {
        return 0;
    }
    const bool upper = tables.IsUpper(c);
    const bool lower = tables.IsLower(c);
    return (upper ? 0 : kSimpleLower) | (upper && !lower ? kSimpleUpper : 0) |
           (lower && !upper ? kLowerLetter : 0);
}

// The simple bytes of every language, worked out once.
const SimpleLetters& SimpleLetterTables() {
    static const SimpleLetters tables = [] {
        SimpleLetters all{};
        for (int language = 1; language <= kClamLanguageCount; ++language) {
            const WordTables letters(language);
            for (int c = 0; c < 256; ++c) {
                all[language][static_cast<Byte>(c)] = SimpleBits(letters, static_cast<Byte>(c));
            }
        }
        return all;
    }();
    return tables;
}

// The lower-case table of every language, looked up once.
const std::array<const uint8_t*, kClamLanguageCount + 1>& LowerTables() {
    static const auto tables = [] {
        std::array<const uint8_t*, kClamLanguageCount + 1> all{};
        for (int language = 1; language <= kClamLanguageCount; ++language) {
            all[static_cast<size_t>(language)] = ClamLowerTable(language);
        }
        return all;
    }();
    return tables;
}

// Most words have no capital, or one capital first and a lower-case letter after it, and
// no period: their class and folded form come from one pass. 0 leaves the word to the full
// way, as do the languages that join letter pairs.
int EncodeSimpleWord(std::string_view word, int language, char* out, size_t capacity) {
    if (language == kIjLanguage || language == kUmlautLanguage) return 0;
    if (word.empty() || word.size() >= capacity) return 0;
    const std::array<uint8_t, 256>& simple = SimpleLetterTables()[language];
    const uint8_t* lower = LowerTables()[language];
    const bool capital = (simple[static_cast<Byte>(word[0])] & kSimpleUpper) != 0;
    out[0] = static_cast<char>(lower[static_cast<Byte>(word[0])]);
    // Folds as it checks; what it wrote is left to the full way when the word is not simple.
    uint8_t all = kSimpleLower;
    uint8_t any = 0;
    for (size_t i = capital ? 1 : 0; i < word.size(); ++i) {
        const auto c = static_cast<Byte>(word[i]);
        all &= simple[c];
        any |= simple[c];
        out[i] = static_cast<char>(lower[c]);
    }
    if ((all & kSimpleLower) == 0) return 0;
    // A capital reads as one only with a lower-case letter after it.
    if (capital && (any & kLowerLetter) == 0) return 0;
    out[word.size()] = 0;
    return capital ? WordClassCapitalised : WordClassLowerCase;
}

}  // namespace

int ClamEncodeWord(const char* word, char* out, size_t capacity, int language) {
    if (word == nullptr) return 0;
    return ClamEncodeText(word, out, capacity, language);
}

int ClamEncodeText(std::string_view whole, char* out, size_t capacity, int language) {
    if (out == nullptr || capacity == 0) return 0;
    ClamBoundedWriter writer(out, capacity);
    size_t start = 0;
    while (start < whole.size() && IsLeadingMarker(static_cast<Byte>(whole[start]))) {
        if (!writer.Put(whole[start++])) return 0;
    }
    if (!IsLanguage(language)) return CopyUnchanged(whole, out, capacity);

    if (start == 0) {
        if (const int simple = EncodeSimpleWord(whole, language, out, capacity)) return simple;
    }
    const WordTables tables(language);
    const std::string_view text = whole.substr(start);
    WordShape shape;
    if (!Classify(text, language, tables, shape)) return 0;
    const bool firstIsUpper = !text.empty() && tables.IsUpper(static_cast<Byte>(text[0]));
    int wordClass = ClassOf(shape, firstIsUpper);

    if (!WriteFolded(text, language, tables, wordClass, writer)) return 0;
    if (wordClass & WordClassExactForm) {
        wordClass &= WordClassExactForm | WordClassFinalPeriod;
        if (!WriteExactForm(whole, wordClass, writer)) return 0;
    }
    writer.Finish();
    return wordClass;
}

int ClamEncodeMarkedWord(const char* word, char* out, size_t capacity, int language) {
    if (word == nullptr || out == nullptr) return 0;
    const size_t length = strnlen(word, kClamEncodedCapacity);
    if (length == 0 || length >= kClamEncodedCapacity) return 0;

    std::array<char, 2 * kClamEncodedCapacity> work;
    const int wordClass = ClamEncodeWord(word, work.data(), work.size(), language);
    if (wordClass == 0) return 0;
    const std::string_view encoded(work.data());
    if (wordClass & WordClassExactForm) {
        // Byte 6 before byte 8 is what tells a pair from an exact form.
        const size_t separator = encoded.find(kClamPairSeparator);
        if (separator != std::string_view::npos && separator > 0 &&
            encoded[separator - 1] == kClamMarker3) {
            return 0;
        }
    }
    if (encoded.size() + 1 > std::min(capacity, kClamEncodedCapacity)) return 0;
    std::memcpy(out, encoded.data(), encoded.size() + 1);
    return wordClass;
}

int ClamEncodePair(const char* word, char* out, size_t capacity, int language) {
    if (word == nullptr || out == nullptr) return 0;
    const size_t limit = std::min(capacity, kClamEncodedCapacity);
    const std::string_view whole(word);
    const size_t separator = whole.find(kClamPairSeparator);
    if (limit == 0 || HoldsMarker(whole) || separator == std::string_view::npos) return 0;
    const std::string_view first = whole.substr(0, separator);
    const std::string_view second = whole.substr(separator + 1);
    if (first.size() > kClamMaxPairHalf || second.size() > kClamMaxPairHalf) return 0;

    std::array<char, kClamMaxPairHalf + 1> half{};
    first.copy(half.data(), first.size());
    const int firstClass = ClamEncodeWord(half.data(), out, limit, language);
    if (firstClass == 0) return 0;
    std::string_view folded(out);
    if (firstClass & WordClassExactForm) folded = folded.substr(0, folded.find(kClamPairSeparator));

    half.fill(0);
    second.copy(half.data(), second.size());
    std::array<char, kClamEncodedCapacity> work;
    const int pairClass = ClamEncodeWord(half.data(), work.data(), work.size(), language);
    if (pairClass == 0) return 0;
    std::string_view appended(work.data());
    if (pairClass & WordClassExactForm) {
        const size_t exact = appended.find(kClamPairSeparator);
        if (exact != std::string_view::npos) appended.remove_prefix(exact + 1);
    }

    ClamBoundedWriter writer(out, limit);
    for (char c : folded) writer.Put(c);  // rewrites what is there, so always fits
    if ((pairClass & WordClassExactForm) && !writer.Put(kClamMarker3)) return 0;
    if (!writer.Put(kClamPairSeparator)) return 0;
    for (char c : appended) {
        if (!writer.Put(c)) return 0;
    }
    writer.Finish();
    return pairClass;
}
