// Import of one word-list dictionary (a plain text of words) into the word list of the
// same name in the destination tree.
#pragma once

#include <string>

#include "import/replacement.h"
#include "import/word_set.h"

void ImportWordListDictionary(const std::wstring& fileName, const std::wstring& secondLevelFolder,
                              const std::wstring& firstLevelFolder);

// Reads the words of a file, in text mode, into the set (emptied first). False when the
// file cannot be opened or read; the set is then left as it was.
bool ReadWordList(const std::wstring& path, WordSet& set);

// Writes the set, one word and a line feed each, to a new file beside `path`, which takes
// the place of `path` once it is whole on disk; `held` (the destination held against other
// writers, or nothing) is closed first. False when `path` stays as it was.
bool ReplaceWordList(const std::wstring& path, const WordSet& set, Descriptor& held);
