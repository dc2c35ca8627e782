#include "clam/coding/phonetic_symbols.h"

#include <algorithm>
#include <new>

#include "clam/store/phon_env.h"

namespace {

std::uint32_t UsableSymbols(const ClamPhonEnv& env) {
    return std::min(env.symbolCount, kClamMaxSymbols);
}

std::uint8_t SearchSymbol(const ClamPhonEnv& env, std::uint8_t letter, std::uint8_t tag) {
    const std::uint32_t count = UsableSymbols(env);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (env.symbolTable[2 * i] == letter && env.symbolTable[2 * i + 1] == tag) {
            return static_cast<std::uint8_t>(i);
        }
    }
    return static_cast<std::uint8_t>(env.defaultSymbol);
}

}  // namespace

std::uint8_t ClamSymbolOf(const ClamPhonEnv& env, std::uint8_t letter, std::uint8_t tag) {
    if (env.symbolIndex != nullptr) return env.symbolIndex[letter * 256u + tag];
    return SearchSymbol(env, letter, tag);
}

int ClamSymbolLetter(const ClamPhonEnv& env, std::uint8_t symbol) {
    if (symbol >= UsableSymbols(env)) return -1;
    return env.symbolTable[2 * symbol];
}

std::uint8_t ClamDefaultSymbolByte(const ClamPhonEnv& env) {
    return static_cast<std::uint8_t>(env.defaultSymbol);
}

bool ClamBuildSymbolIndex(ClamPhonEnv& env) {
    env.symbolIndex = new (std::nothrow) std::uint8_t[kClamSymbolIndexSize];
    if (env.symbolIndex == nullptr) return false;
    std::fill_n(env.symbolIndex, kClamSymbolIndexSize,
                static_cast<std::uint8_t>(env.defaultSymbol));
    // Backwards, so that the first of equal entries wins.
    for (std::uint32_t i = UsableSymbols(env); i-- > 0;) {
        env.symbolIndex[env.symbolTable[2 * i] * 256u + env.symbolTable[2 * i + 1]] =
            static_cast<std::uint8_t>(i);
    }
    return true;
}
