// A sorted set of distinct words. A word is a byte string taken as it stands in its
// file; the order is byte-wise over unsigned bytes, a prefix before the longer word.
//
// The words are views into sorted copies of whole file texts, which the set shares with
// the sets it was merged with, so reading and merging a large list costs one sort and no
// allocation per word.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class WordSet {
  public:
    // Replaces the contents with the words of a text: the runs of bytes that are not
    // white space of the "C" locale (blank, tab, LF, VT, FF, CR).
    void AssignText(std::string text);
    void Clear();

    bool Empty() const { return words_.empty(); }
    std::size_t Size() const { return words_.size(); }
    bool Contains(std::string_view word) const;
    // In ascending order.
    const std::vector<std::string_view>& Words() const { return words_; }

    // Adds every word of `source` that this set lacks, calling added(word) for each in
    // ascending order; returns the number of source words that were present already.
    template <typename OnAdded>
    std::uint32_t MergeFrom(const WordSet& source, OnAdded&& added);

    // Each word followed by a line feed, in ascending order.
    std::string ToText() const;
    // The same text in pieces of about 64 KiB, each handed to write(piece), which returns
    // false on failure: a large set is written without a copy of its whole text. False
    // at the first failed piece.
    template <typename WritePiece>
    bool WriteText(WritePiece&& write) const;

  private:
    void KeepBuffersOf(const WordSet& other);

    std::vector<std::shared_ptr<const std::string>> buffers_;
    std::vector<std::string_view> words_;
};

template <typename OnAdded>
std::uint32_t WordSet::MergeFrom(const WordSet& source, OnAdded&& added) {
    std::vector<std::string_view> merged;
    merged.reserve(words_.size() + source.words_.size());
    std::uint32_t present = 0;
    auto mine = words_.begin();
    for (const std::string_view word : source.words_) {
        int order = 1;
        while (mine != words_.end() && (order = mine->compare(word)) < 0) merged.push_back(*mine++);
        if (mine != words_.end() && order == 0) {
            ++present;
            merged.push_back(*mine++);
        } else {
            merged.push_back(word);
            added(word);
        }
    }
    merged.insert(merged.end(), mine, words_.end());
    words_ = std::move(merged);
    KeepBuffersOf(source);
    return present;
}

template <typename WritePiece>
bool WordSet::WriteText(WritePiece&& write) const {
    constexpr std::size_t kPiece = std::size_t{1} << 16;
    std::string piece;
    piece.reserve(kPiece);
    for (const std::string_view word : words_) {
        piece.append(word);
        piece.push_back('\n');
        if (piece.size() >= kPiece) {
            if (!write(std::string_view(piece))) return false;
            piece.clear();
        }
    }
    return piece.empty() || write(std::string_view(piece));
}
