#include "import/word_set.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<bool, 256> MakeWhiteSpaceTable() {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = true;
    return table;
}

constexpr std::array<bool, 256> kWhiteSpace = MakeWhiteSpaceTable();

bool IsWhiteSpace(char c) {
    return kWhiteSpace[static_cast<unsigned char>(c)];
}

}  // namespace

void WordSet::AssignText(std::string text) {
    auto buffer = std::make_shared<const std::string>(std::move(text));
    const std::string_view all = *buffer;
    Clear();
    std::size_t at = 0;
    while (at < all.size()) {
        while (at < all.size() && IsWhiteSpace(all[at])) ++at;
        const std::size_t start = at;
        while (at < all.size() && !IsWhiteSpace(all[at])) ++at;
        if (at > start) words_.push_back(all.substr(start, at - start));
    }
    // string_view compares with char_traits<char>, that is as unsigned bytes.
    std::sort(words_.begin(), words_.end());
    words_.erase(std::unique(words_.begin(), words_.end()), words_.end());
    buffers_.push_back(std::move(buffer));
}

void WordSet::Clear() {
    words_.clear();
    buffers_.clear();
}

bool WordSet::Contains(std::string_view word) const {
    return std::binary_search(words_.begin(), words_.end(), word);
}

std::string WordSet::ToText() const {
    std::size_t size = words_.size();
    for (const std::string_view word : words_) size += word.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view word : words_) {
        text.append(word);
        text.push_back('\n');
    }
    return text;
}

void WordSet::KeepBuffersOf(const WordSet& other) {
    if (&other == this) return;
    buffers_.insert(buffers_.end(), other.buffers_.begin(), other.buffers_.end());
}
