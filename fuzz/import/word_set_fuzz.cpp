// Word lists read and merged as the import does: the destination and the source list are
// read in text mode, the source merged into the destination, which is written back in its
// place and read again. Input: the destination's bytes, a NUL, the source's bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "import/word_set.h"
#include "import/wordlist_import.h"
#include "memory_platform.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void RequireSortedWords(const WordSet& set) {
    const auto& words = set.Words();
    Require(std::adjacent_find(words.begin(), words.end(), std::greater_equal<>()) == words.end());
    for (const std::string_view word : words) {
        Require(!word.empty() && std::none_of(word.begin(), word.end(), IsBlank));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(input.find('\0'), input.size());
    fuzz_support::MemoryPlatform memory;
    memory.files[L"destination.txt"] = std::string(input.substr(0, split));
    memory.files[L"source.txt"] = std::string(input.substr(std::min(split + 1, input.size())));
    const fuzz_support::ScopedPlatform installed(memory);

    WordSet destination;
    WordSet source;
    Require(ReadWordList(L"destination.txt", destination) && ReadWordList(L"source.txt", source));
    RequireSortedWords(destination);
    RequireSortedWords(source);
    const WordSet before = destination;

    std::size_t added = 0;
    std::string_view previous;
    const std::uint32_t present = destination.MergeFrom(source, [&](std::string_view word) {
        Require(added == 0 || previous < word);
        Require(!before.Contains(word));
        previous = word;
        ++added;
    });
    Require(present + added == source.Size());
    Require(destination.Size() == before.Size() + added);
    RequireSortedWords(destination);
    for (const std::string_view word : source.Words()) Require(destination.Contains(word));

    Descriptor notHeld;
    Require(ReplaceWordList(L"destination.txt", destination, notHeld));
    WordSet reread;
    Require(ReadWordList(L"destination.txt", reread));
    Require(reread.Words() == destination.Words());
    return 0;
}
