// The phonetic key as it was before the class string and the symbols came from one pass,
// kept plain so that the key can be checked against it.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "clam/coding/phonetic_keys.h"
#include "clam/coding/phonetic_symbols.h"
#include "clam/store/phon_env.h"

namespace reference_key {
namespace detail {

inline bool ClassesIgnoreAccents(int language) {
    return (language >= 3 && language <= 5) || (language >= 7 && language <= 13) ||
           (language >= 15 && language <= 17);
}

inline bool ClassesUseLetters(int language) {
    return language == 2 || language == 14;
}

inline void ReduceToClassString(std::span<const std::uint8_t> transcription, int language,
                                char* out, std::size_t capacity) {
    std::size_t pos = 0;
    auto put = [&](std::uint8_t b) {
        if (pos + 1 < capacity) out[pos++] = static_cast<char>(b);
    };
    std::uint8_t lastLetter = 0;
    std::uint8_t previousTag = kClamDirectTagBase;
    for (std::size_t i = 0; i + 1 < transcription.size(); i += 2) {
        const std::uint8_t letter = transcription[i];
        const std::uint8_t tag = transcription[i + 1];
        if (letter == kClamSeparatorByte) break;
        if (letter != kClamNoLetter) lastLetter = letter;
        if (tag < 17 || tag > 31) continue;
        if (tag == 25) {
            put(tag);
            continue;
        }
        if (tag == previousTag) continue;
        previousTag = tag;
        if (tag == 24 || tag == 30 || tag == 31) continue;
        put(ClassesUseLetters(language) ? lastLetter : tag);
    }
    if (capacity > 0) out[pos] = 0;
}

}  // namespace detail

// ClamPhoneticKey with the class string from the public ClamClassString for languages that
// transcribe again without accents, and from the plain reduction above for the others.
inline void PhoneticKey(const char* encoded, char* out, std::size_t capacity, ClamPhonEnv* env) {
    if (capacity == 0) return;
    std::array<char, kClamTranscriptionCapacity> transcription{};
    ClamTranscribe(encoded, transcription.data(), transcription.size(), env);
    std::array<char, kClamClassStringCapacity> classString{};
    if (detail::ClassesIgnoreAccents(env->language)) {
        ClamClassString(transcription.data(), classString.data(), classString.size(), env);
    } else {
        const auto* t = reinterpret_cast<const std::uint8_t*>(transcription.data());
        detail::ReduceToClassString({t, std::strlen(transcription.data())}, env->language,
                                    classString.data(), classString.size());
    }
    // The class number as ClamPhoneticClass finds it: the last class string not above.
    std::uint32_t number = 0;
    for (std::uint32_t n = 0; n < env->classCount; ++n) {
        if (std::strcmp(classString.data(), env->classTable[n]) >= 0) number = n;
    }
    const std::uint32_t d = env->classesPerRow > 0 ? static_cast<std::uint32_t>(env->classesPerRow)
                                                   : (env->symbolCount == 0 ? 1 : env->symbolCount);
    std::size_t pos = 0;
    auto put = [&](std::uint8_t b) {
        if (pos < capacity - 1) out[pos++] = static_cast<char>(b);
    };
    put(static_cast<std::uint8_t>((env->classBase + number / d) & 0xFF));
    put(static_cast<std::uint8_t>((env->classBase + number % d) & 0xFF));
    const auto* t = reinterpret_cast<const std::uint8_t*>(transcription.data());
    for (std::size_t i = 0; t[i] != 0 && t[i + 1] != 0; i += 2) {
        put(ClamSymbolOf(*env, t[i], t[i + 1]));
        if (t[i] == kClamSeparatorByte) {
            for (std::size_t j = i + 2; t[j] != 0; ++j) put(t[j]);
            break;
        }
    }
    out[pos] = 0;
}

}  // namespace reference_key
