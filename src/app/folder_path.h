// Wide-path helpers shared by the log set-up and the imports.
#pragma once

#include <string>

// Creates the folder with any missing parents; true when it exists afterwards.
bool CreateFolderPath(const std::wstring& path);

// The text before the last backslash, without a trailing backslash; a one-character
// path is its own parent.
std::wstring GetParentFolder(const std::wstring& path);

// "" gives "c:"; a path ending in a backslash loses that one character.
std::wstring RemoveTrailingBackslash(const std::wstring& path);

// base + "\" + piece.
std::wstring JoinPath(const std::wstring& base, const std::wstring& piece);
