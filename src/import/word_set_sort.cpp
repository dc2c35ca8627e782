// A multikey quicksort with cached keys: each word carries an integer made of its next
// bytes, so that most comparisons touch no word bytes, and a group of words that share
// those bytes moves on to the following bytes together. Three-way partitions make many
// equal words cost one pass; a partition budget per depth, as in introsort, bounds the
// cost of bad pivots; a task stack instead of recursion lets words of any length share
// any prefix.
#include "import/word_set_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
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
constexpr std::size_t kAhead = 8;

struct Task {
    Item* first;
    std::size_t count;
    std::size_t depth;
    int budget;
};

int BudgetFor(std::size_t count) {
    return 2 * static_cast<int>(std::bit_width(count)) + 2;
}

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
        tasks_.push_back({items, count, 0, BudgetFor(count)});
        while (!tasks_.empty()) {
            const Task task = tasks_.back();
            tasks_.pop_back();
            Run(task);
        }
    }

  private:
    void Run(Task task) {
        for (;;) {
            if (task.count <= kSmall || task.budget == 0) {
                SortByKey(task.first, task.count);
                ScheduleTies(task);
                return;
            }
            --task.budget;
            const auto [less, notGreater] = Partition(task.first, task.count);
            if (less > 0) tasks_.push_back({task.first, less, task.depth, task.budget});
            if (notGreater < task.count) {
                tasks_.push_back(
                    {task.first + notGreater, task.count - notGreater, task.depth, task.budget});
            }
            task.first += less;
            task.count = notGreater - less;
            if (!Descend(task)) return;
        }
    }

    static void SortByKey(Item* first, std::size_t count) {
        const auto byKey = [](const Item& a, const Item& b) { return a.key < b.key; };
        if (count > kSmall) {
            std::sort(first, first + count, byKey);
            return;
        }
        for (std::size_t i = 1; i < count; ++i) {
            const Item item = first[i];
            std::size_t j = i;
            for (; j > 0 && item.key < first[j - 1].key; --j) first[j] = first[j - 1];
            first[j] = item;
        }
    }

    // After a sort by key: each run of equal keys is done, or a task one step deeper.
    void ScheduleTies(const Task& task) {
        std::size_t start = 0;
        while (start < task.count) {
            std::size_t end = start + 1;
            while (end < task.count && task.first[end].key == task.first[start].key) ++end;
            Task tie{task.first + start, end - start, task.depth, task.budget};
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
        group.budget = BudgetFor(group.count);
        return true;
    }

    static std::uint64_t MedianOfThree(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
        return std::max(std::min(a, b), std::min(std::max(a, b), c));
    }

    static std::uint64_t Pivot(const Item* first, std::size_t count) {
        const auto at = [first](std::size_t i) { return first[i].key; };
        const std::size_t last = count - 1;
        const std::size_t mid = count / 2;
        if (count < 128) return MedianOfThree(at(0), at(mid), at(last));
        const std::size_t step = count / 8;
        return MedianOfThree(MedianOfThree(at(0), at(step), at(2 * step)),
                             MedianOfThree(at(mid - step), at(mid), at(mid + step)),
                             MedianOfThree(at(last - 2 * step), at(last - step), at(last)));
    }

    // Puts keys below the pivot first, then those equal to it, then those above; returns
    // where the equal ones start and end.
    static std::pair<std::size_t, std::size_t> Partition(Item* first, std::size_t count) {
        const std::uint64_t pivot = Pivot(first, count);
        std::size_t less = 0;
        std::size_t at = 0;
        std::size_t greater = count;
        while (at < greater) {
            const std::uint64_t key = first[at].key;
            if (key < pivot) {
                std::swap(first[less++], first[at++]);
            } else if (key > pivot) {
                std::swap(first[at], first[--greater]);
            } else {
                ++at;
            }
        }
        return {less, greater};
    }

    const unsigned char* text_;
    std::size_t size_;
    std::vector<Task> tasks_;
};

bool IsWhiteSpace(char c) {
    return kWhiteSpace[static_cast<unsigned char>(c)];
}

// For texts beyond the 32-bit offsets of Item.
std::string SortedDistinctLinesOfHugeText(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsWhiteSpace(text[at])) ++at;
        const std::size_t start = at;
        while (at < text.size() && !IsWhiteSpace(text[at])) ++at;
        if (at > start) words.push_back(text.substr(start, at - start));
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    std::string lines;
    for (const std::string_view word : words) {
        lines.append(word);
        lines.push_back('\n');
    }
    return lines;
}

}  // namespace

std::string SortedDistinctLines(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max())
        return SortedDistinctLinesOfHugeText(text);
    Sorter sorter(text);
    std::vector<Item> items;
    items.reserve(text.size() / 8);
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsWhiteSpace(text[at])) ++at;
        const std::size_t start = at;
        while (at < text.size() && !IsWhiteSpace(text[at])) ++at;
        if (at == start) continue;
        Item item{0, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(at - start)};
        item.key = sorter.KeyAt(item, 0);
        items.push_back(item);
    }
    sorter.Sort(items.data(), items.size());
    std::erase_if(items, [](const Item& item) { return item.key == kRepeat; });

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
