#include "fuzz_env.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <sstream>

#include "clam/coding/env_compiler.h"
#include "clam/coding/phonetic_keys.h"
#include "clam/coding/word_class.h"
#include "memory_platform.h"

namespace fuzz_support {
namespace {

std::string ReadDefinition(int language) {
    const std::string name = (language < 10 ? "lang0" : "lang") + std::to_string(language);
    std::ifstream in(std::string(WORDHAUL_SOURCE_DIR) + "/data/env/" + name + ".def");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int Encode(const std::string& word, char* out, std::size_t capacity, int language) {
    if (word.find(static_cast<char>(kClamPairSeparator)) != std::string::npos) {
        return ClamEncodePair(word.c_str(), out, capacity, language);
    }
    if (word.find_first_of(std::string{kClamMarker1, kClamMarker2, kClamMarker3}) !=
        std::string::npos) {
        return ClamEncodeMarkedWord(word.c_str(), out, capacity, language);
    }
    return ClamEncodeWord(word.c_str(), out, capacity, language);
}

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

ClamPhonEnvPtr LoadEnvBytes(std::span<const std::uint8_t> bytes) {
    MemoryPlatform memory;
    memory.files[L"fuzz.env"] = std::string(bytes.begin(), bytes.end());
    const ScopedPlatform installed(memory);
    const int fd = memory.Open(L"fuzz.env", platform::kOpenReadOnly, platform::kPermRead);
    int status = 0;
    ClamPhonEnvPtr env(ClamLoadPhonEnv(fd, 0, &status));
    memory.Close(fd);
    Require((env != nullptr) == (status == 0));
    return env;
}

const std::vector<std::vector<std::uint8_t>>& DefinedEnvBytes() {
    static const std::vector<std::vector<std::uint8_t>> envs = [] {
        std::vector<std::vector<std::uint8_t>> compiled;
        for (const int language : {1, 2, 10, 14, 18, 22, 39}) {
            ClamCompiledEnv env;
            ClamEnvError error;
            Require(ClamCompileEnvText(ReadDefinition(language), env, error));
            compiled.push_back(std::move(env.file));
        }
        return compiled;
    }();
    return envs;
}

void CodeWord(const std::string& word, ClamPhonEnv* env) {
    // Words reach the coding NUL-terminated and at most 63 bytes long.
    const std::string text = word.substr(0, std::min(word.find('\0'), std::size_t{63}));
    std::array<char, kClamEncodedCapacity> encoded{};
    const int wordClass = Encode(text, encoded.data(), encoded.size(), env->language);
    Require(std::memchr(encoded.data(), '\0', encoded.size()) != nullptr);

    std::array<char, kClamTranscriptionCapacity> transcription{};
    ClamTranscribe(text.c_str(), transcription.data(), transcription.size(), env);
    std::array<char, kClamPhoneticKeyCapacity> phonetic{};
    ClamPhoneticKey(text.c_str(), phonetic.data(), phonetic.size(), env);
    Require(std::memchr(phonetic.data(), '\0', phonetic.size()) != nullptr);
    if (wordClass == 0) return;

    std::array<char, kClamStoredKeyCapacity> key{};
    if (ClamBuildStoredKeyWithEnv(encoded.data(), key.data(), env) == 0) return;
    Require(std::strlen(key.data()) <= kClamMaxKeyLength);
    Require(ClamCompareKeys(key.data(), key.data()) == 0);
    std::array<char, kClamKeyWordCapacity> back{};
    ClamKeyToWordWithEnv(key.data(), back.data(), env);
    std::array<char, kClamDisplayCapacity> display{};
    ClamDisplayForm(back.data(), static_cast<std::uint32_t>(wordClass), display.data(),
                    display.size(), env->language);
    Require(std::memchr(display.data(), '\0', display.size()) != nullptr);
}

}  // namespace fuzz_support
