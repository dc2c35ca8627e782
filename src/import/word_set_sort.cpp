// A most-significant-bytes-first string sort with cached keys: each word carries an
// integer made of its next bytes, the words are sorted by that integer alone (a radix sort
// for large groups), and each group of words that share those bytes moves on to the
// following bytes together. Every step is linear or n log n in the words of its group,
// whatever the words: repeats end at their first key, shared prefixes cost one pass per
// seven bytes; a task stack instead of recursion lets words of any length share any prefix.
#include "import/word_set_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr std::array<bool, 256> MakeWhiteSpaceTable() {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = true;
    return table;
}

constexpr std::array<bool, 256> kWhiteSpace = MakeWhiteSpaceTable();

// A word, with the key of its bytes from the current depth on: seven of them, zero-padded,
// above a low byte of min(bytes left, 8). One integer comparison then orders two words of
// a group that agree before the depth, a prefix first; equal keys below 8 in the low
// byte mean equal words, equal keys with 8 a tie to break deeper.
struct Item {
    std::uint64_t key;
    std::uint32_t offset;
    std::uint32_t length;
};

constexpr std::size_t kKeyBytes = 7;
constexpr std::uint64_t kMore = 8;
constexpr std::uint64_t kRepeat = ~std::uint64_t{0};  // a low byte no key has
constexpr std::size_t kSmall = 16;
constexpr std::size_t kRadix = 256;
constexpr std::size_t kAhead = 16;

struct Task {
    Item* first;
    std::size_t count;
    std::size_t depth;
};

std::uint64_t LoadBigEndian(const unsigned char* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    return value;
}

class Sorter {
  public:
    explicit Sorter(std::string_view text)
        : text_(reinterpret_cast<const unsigned char*>(text.data())), size_(text.size()) {}

    std::uint64_t KeyAt(const Item& item, std::size_t depth) const {
        const std::size_t left = item.length - depth;
        const std::size_t at = item.offset + depth;
        std::uint64_t bytes = 0;
        if (size_ - at >= 8) {
            bytes = LoadBigEndian(text_ + at);
        } else {
            for (std::size_t i = 0; i < size_ - at; ++i)
                bytes |= std::uint64_t{text_[at + i]} << (56 - 8 * i);
        }
        const std::uint64_t kept =
            left >= kKeyBytes ? ~std::uint64_t{0xFF} : ~(~std::uint64_t{0} >> (8 * left));
        return (bytes & kept) | std::min<std::uint64_t>(left, kMore);
    }

    // Words lie scattered in the text once sorted: ask for their bytes a few words early.
    void Prefetch(const Item& item, std::size_t depth) const {
        __builtin_prefetch(text_ + item.offset + depth);
    }

    void Sort(Item* items, std::size_t count) {
        tasks_.push_back({items, count, 0});
        while (!tasks_.empty()) {
            const Task task = tasks_.back();
            tasks_.pop_back();
            SortByKey(task.first, task.count);
            ScheduleTies(task);
        }
    }

  private:
    static void InsertionSortByKey(Item* first, std::size_t count) {
        for (std::size_t i = 1; i < count; ++i) {
            const Item item = first[i];
            std::size_t j = i;
            for (; j > 0 && item.key < first[j - 1].key; --j) first[j] = first[j - 1];
            first[j] = item;
        }
    }

