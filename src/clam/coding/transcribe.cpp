// ClamTranscribe: the rule automaton of a phonetic environment run over a word.
#include <array>
#include <cstdint>
#include <new>
#include <span>

#include "clam/coding/char_tables.h"
#include "clam/coding/phonetic_keys.h"
#include "clam/coding/rule_automaton.h"
#include "clam/store/phon_env.h"

namespace {

constexpr std::uint8_t kStartMark = 'Y';
constexpr std::uint8_t kEndMark = 'Z';
constexpr std::uint8_t kCodesFormLimit = 0x41;  // outputs starting below it are code lists
// Room for the marks and any text a caller can sensibly give; longer texts are cut.
constexpr std::size_t kWorkCapacity = 512;
// Steps of the automaton taken without a branch each; see LongestRule.
constexpr std::size_t kFlatSteps = 2;

// The work string: start mark, the mapped letters, end mark, and kFlatSteps zero bytes
// that a walk may read but never takes. Nothing after those is read, so the rest stays
// uninitialised.
struct WorkString {
    std::array<std::uint8_t, kWorkCapacity + kFlatSteps> bytes;
    std::size_t length = 0;
    bool cut = false;
};

std::uint8_t MapLetter(std::uint8_t b, const std::uint8_t* alphabet, const std::uint8_t* lower,
                       const std::uint8_t* base) {
    if (alphabet == nullptr) return b;
    if (alphabet[b] & kClamValidWordChar) return b;
    if (lower != nullptr && (alphabet[lower[b]] & kClamValidWordChar)) return lower[b];
    return base != nullptr ? base[b] : b;
}

using ByteMap = std::array<std::uint8_t, 256>;

// What each byte of a text becomes in the work string, worked out once per language; outside
// the languages every byte stays itself.
const ByteMap& WorkLetters(int language) {
    static const auto maps = [] {
        std::array<ByteMap, kClamLanguageCount + 2> all{};
        for (int language = 0; language <= kClamLanguageCount + 1; ++language) {
            const bool known = language >= 1 && language <= kClamLanguageCount;
            const std::uint8_t* alphabet = known ? ClamAlphabetTable(language) : nullptr;
            const std::uint8_t* lower = known ? ClamLowerTable(language) : nullptr;
            const std::uint8_t* base = known ? ClamBaseLetterTable(language) : nullptr;
            for (std::size_t b = 0; b < 256; ++b) {
                all[static_cast<std::size_t>(language)][b] =
                    MapLetter(static_cast<std::uint8_t>(b), alphabet, lower, base);
            }
        }
        return all;
    }();
    const bool known = language >= 1 && language <= kClamLanguageCount;
    return maps[known ? static_cast<std::size_t>(language) : 0];
}

// Fills the work string; returns the position of the text's byte 8, or null.
const std::uint8_t* BuildWorkString(const std::uint8_t* text, int language, WorkString& work) {
    const ByteMap& letters = WorkLetters(language);
    work.bytes[0] = kStartMark;
    std::size_t n = 1;
    const std::uint8_t* p = text;
    // Byte 0 and byte 8 end the text; one mask finds both.
    for (; (*p & 0xF7) != 0; ++p) {
        if (n + 1 >= work.bytes.size()) {
            work.cut = true;
            break;
        }
        work.bytes[n++] = letters[*p];
    }
    work.bytes[n++] = kEndMark;
    work.length = n;
    for (std::size_t i = 0; i < kFlatSteps; ++i) work.bytes[n + i] = 0;
    while ((*p & 0xF7) != 0) ++p;
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
    // Room for `n` more bytes before the NUL: where they go, or null.
    std::uint8_t* Room(std::size_t n) {
        return !full_ && pos_ + n <= buffer_.size() - 1 ? buffer_.data() + pos_ : nullptr;
    }
    void Advance(std::size_t n) { pos_ += n; }
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

// The automaton's tables held apart from the environment: the output bytes written between
// two matches may alias anything, and would otherwise make each match read them again.
struct Trie {
    const std::uint8_t* base;
    const std::uint8_t* check;
    const std::uint8_t* value;
    std::size_t size;
    const std::uint16_t* starts;  // may be null
};

// The step from the automaton's start on byte b: the cell reached, or kClamNoRuleStart.
std::uint16_t StartStep(const std::uint8_t* base, const std::uint8_t* check, std::size_t size,
                        std::uint8_t b) {
    const std::size_t first = base[0];
    const auto code = static_cast<std::uint8_t>(b - kClamRuleCodeOffset);
    const std::size_t next = first + code;
    if (first == 0 || next >= size || check[next] != code) return kClamNoRuleStart;
    return static_cast<std::uint16_t>(next);
}

// ClamLongestRule over the held tables. Whether a rule goes on past a letter is as hard to
// foresee as the text, so the first kFlatSteps steps, where nearly every walk ends, are taken
// without a branch; `bytes` must be readable that far past `count`.
ClamRuleMatch LongestRule(const Trie trie, const std::uint8_t* bytes, std::size_t count) {
    ClamRuleMatch best;
    std::size_t cell = 0;
    bool going = true;
    std::size_t i = 0;
    if (trie.starts != nullptr) {  // the first step from the loader's table
        const std::uint16_t start = trie.starts[bytes[0]];
        going = start != kClamNoRuleStart;
        cell = going ? start : 0;
        const bool rule = going & (trie.value[cell] != kClamNoRuleValue);
        best.cell = rule ? static_cast<int>(cell) : best.cell;
        best.length = rule ? 1 : best.length;
        i = 1;
    }
    for (; i < kFlatSteps; ++i) {
        const std::size_t base = trie.base[cell];
        const auto code = static_cast<std::uint8_t>(bytes[i] - kClamRuleCodeOffset);
        const std::size_t next = base + code;
        const bool inside = next < trie.size;
        const std::size_t at = inside ? next : 0;
        going = going & (i < count) & (base != 0) & inside & (trie.check[at] == code);
        cell = going ? at : cell;
        const bool rule = going & (trie.value[cell] != kClamNoRuleValue);
        best.cell = rule ? static_cast<int>(cell) : best.cell;
        best.length = rule ? i + 1 : best.length;
    }
    if (!going) return best;
    for (std::size_t i = kFlatSteps; i < count; ++i) {
        const std::size_t base = trie.base[cell];
        if (base == 0) break;
        const auto code = static_cast<std::uint8_t>(bytes[i] - kClamRuleCodeOffset);
        const std::size_t next = base + code;
        if (next >= trie.size || trie.check[next] != code) break;
        cell = next;
        if (trie.value[cell] != kClamNoRuleValue) best = {static_cast<int>(cell), i + 1};
    }
    return best;
}

class Transcriber {
  public:
    Transcriber(const ClamPhonEnv& env, const WorkString& work, Output& out)
        : env_(env), work_(work), out_(out) {}

    // Runs the rules over the work string; false when the output filled up.
    bool Run() {
        if (env_.trieSize <= 0) {
            while (p_ < work_.length && work_.bytes[p_] != kEndMark && !out_.IsFull()) Uncovered();
            return !out_.IsFull();
        }
        const Trie trie{env_.trieBase, env_.trieCheck, env_.trieValue,
                        static_cast<std::size_t>(env_.trieSize), env_.ruleStarts};
        const std::uint8_t* const bytes = work_.bytes.data();
        const std::size_t length = work_.length;
        std::uint8_t* const ruleUsed = env_.ruleUsed;
        const std::uint32_t directValues = env_.directValueCount;
        std::size_t p = 0;
        while (p < length && bytes[p] != kEndMark && !out_.IsFull()) {
            const ClamRuleMatch m = LongestRule(trie, bytes + p, length - p);
            if (m.cell >= 0) {
                if (ruleUsed != nullptr) ruleUsed[m.cell] = 1;
                const std::uint8_t value = trie.value[m.cell];
                std::uint8_t* to = out_.Room(4);
                // Most letters: a direct code of a letter inside the word, as DirectCode.
                if (value < directValues && bytes[p] != kStartMark && to != nullptr) {
                    to[0] = bytes[p++];
                    to[1] = static_cast<std::uint8_t>(kClamDirectTagBase + value);
                    std::size_t written = 2;
                    if (m.length == 2 && p < length && bytes[p] != kEndMark) {
                        to[2] = kClamRepeatLetter;
                        to[3] = kClamNoLetter;
                        written = 4;
                        ++p;
                    }
                    out_.Advance(written);
                    continue;
                }
            }
            p_ = p;
            if (m.cell < 0) {
                Uncovered();
            } else {
                const std::uint8_t value = trie.value[m.cell];
                if (value < directValues) {
                    DirectCode(value, m.length);
                } else {
                    RuleOutput(value, m.length);
                }
            }
            p = p_;
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

}  // namespace

bool ClamBuildRuleStarts(ClamPhonEnv& env) {
    env.ruleStarts = new (std::nothrow) std::uint16_t[256];
    if (env.ruleStarts == nullptr) return false;
    const std::size_t size = env.trieSize > 0 ? static_cast<std::size_t>(env.trieSize) : 0;
    for (std::size_t b = 0; b < 256; ++b) {
        env.ruleStarts[b] =
            size == 0 ? kClamNoRuleStart
                      : StartStep(env.trieBase, env.trieCheck, size, static_cast<std::uint8_t>(b));
    }
    return true;
}

int ClamTranscribe(const char* text, char* out, std::size_t capacity, ClamPhonEnv* env) {
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
