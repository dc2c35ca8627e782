// Phonetic environments for tests: our definitions in data/env compiled in-process, and
// environment bytes (compiled or crafted) loaded through the platform as the import does.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "clam/store/clam_owners.h"

namespace testing_support {

using PhonEnvPtr = ClamPhonEnvPtr;

// The ids of the languages that data/env defines, and the definition name of one ("lang01").
inline const std::vector<int>& DefinedLanguages() {
    static const std::vector<int> languages = {1, 2, 10, 14, 18, 22, 39};
    return languages;
}
inline std::string DefinitionName(int language) {
    return (language < 10 ? "lang0" : "lang") + std::to_string(language);
}

// A file of the source tree (WORDHAUL_SOURCE_DIR), read whole; fails the test when missing.
std::string ReadSourceFile(const std::string& relative);

// The compiled bytes of a definition text; fails the test on a compile error.
std::vector<std::uint8_t> CompileText(const std::string& text);
// The compiled bytes of data/env/<name>.def.
inline std::vector<std::uint8_t> CompiledDefinition(const std::string& name) {
    return CompileText(ReadSourceFile("data/env/" + name + ".def"));
}

// Writes the bytes to a temporary file and loads it with ClamLoadPhonEnv.
PhonEnvPtr LoadEnvBytes(const std::vector<std::uint8_t>& bytes, int* status);

// An environment file put together field by field: the header numbers N0 to N6 and the
// raw bytes of the nine sections, each declared with its real size unless `declared` says
// otherwise (-1: the real size).
struct CraftedEnv {
    std::uint8_t version = 2, language = 1;
    std::string magic = "PH";
    std::array<std::uint16_t, 7> numbers{};
    std::array<std::string, 9> sections;
    std::array<int, 9> declared{-1, -1, -1, -1, -1, -1, -1, -1, -1};

    std::vector<std::uint8_t> File() const;
    PhonEnvPtr Load(int& status) const;
};

// The fields of a whole environment file (a compiled one), to change and write again.
CraftedEnv ParseEnvFile(const std::vector<std::uint8_t>& file);

// Bytes written readably: <hh> is the byte with that hex value, anything else stands for
// itself ("b<82>b").
std::string Bytes(std::string_view notation);

// (letter, tag) pairs written as letter and decimal tag, space-separated: "b17 a16", with '+'
// for the repeat letter 9, '_' for the letter 11, and <hh> for any letter.
std::string Pairs(std::string_view notation);

// The characters that reach the rules in a folded text of the language: its valid word
// characters except upper-case letters and the marker bytes.
std::string FoldedLetters(int language);

// The environment of a defined language, loaded; fails the test when it does not load.
PhonEnvPtr LoadLanguage(int language);

}  // namespace testing_support
