// Class strings and class bytes: the sound class of a transcription.
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "clam/coding/char_tables.h"
#include "clam/coding/class_string.h"
#include "clam/coding/phonetic_keys.h"
#include "clam/store/phon_env.h"

namespace {

std::span<const std::uint8_t> Bytes(const char* text, std::size_t limit) {
    return {reinterpret_cast<const std::uint8_t*>(text), strnlen(text, limit)};
}

// Bounded writer that always leaves room for the NUL.
class Writer {
  public:
    Writer(char* out, std::size_t capacity)
        : out_(reinterpret_cast<std::uint8_t*>(out), capacity) {}
    void Put(std::uint8_t b) {
        if (pos_ + 1 < out_.size()) out_[pos_++] = b;
    }
    void Finish() {
        if (!out_.empty()) out_[pos_] = 0;
    }

  private:
    std::span<std::uint8_t> out_;
    std::size_t pos_ = 0;
};

// The letters of a transcription, without accents, as a text to transcribe again.
void AccentFreeText(std::span<const std::uint8_t> transcription, int language, char* out,
                    std::size_t capacity) {
    const std::uint8_t* base = ClamBaseLetterTable(language);
    Writer w(out, capacity);
    std::uint8_t last = 0;
    for (std::size_t i = 0; i + 1 < transcription.size(); i += 2) {
        const std::uint8_t letter = transcription[i];
        if (letter == kClamSeparatorByte) break;
        if (letter == kClamRepeatLetter) {
            if (last != 0) w.Put(last);
        } else if (letter != kClamNoLetter) {
            last = base != nullptr ? base[letter] : letter;
            w.Put(last);
        }
    }
    w.Finish();
}

void ReduceToClassString(std::span<const std::uint8_t> transcription, int language, char* out,
                         std::size_t capacity) {
    if (capacity == 0) return;
    ClamClassReducer reducer(language, out, capacity);
    for (std::size_t i = 0; i + 1 < transcription.size(); i += 2) {
        if (transcription[i] == kClamSeparatorByte) break;
        reducer.Add(transcription[i], transcription[i + 1]);
    }
    reducer.Finish();
}

std::uint32_t ClassDivisor(const ClamPhonEnv& env) {
    const std::uint32_t d =
        env.classesPerRow > 0 ? static_cast<std::uint32_t>(env.classesPerRow) : env.symbolCount;
    return d == 0 ? 1 : d;  // an environment without symbols still gets class bytes
}

// strcmp without a call: class strings are a few bytes long.
int CompareText(const char* a, const char* b) {
    std::size_t i = 0;
    while (a[i] != '\0' && a[i] == b[i]) ++i;
    return static_cast<int>(static_cast<unsigned char>(a[i])) -
           static_cast<int>(static_cast<unsigned char>(b[i]));
}

// In strictly ascending class strings, whether `number` is the last one not greater than s.
bool IsClassOf(const ClamPhonEnv& env, std::int32_t number, const char* s) {
    if (!env.classesAscend || number < 0 || static_cast<std::uint32_t>(number) >= env.classCount) {
        return false;
    }
    const auto n = static_cast<std::uint32_t>(number);
    return CompareText(s, env.classTable[n]) >= 0 &&
           (n + 1 == env.classCount || CompareText(s, env.classTable[n + 1]) < 0);
}

// The last class string that is not greater than s, or 0.
std::uint32_t FindClass(const ClamPhonEnv& env, const char* s) {
    if (env.classCount == 0) return 0;
    if (IsClassOf(env, env.lastClass, s)) return static_cast<std::uint32_t>(env.lastClass);
    std::uint32_t lo = 0;
    std::uint32_t hi = env.classCount - 1;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo + 1) / 2;
        if (CompareText(s, env.classTable[mid]) < 0) {
            hi = mid - 1;
        } else {
            lo = mid;
        }
    }
    return lo;
}

}  // namespace

bool ClamClassesIgnoreAccents(int language) {
    return (language >= 3 && language <= 5) || (language >= 7 && language <= 13) ||
           (language >= 15 && language <= 17);
}

void ClamClassString(const char* transcription, char* out, std::size_t capacity, ClamPhonEnv* env) {
    auto pairs = Bytes(transcription, kClamTranscriptionCapacity);
    std::array<char, kClamTranscriptionCapacity> again;  // each buffer is read up to its NUL
    if (ClamClassesIgnoreAccents(env->language)) {
        std::array<char, kClamClassStringCapacity> text;
        AccentFreeText(pairs, env->language, text.data(), text.size());
        ClamTranscribe(text.data(), again.data(), again.size(), env);
        pairs = Bytes(again.data(), again.size());
    }
    ReduceToClassString(pairs, env->language, out, capacity);
}

void ClamClassBytes(const char* classString, char* out, ClamPhonEnv* env) {
    const std::uint32_t number = FindClass(*env, classString);
    const std::uint32_t d = ClassDivisor(*env);
    env->lastClass = static_cast<std::int32_t>(number);
    out[0] = static_cast<char>((env->classBase + number / d) & 0xFF);
    out[1] = static_cast<char>((env->classBase + number % d) & 0xFF);
    out[2] = 0;
}

void ClamPhoneticClass(const char* transcription, char* out, ClamPhonEnv* env) {
    std::array<char, kClamClassStringCapacity> classString;
    ClamClassString(transcription, classString.data(), classString.size(), env);
    ClamClassBytes(classString.data(), out, env);
}
