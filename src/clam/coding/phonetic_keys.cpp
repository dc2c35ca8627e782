// Phonetic keys, stored keys with their marker codes, and the way back to the encoded form.
#include "clam/coding/phonetic_keys.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

#include "clam/coding/class_string.h"
#include "clam/coding/phonetic_symbols.h"
#include "clam/store/phon_env.h"

namespace {

constexpr std::uint8_t kFirstMarker = 4;
constexpr std::uint8_t kLastMarker = 7;
constexpr std::uint8_t kMarkerCodeOffset = 3;
// Byte 7 would become code 4, which reads as the separator: such a form has no stored key.
constexpr std::uint8_t kUnstorableMarker = 7;

bool IsMarker(std::uint8_t b) {
    return b >= kFirstMarker && b <= kLastMarker;
}

// Appends bytes to a fixed buffer, remembering whether anything did not fit.
class KeyWriter {
  public:
    KeyWriter(std::uint8_t* out, std::size_t limit) : out_(out, limit) {}
    void Put(std::uint8_t b) {
        if (pos_ < out_.size()) {
            out_[pos_++] = b;
        } else {
            overflow_ = true;
        }
    }
    bool Overflowed() const { return overflow_; }
    std::size_t Length() const { return pos_; }

  private:
    std::span<std::uint8_t> out_;
    std::size_t pos_ = 0;
    bool overflow_ = false;
};

// Copies the encoded form up to its byte 8 without marker bytes; false when the copy would
// reach the limit.
bool MarkerFreeText(const std::uint8_t* encoded, std::span<char> out) {
    std::size_t n = 0;
    for (const std::uint8_t* p = encoded; *p != 0 && *p != kClamSeparatorByte; ++p) {
        if (IsMarker(*p)) continue;
        if (n + 1 >= out.size()) return false;
        out[n++] = static_cast<char>(*p);
    }
    out[n] = 0;
    return true;
}

// The stored key of a form, given the phonetic key of its marker-free text.
int BuildStoredKey(const std::uint8_t* form, const char* key, char* out, ClamPhonEnv* env);

// ClamSymbolOf without a call where the loader built the index, as it does for every
// environment it loads.
std::uint8_t SymbolOf(const ClamPhonEnv& env, std::uint8_t letter, std::uint8_t tag) {
    return env.symbolIndex != nullptr ? env.symbolIndex[letter * 256u + tag]
                                      : ClamSymbolOf(env, letter, tag);
}

bool HasUnstorableMarker(const std::uint8_t* encoded) {
    for (const std::uint8_t* p = encoded; *p != 0 && *p != kClamSeparatorByte; ++p) {
        if (*p == kUnstorableMarker) return true;
    }
    return false;
}

}  // namespace

std::size_t ClamPhoneticKey(const char* encoded, char* out, std::size_t capacity,
                            ClamPhonEnv* env) {
    if (capacity == 0) return 0;
    std::array<char, kClamTranscriptionCapacity> transcription;  // read only up to its NUL
    ClamTranscribe(encoded, transcription.data(), transcription.size(), env);
    std::array<char, kClamClassStringCapacity> classString;
    const bool transcribeAgain = ClamClassesIgnoreAccents(env->language);
    if (transcribeAgain) {
        ClamClassString(transcription.data(), classString.data(), classString.size(), env);
    }
    // One pass gives the symbols, after the two class bytes, and the class string.
    ClamClassReducer reducer(env->language, classString.data(), classString.size());
    const std::size_t limit = capacity - 1;
    std::size_t length = std::min<std::size_t>(2, limit);
    bool heldNul = false;  // a symbol 0 ends the key as a string
    auto put = [&](std::uint8_t b) {
        if (length < limit) out[length++] = static_cast<char>(b);
        heldNul |= b == 0;
    };
    const auto* t = reinterpret_cast<const std::uint8_t*>(transcription.data());
    for (std::size_t i = 0; t[i] != 0 && t[i + 1] != 0; i += 2) {
        put(SymbolOf(*env, t[i], t[i + 1]));
        if (t[i] == kClamSeparatorByte) {
            for (std::size_t j = i + 2; t[j] != 0; ++j) put(t[j]);
            break;
        }
        if (!transcribeAgain) reducer.Add(t[i], t[i + 1]);
    }
    if (!transcribeAgain) reducer.Finish();
    std::array<char, kClamClassBytesCapacity> classBytes{};
    ClamClassBytes(classString.data(), classBytes.data(), env);
    if (limit > 0) out[0] = classBytes[0];
    if (limit > 1) out[1] = classBytes[1];
    out[length] = 0;
    return heldNul || classBytes[0] == 0 || classBytes[1] == 0 ? std::strlen(out) : length;
}

