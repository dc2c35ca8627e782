// Steps and messages that both import procedures share.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kContinuingWithNextDictionary =
    "Continuing to process next dictionary ...";
inline constexpr const char* kCannotWriteDestination =
    "ERROR: Unable to write destination dictionary";
inline constexpr const char* kCannotReadAllSourceWords =
    "ERROR: Unable to read all words of source dictionary";

// Logs the heading of an import (the underline's length tells the kinds apart in the log)
// and makes the destination folder; false, after reporting it, when the folder cannot be made.
bool BeginImport(const char* underline, const std::wstring& sourcePath,
                 const std::wstring& destinationFolder);

// The error, the path it concerns, and the note that the walk goes on; log and console.
void ReportSkip(const char* error, const std::wstring& path);

// The two totals of an import, each number on the line below its label; log only.
void LogTotals(std::uint32_t importedCount, std::uint32_t alreadyPresentCount);