    // Least significant byte first, skipping the bytes in which all keys agree.
    void RadixSortByKey(Item* first, std::size_t count) {
        std::array<std::array<std::size_t, 256>, 8> counts{};
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t key = first[i].key;
            for (std::size_t d = 0; d < 8; ++d) ++counts[d][(key >> (8 * d)) & 0xFF];
        }
        if (scratch_.size() < count) scratch_.resize(count);
        Item* from = first;
        Item* to = scratch_.data();
        for (std::size_t d = 0; d < 8; ++d) {
            auto& next = counts[d];
            if (next[(first->key >> (8 * d)) & 0xFF] == count) continue;
            std::size_t sum = 0;
            for (std::size_t& n : next) sum += std::exchange(n, sum);
            for (std::size_t i = 0; i < count; ++i)
                to[next[(from[i].key >> (8 * d)) & 0xFF]++] = from[i];
            std::swap(from, to);
        }
        if (from != first) std::copy(from, from + count, first);
    }

    void SortByKey(Item* first, std::size_t count) {
        if (count <= kSmall) {
            InsertionSortByKey(first, count);
        } else if (count < kRadix) {
            std::sort(first, first + count,
                      [](const Item& a, const Item& b) { return a.key < b.key; });
        } else {
            RadixSortByKey(first, count);
        }
    }

    // After a sort by key: each run of equal keys is done, or a task one step deeper.
    void ScheduleTies(const Task& task) {
        std::size_t start = 0;
        while (start < task.count) {
            std::size_t end = start + 1;
            while (end < task.count && task.first[end].key == task.first[start].key) ++end;
            Task tie{task.first + start, end - start, task.depth};
            if (Descend(tie)) tasks_.push_back(tie);
            start = end;
        }
    }

    // A group of equal keys: repeats of one word (all but the first marked), or words to
    // tell apart by their next bytes. True when the group goes on, one step deeper.
    bool Descend(Task& group) const {
        if (group.count < 2) return false;
        if ((group.first->key & 0xFF) != kMore) {
            for (std::size_t i = 1; i < group.count; ++i) group.first[i].key = kRepeat;
            return false;
        }
        group.depth += kKeyBytes;
        for (std::size_t i = 0; i < group.count; ++i) {
            if (i + kAhead < group.count) Prefetch(group.first[i + kAhead], group.depth);
            group.first[i].key = KeyAt(group.first[i], group.depth);
        }
        return true;
    }

    const unsigned char* text_;
    std::size_t size_;
    std::vector<Task> tasks_;
    std::vector<Item> scratch_;
};

bool IsWhiteSpace(char c) {
    return kWhiteSpace[static_cast<unsigned char>(c)];
}

// Finds the next word at or after `at`: false when none is left; else true, with `at` at
// the word's first byte and `end` past its last.
bool NextWord(std::string_view text, std::size_t& at, std::size_t& end) {
    while (at < text.size() && IsWhiteSpace(text[at])) ++at;
    end = at;
    while (end < text.size() && !IsWhiteSpace(text[end])) ++end;
    return end > at;
}

// For texts beyond the fast sort's limit.
std::string PlainSortedDistinctLines(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0, end = 0; NextWord(text, at, end); at = end)
        words.push_back(text.substr(at, end - at));
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    std::string lines;
    for (const std::string_view word : words) {
        lines.append(word);
        lines.push_back('\n');
    }
    return lines;
}

// The words in the order of the text, each with its key at depth 0. `ascending` tells
// whether they already stand in strictly ascending order (a file this program wrote).
std::vector<Item> Split(std::string_view text, const Sorter& sorter, bool& ascending) {
    std::vector<Item> items;
    items.reserve(text.size() / 8);
    ascending = true;
    std::string_view previous;
    for (std::size_t at = 0, end = 0; NextWord(text, at, end); at = end) {
        Item item{0, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(end - at)};
        item.key = sorter.KeyAt(item, 0);
        items.push_back(item);
        if (ascending) {
            const std::string_view word = text.substr(at, end - at);
            ascending = items.size() == 1 || previous < word;
            previous = word;
        }
    }
    return items;
}

std::string Lines(std::string_view text, const std::vector<Item>& items, const Sorter& sorter) {
    std::size_t size = items.size();
    for (const Item& item : items) size += item.length;
    std::string lines;
    lines.reserve(size);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i + kAhead < items.size()) sorter.Prefetch(items[i + kAhead], 0);
        lines.append(text.substr(items[i].offset, items[i].length));
        lines.push_back('\n');
    }
    return lines;
}

}  // namespace

std::string SortedDistinctLines(std::string_view text, std::size_t fastSortLimit) {
    if (text.size() > std::min(fastSortLimit, kFastSortLimit))
        return PlainSortedDistinctLines(text);
    Sorter sorter(text);
    bool ascending = false;
    std::vector<Item> items = Split(text, sorter, ascending);
    if (!ascending) {
        sorter.Sort(items.data(), items.size());
        std::erase_if(items, [](const Item& item) { return item.key == kRepeat; });
    }
    return Lines(text, items, sorter);
}
