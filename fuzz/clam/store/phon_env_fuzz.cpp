// The phonetic environment loader on arbitrary bytes, then the coding of words under what it
// loaded. Input: a count byte (low two bits: 0 to 3 words), each word as a length byte and its
// bytes, then the environment file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz_env.h"

namespace {

const char* const kFixedWords[] = {"a", "Word", "ABC", "e.g.", "x\x08y"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> input(data, size);
    if (input.empty()) return 0;
    const int count = input[0] & 3;
    input = input.subspan(1);
    std::vector<std::string> words;
    for (int i = 0; i < count && !input.empty(); ++i) {
        const std::size_t length = std::min<std::size_t>(input[0], input.size() - 1);
        words.emplace_back(reinterpret_cast<const char*>(input.data() + 1), length);
        input = input.subspan(1 + length);
    }
    const ClamPhonEnvPtr env = fuzz_support::LoadEnvBytes(input);
    if (env == nullptr) return 0;
    for (const char* word : kFixedWords) fuzz_support::CodeWord(word, env.get());
    for (const std::string& word : words) fuzz_support::CodeWord(word, env.get());
    return 0;
}
