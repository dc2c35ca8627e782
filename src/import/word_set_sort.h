// Splitting a text into its distinct words in byte order: the sort behind WordSet.
#pragma once

#include <string>
#include <string_view>

// The words of `text`, the runs of bytes that are not white space of the "C" locale
// (blank, tab, LF, VT, FF, CR), each once and followed by a line feed, in ascending
// byte-wise order over unsigned bytes, a prefix before the longer word.
std::string SortedDistinctLines(std::string_view text);
