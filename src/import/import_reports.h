// Messages that both import procedures write the same way.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kContinuingWithNextDictionary =
    "Continuing to process next dictionary ...";

// The error, the path it concerns, and the note that the walk goes on; log and console.
void ReportSkip(const char* error, const std::wstring& path);

// The two totals of an import, each number on the line below its label; log only.
void LogTotals(std::uint32_t importedCount, std::uint32_t alreadyPresentCount);
