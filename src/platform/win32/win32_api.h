// The Windows and C runtime headers of the win32 layer, included in one place.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <share.h>
#include <shlobj.h>
#include <sys/stat.h>

// These name Platform members; the win32 layer calls the wide functions by their names.
#undef DeleteFile
#undef ReplaceFile
