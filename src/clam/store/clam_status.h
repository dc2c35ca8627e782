// Status codes that the clam store's open and load operations write to a caller's integer.
#pragma once

enum ClamStatus : int {
    kClamStatusOk = 0,
    kClamStatusNoMemory = 1,
    kClamStatusCannotOpen = 2,  // or the system returned descriptor 0
    // Read, seek or write failed, no block in use, or a layout that would be read out of bounds.
    kClamStatusIoError = 3,
    kClamStatusNotPhonEnv = 4,  // no "PH" magic
    kClamStatusBadVersion = 5,
    kClamStatusBadLanguage = 6,
};

// What a status code means, for one-line messages; "unknown status" outside 0 to 6.
const char* ClamStatusText(int status);
