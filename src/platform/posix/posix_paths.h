// How the POSIX stand-in maps Windows paths onto a Wine-style prefix.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::posix {

// The host folder that stands for drive C: $WINEPREFIX/drive_c, or $HOME/.wine/drive_c.
std::string DriveCFolder();

// The user's profile as a Windows path: C:\users\<user>, with <user> from $USER or,
// when that is unset, the account name of the process's user.
std::wstring UserProfileFolder();

// Maps a Windows path to a host path: "C:" (any case) or a leading backslash to drive C,
// other drive letters to $WINEPREFIX/dosdevices/<letter>:, backslashes to slashes.
// A path without a drive stays relative; one that starts with a slash is already a host
// path (the product's own paths always use backslashes) and is kept as it is.
std::string MapToHostPath(std::wstring_view windowsPath);

// A host file name as a wide string: UTF-8 where it is valid, else byte by byte.
std::wstring HostNameToWide(std::string_view name);

// Orders names as Wine and NTFS list a folder: by their upper-cased form, compared
// character by character ("_" and "~" after the letters).
void SortLikeWindowsListing(std::vector<std::wstring>& names);

}  // namespace platform::posix
