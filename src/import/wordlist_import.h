// Import of one word-list dictionary (a plain text of words) into the word list of the
// same name in the destination tree.
#pragma once

#include <string>

#include "import/word_set.h"

void ImportWordListDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                              const std::wstring& firstLevelFolder);

// Reads the words of a file, in text mode, into the set (emptied first). False when the
// file cannot be opened or read; the set is then left as it was.
bool ReadWordList(const std::wstring& path, WordSet& set);

// Writes the set, one word and a line feed each, to a file created or truncated. False
// when the file cannot be opened or not every byte reached it.
bool WriteWordList(const std::wstring& path, const WordSet& set);

// Writes the set to a new file beside `path`, then puts it in the place of `path`, so
// that a failed write leaves the old file whole. False when the file stays as it was.
bool ReplaceWordList(const std::wstring& path, const WordSet& set);
