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

// A word with its first eight bytes as a big-endian number (zero-padded), so that most
// comparisons of the sort are one integer comparison and touch no word bytes.
struct KeyedWord {
    std::uint64_t head;
    std::string_view word;

    bool operator<(const KeyedWord& other) const {
        if (head != other.head) return head < other.head;
        return word < other.word;
    }
};

std::uint64_t HeadOf(std::string_view word) {
    std::uint64_t head = 0;
    const std::size_t n = std::min<std::size_t>(word.size(), 8);
    for (std::size_t i = 0; i < n; ++i)
        head |= std::uint64_t{static_cast<unsigned char>(word[i])} << (56 - 8 * i);
    return head;
}

// Sorts and drops repeats; the order is that of string_view, byte-wise over unsigned bytes.
void SortDistinct(std::vector<std::string_view>& words) {
    std::vector<KeyedWord> keyed;
    keyed.reserve(words.size());
    for (const std::string_view word : words) keyed.push_back({HeadOf(word), word});
    std::sort(keyed.begin(), keyed.end());
    words.clear();
    for (const KeyedWord& item : keyed) {
        if (words.empty() || words.back() != item.word) words.push_back(item.word);
    }
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
    SortDistinct(words_);
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