int ClamBuildStoredKeyWithEnv(const char* encoded, char* out, ClamPhonEnv* env) {
    const auto* form = reinterpret_cast<const std::uint8_t*>(encoded);
    std::array<char, kClamMarkerFreeLimit> scratch;
    if (!MarkerFreeText(form, scratch) || HasUnstorableMarker(form)) return 0;
    std::array<char, kClamPhoneticKeyCapacity> key;
    ClamPhoneticKey(scratch.data(), key.data(), key.size(), env);
    return BuildStoredKey(form, key.data(), out, env);
}

int ClamBuildStoredKeyFromKey(const char* encoded, const char* phoneticKey, char* out,
                              ClamPhonEnv* env) {
    const auto* form = reinterpret_cast<const std::uint8_t*>(encoded);
    std::array<char, kClamMarkerFreeLimit> scratch;
    if (!MarkerFreeText(form, scratch) || HasUnstorableMarker(form)) return 0;
    return BuildStoredKey(form, phoneticKey, out, env);
}

namespace {

int BuildStoredKey(const std::uint8_t* form, const char* key, char* out, ClamPhonEnv* env) {
    const std::span<const std::uint8_t> symbols(reinterpret_cast<const std::uint8_t*>(key) + 2,
                                                std::strlen(key + 2));
    const std::uint8_t defaultSymbol = ClamDefaultSymbolByte(*env);
    KeyWriter w(reinterpret_cast<std::uint8_t*>(out), kClamMaxKeyLength);
    w.Put(static_cast<std::uint8_t>(key[0]));
    w.Put(static_cast<std::uint8_t>(key[1]));
    std::size_t next = 0;
    const std::uint8_t* p = form;
    for (; *p != 0 && *p != kClamSeparatorByte; ++p) {
        if (IsMarker(*p)) {
            w.Put(static_cast<std::uint8_t>(*p - kMarkerCodeOffset));
            continue;
        }
        if (next < symbols.size()) w.Put(symbols[next++]);
        if (next < symbols.size() && symbols[next] != defaultSymbol &&
            ClamSymbolLetter(*env, symbols[next]) == kClamNoLetter) {
            w.Put(symbols[next++]);
        }
    }
    if (*p == kClamSeparatorByte) {
        w.Put(kClamKeySeparator);
        for (++p; *p != 0; ++p) w.Put(*p);
    }
    if (w.Overflowed()) return 0;
    out[w.Length()] = 0;
    return 1;
}

}  // namespace

std::size_t ClamKeyToWordWithEnv(const char* key, char* out, ClamPhonEnv* env) {
    return ClamKeyToWordWithEnv({key, strnlen(key, kClamStoredKeyCapacity - 1)}, out, env);
}

std::size_t ClamKeyToWordWithEnv(std::string_view key, char* out, ClamPhonEnv* env) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(key.data()),
                                              std::min(key.size(), kClamStoredKeyCapacity - 1));
    KeyWriter w(reinterpret_cast<std::uint8_t*>(out), kClamKeyWordCapacity - 1);
    if (bytes.size() > 2) {
        const auto body = bytes.subspan(2);
        // Only a symbol without a letter asks whether the key has a separator.
        const auto hasSeparator = [body] {
            return std::memchr(body.data(), kClamKeySeparator, body.size()) != nullptr;
        };
        const std::uint8_t defaultSymbol = ClamDefaultSymbolByte(*env);
        std::uint8_t last = 0;
        // ClamSymbolLetter, without a call per byte.
        const std::uint32_t usable = std::min(env->symbolCount, kClamMaxSymbols);
        for (std::size_t i = 0; i < body.size(); ++i) {
            const int letter = body[i] < usable ? env->symbolTable[2 * body[i]] : -1;
            // Most symbols stand for a plain letter: above every byte with a meaning of its own.
            if (letter > kClamNoLetter) {
                w.Put(static_cast<std::uint8_t>(letter));
                last = static_cast<std::uint8_t>(letter);
                continue;
            }
            if (letter == kClamSeparatorByte) {
                w.Put(kClamSeparatorByte);
                for (++i; i < body.size(); ++i) w.Put(body[i]);
                break;
            }
            if (letter == kClamRepeatLetter) {
                if (last != 0) w.Put(last);
            } else if (letter == kClamNoLetter) {
                if (body[i] == defaultSymbol && hasSeparator()) w.Put(kClamNoLetter);
            } else if (letter > 0) {
                w.Put(static_cast<std::uint8_t>(letter));
                if (!IsMarker(static_cast<std::uint8_t>(letter))) {
                    last = static_cast<std::uint8_t>(letter);
                }
            }
        }
    }
    out[w.Length()] = 0;
    return w.Length();
}
