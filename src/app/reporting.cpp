#include "app/reporting.h"

#include <cstdio>
#include <string>

#include "app/folder_path.h"
#include "app/run_lock.h"
#include "app/system_info.h"
#include "app/text_conversion.h"

std::wstring g_logFilePath;
std::unique_ptr<platform::OutputStream> g_logFile;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Enough for every run of one second to have its own name.
constexpr int kMostLogNames = 999;

void WriteToLog(std::string_view bytes) {
    if (g_logFile) g_logFile->Write(bytes);
}

// Creates the log file under the first name that no file has: the plain one, then the
// numbered ones. Null when a file cannot be made for another reason.
std::unique_ptr<platform::OutputStream> CreateLogFile(const std::wstring& folder,
                                                      const std::string& name) {
    auto& system = platform::CurrentPlatform();
    for (int number = 1; number <= kMostLogNames; ++number) {
        g_logFilePath = JoinPath(folder, Utf8ToWide(NumberedLogFileName(name, number)));
        auto stream = system.CreateOutputStream(g_logFilePath, platform::StreamMode::kText);
        if (stream || !system.PathExists(g_logFilePath)) return stream;
    }
    return nullptr;
}

}  // namespace

std::string MakeLogFileName(const platform::LocalTime& time) {
    char name[1024];
    std::snprintf(name, sizeof name, "%s_%.4d%.2d%.2d_%.2d%.2d%.2d.log", "Wordhaul", time.year,
                  time.month, time.day, time.hour, time.minute, time.second);
    return name;
}

std::string NumberedLogFileName(const std::string& name, int number) {
    if (number == 1) return name;
    const auto dot = name.rfind('.');
    return name.substr(0, dot) + "_" + std::to_string(number) + name.substr(dot);
}

bool OpenLogFile() {
    auto& system = platform::CurrentPlatform();
    g_logFilePath = GetLocalLowFolder();
    if (g_logFilePath.empty()) {
        system.ConsoleWrite("ERROR: Unable to get user's LocalLow folder path.");
        return false;
    }
    const std::wstring folder = JoinPath(g_logFilePath, Utf8ToWide("Temp"));
    g_logFilePath = folder;
    if (!CreateFolderPath(folder)) {
        system.ConsoleWrite("ERROR: Unable to create Temp folder for log file: ");
        system.ConsoleWriteWide(folder);
        system.ConsoleWrite("\n");
        system.ConsoleFlush();
        return false;
    }
    // A run that waited for another one names its log by the time it got the lock.
    if (!AcquireRunLock(folder)) return false;
    g_logFile = CreateLogFile(folder, MakeLogFileName(system.GetLocalTime()));
    WriteToLog(kByteOrderMark);
    return true;
}

void CloseLogFile() {
    if (g_logFile) g_logFile->Close();
    g_logFile.reset();
}

void LogMessage(std::string_view text) {
    WriteToLog(text);
    WriteToLog("\n");
}

void LogWideMessage(std::wstring_view text) {
    WriteToLog(WideToUtf8(text) + "\n");
}

void ReportMessage(std::string_view text) {
    LogMessage(text);
    ConsoleLine(text);
}

void ReportWideMessage(std::wstring_view text) {
    LogWideMessage(text);
    ConsoleWideLine(text);
}

void ConsoleLine(std::string_view text) {
    auto& system = platform::CurrentPlatform();
    system.ConsoleWrite(text);
    system.ConsoleWrite("\n");
}

void ConsoleWideLine(std::wstring_view text) {
    auto& system = platform::CurrentPlatform();
    system.ConsoleWriteWide(text);
    system.ConsoleWriteWide(L"\n");
}
