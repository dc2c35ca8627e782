// One run at a time per user: a lock file in the log folder, held from before the log file
// opens until the run ends. The system lets go of it when the process dies.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view kRunLockFileName = "Wordhaul.lock";
inline constexpr unsigned int kRunLockRetryMilliseconds = 100;

// Takes the lock in `folder`, waiting for another run to let go of it for the platform's
// bound and telling the console once that it waits. False, with a text on the console,
// when the run must stop without it.
bool AcquireRunLock(const std::wstring& folder);
void ReleaseRunLock();
