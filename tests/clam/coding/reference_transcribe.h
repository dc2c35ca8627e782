// The transcription as it was before it held the automaton's tables apart, kept plain so that
// the transcription can be checked against it.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "clam/coding/char_tables.h"
#include "clam/coding/phonetic_keys.h"
#include "clam/coding/rule_automaton.h"
#include "clam/store/phon_env.h"

namespace reference_transcription {
namespace detail {

inline constexpr std::uint8_t kStartMark = 'Y';
inline constexpr std::uint8_t kEndMark = 'Z';
inline constexpr std::uint8_t kCodesFormLimit = 0x41;  // outputs starting below it are code lists
// Room for the marks and any text a caller can sensibly give; longer texts are cut.
inline constexpr std::size_t kWorkCapacity = 512;

// The work string: start mark, the mapped letters, end mark. Only the first `length` bytes
// are ever read, so the rest stays uninitialised.
struct WorkString {
    std::array<std::uint8_t, kWorkCapacity> bytes;
    std::size_t length = 0;
    bool cut = false;
};

inline std::uint8_t MapLetter(std::uint8_t b, const std::uint8_t* alphabet,
                              const std::uint8_t* lower, const std::uint8_t* base) {
    if (alphabet == nullptr) return b;
    if (alphabet[b] & kClamValidWordChar) return b;
    if (alphabet[lower[b]] & kClamValidWordChar) return lower[b];
    return base[b];
}

// Fills the work string; returns the position of the text's byte 8, or null.
inline const std::uint8_t* BuildWorkString(const std::uint8_t* text, int language,
                                           WorkString& work) {
    const std::uint8_t* alphabet = ClamAlphabetTable(language);
    const std::uint8_t* lower = ClamLowerTable(language);
    const std::uint8_t* base = ClamBaseLetterTable(language);
    work.bytes[work.length++] = kStartMark;
    const std::uint8_t* p = text;
    for (; *p != 0 && *p != kClamSeparatorByte; ++p) {
        if (work.length + 1 >= work.bytes.size()) {
            work.cut = true;
            break;
        }
        work.bytes[work.length++] = MapLetter(*p, alphabet, lower, base);
    }
    work.bytes[work.length++] = kEndMark;
    while (*p != 0 && *p != kClamSeparatorByte) ++p;
    return *p == kClamSeparatorByte ? p : nullptr;
}

// The output buffer; every write keeps room for the closing NUL.
class Output {
  public:
    explicit Output(std::span<std::uint8_t> buffer) : buffer_(buffer) {}

    bool Pair(std::uint8_t letter, std::uint8_t tag) {
        if (full_ || pos_ + 2 > buffer_.size() - 1) return Full();
        buffer_[pos_++] = letter;
        buffer_[pos_++] = tag;
        return true;
    }
    bool Byte(std::uint8_t b) {
        if (full_ || pos_ + 1 > buffer_.size() - 1) return Full();
        buffer_[pos_++] = b;
        return true;
    }
    bool IsFull() const { return full_; }
    void Finish() { buffer_[pos_] = 0; }

  private:
    bool Full() {
        full_ = true;
        return false;
    }
    std::span<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    bool full_ = false;
};

class Transcriber {
  public:
    Transcriber(const ClamPhonEnv& env, const WorkString& work, Output& out)
        : env_(env), work_(work), out_(out) {}

    // Runs the rules over the work string; false when the output filled up.
    bool Run() {
        while (p_ < work_.length && work_.bytes[p_] != kEndMark && !out_.IsFull()) {
            const ClamRuleMatch m =
                ClamLongestRule(env_, std::span(work_.bytes.data() + p_, work_.length - p_));
            if (m.cell < 0) {
                Uncovered();
                continue;
            }
            if (env_.ruleUsed != nullptr) env_.ruleUsed[m.cell] = 1;
            const std::uint8_t value = env_.trieValue[m.cell];
            if (value < env_.directValueCount) {
                DirectCode(value, m.length);
            } else {
                RuleOutput(value, m.length);
            }
        }
        return !out_.IsFull();
    }

