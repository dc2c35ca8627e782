// Queries of the operating system that decide whether and where the tool runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

using KnownFolderBuffer = std::array<wchar_t, platform::kMaxPath>;

// True on the NT platform with a major version of 6 or more.
bool IsWindowsVista();

// The LocalLow known folder; on success copies it into the buffer when one is given.
// A path that does not fit the buffer with its terminating zero is refused with
// kHresultInsufficientBuffer and nothing is copied.
std::int32_t GetKnownFolderLocalLow(KnownFolderBuffer* buffer);

// The LocalLow folder, or "" when the system is older or the query fails.
std::wstring GetLocalLowFolder();

// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER).
inline constexpr std::int32_t kHresultInsufficientBuffer = static_cast<std::int32_t>(0x8007007Au);
