// The class string of a transcription, reduced one (letter, tag) pair at a time, so that the
// phonetic key can take it and the symbols from one pass over the pairs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "clam/coding/phonetic_keys.h"

struct ClamPhonEnv;

// Languages whose class strings come from a second transcription without accents.
bool ClamClassesIgnoreAccents(int language);

// The two class bytes of a class string and a NUL (out: kClamClassBytesCapacity); sets
// env->lastClass.
void ClamClassBytes(const char* classString, char* out, ClamPhonEnv* env);

class ClamClassReducer {
  public:
    // Writes at most capacity - 1 bytes and, at Finish, a NUL (capacity at least 1).
    ClamClassReducer(int language, char* out, std::size_t capacity)
        : useLetters_(language == 2 || language == 14), out_(out), room_(capacity - 1) {}

    // Tags 17 to 31 are class tags: 25 is written every time, 24, 30 and 31 never, the rest
    // when they differ from the last class tag other than 25; languages 2 and 14 write the
    // last letter seen in place of those.
    void Add(std::uint8_t letter, std::uint8_t tag) {
        if (letter != kClamNoLetter) lastLetter_ = letter;
        const std::uint8_t kind = kKinds[tag];
        if (kind == kNone) return;
        std::uint8_t written = tag;
        bool put = true;
        if (kind != kAlways) {
            put = kind == kChanged && tag != previousTag_;
            previousTag_ = tag;
            if (useLetters_) written = lastLetter_;
        }
        if (put && pos_ < room_) out_[pos_++] = static_cast<char>(written);
    }
    void Finish() { out_[pos_] = 0; }

  private:
    static constexpr std::uint8_t kNone = 0;
    static constexpr std::uint8_t kAlways = 1;
    static constexpr std::uint8_t kDropped = 2;
    static constexpr std::uint8_t kChanged = 3;
    static constexpr std::array<std::uint8_t, 256> kKinds = [] {
        std::array<std::uint8_t, 256> kinds{};
        for (std::size_t tag = 17; tag <= 31; ++tag) kinds[tag] = kChanged;
        kinds[25] = kAlways;
        kinds[24] = kinds[30] = kinds[31] = kDropped;
        return kinds;
    }();

    bool useLetters_;
    char* out_;
    std::size_t room_;
    std::size_t pos_ = 0;
    std::uint8_t lastLetter_ = 0;
    std::uint8_t previousTag_ = kClamDirectTagBase;
};
