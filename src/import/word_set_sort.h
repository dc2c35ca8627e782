// Splitting a text into its distinct words in byte order: the sort behind WordSet.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

// The largest text that the fast sort takes: it keeps offsets of 32 bits.
inline constexpr std::size_t kFastSortLimit = std::numeric_limits<std::uint32_t>::max();

// The words of `text`, the runs of bytes that are not white space of the "C" locale
// (blank, tab, LF, VT, FF, CR), each once and followed by a line feed, in ascending
// byte-wise order over unsigned bytes, a prefix before the longer word. Texts larger than
// `fastSortLimit` (at most kFastSortLimit; smaller in tests) take a plain sort.
std::string SortedDistinctLines(std::string_view text, std::size_t fastSortLimit = kFastSortLimit);
