#include "import/word_set.h"

#include <algorithm>

#include "import/word_set_sort.h"

void WordSet::AssignText(std::string text) {
    Clear();
    // The sorted copy keeps the words in the order in which they are used: in a large
    // set, reading them from the source text would miss the processor's cache each time.
    auto lines = std::make_shared<const std::string>(SortedDistinctLines(text));
    text = std::string();
    const std::string_view all = *lines;
    std::size_t at = 0;
    while (at < all.size()) {
        const std::size_t end = all.find('\n', at);
        words_.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    buffers_.push_back(std::move(lines));
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