  private:
    std::uint8_t At(std::size_t i) const { return i < work_.length ? work_.bytes[i] : 0; }

    void Uncovered() {
        const std::uint8_t b = work_.bytes[p_++];
        if (b == kStartMark) return;
        if (env_.letterUsed != nullptr) MarkLetter(b);
        out_.Pair(b, kClamNoLetter);
    }

    // Codes the current letter; a two-letter rule also codes its second letter as a repeat.
    // Context bytes beyond that stay for the next rule.
    void DirectCode(std::uint8_t value, std::size_t length) {
        if (At(p_) == kStartMark) {
            ++p_;
            --length;
        }
        if (p_ >= work_.length || At(p_) == kEndMark) return;
        out_.Pair(work_.bytes[p_++], static_cast<std::uint8_t>(kClamDirectTagBase + value));
        if (length == 2 && p_ < work_.length && At(p_) != kEndMark) {
            out_.Pair(kClamRepeatLetter, kClamNoLetter);
            ++p_;
        }
    }

    void MarkLetter(std::uint8_t b) {
        const std::uint8_t* alphabet = ClamAlphabetTable(env_.language);
        if (alphabet != nullptr && (alphabet[b] & kClamValidWordChar)) env_.letterUsed[b] = 1;
    }

    void RuleOutput(std::uint8_t value, std::size_t length) {
        std::size_t offset = value - env_.directValueCount;
        if (length != 2) offset += static_cast<std::size_t>(env_.rightContextOffset);
        if (offset >= env_.ruleOutputSize) {  // the loader lets such values through
            Uncovered();
            return;
        }
        const std::span<const std::uint8_t> output(env_.ruleOutput + offset,
                                                   env_.ruleOutputSize - offset);
        if (output[0] < kCodesFormLimit) {
            CodesForm(output, length);
        } else {
            StringForm(output, length);
        }
    }

    // One code byte per matched letter; a letter left without a code counts as uncovered.
    void CodesForm(std::span<const std::uint8_t> codes, std::size_t length) {
        std::size_t next = 0;
        for (std::size_t k = 0; k < length && p_ < work_.length; ++k) {
            const std::uint8_t b = work_.bytes[p_];
            if (b == kStartMark) {
                ++p_;
                continue;
            }
            const bool haveCode = next < codes.size() && codes[next] != 0;
            const std::uint8_t code = haveCode ? codes[next++] : kClamNoLetter;
            if (b == kEndMark) {
                if (haveCode) out_.Byte(code);
                return;
            }
            out_.Pair(b, code);
            ++p_;
        }
    }

    void StringForm(std::span<const std::uint8_t> text, std::size_t length) {
        for (std::size_t i = 0; i < text.size() && text[i] != 0; ++i) out_.Byte(text[i]);
        p_ += length;
    }

    const ClamPhonEnv& env_;
    const WorkString& work_;
    Output& out_;
    std::size_t p_ = 0;
};

}  // namespace detail

using namespace detail;

inline int Transcribe(const char* text, char* out, std::size_t capacity, ClamPhonEnv* env) {
    if (capacity == 0) return 0;
    Output output(std::span(reinterpret_cast<std::uint8_t*>(out), capacity));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    WorkString work;
    const std::uint8_t* separator = BuildWorkString(bytes, env->language, work);
    if (Transcriber(*env, work, output).Run() && separator != nullptr) {
        output.Pair(kClamSeparatorByte, kClamNoLetter);
        for (const std::uint8_t* p = separator + 1; *p != 0 && !output.IsFull(); ++p) {
            output.Byte(*p);
        }
    }
    output.Finish();
    return output.IsFull() || work.cut ? 0 : 1;
}
}  // namespace reference_transcription
