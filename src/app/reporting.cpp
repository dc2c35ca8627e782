#include "app/reporting.h"

#include <cstdio>

#include "app/folder_path.h"
#include "app/system_info.h"
#include "app/text_conversion.h"

std::wstring g_logFilePath;
std::unique_ptr<platform::OutputStream> g_logFile;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

void WriteToLog(std::string_view bytes) {
    if (g_logFile) g_logFile->Write(bytes);
}

}  // namespace

std::string MakeLogFileName(const platform::LocalTime& time) {
    char name[1024];
    std::snprintf(name, sizeof name, "%s_%.4d%.2d%.2d_%.2d%.2d%.2d.log", "Wordhaul", time.year,
                  time.month, time.day, time.hour, time.minute, time.second);
    return name;
}

bool OpenLogFile() {
    auto& system = platform::CurrentPlatform();
    const std::string fileName = MakeLogFileName(system.GetLocalTime());
    g_logFilePath = GetLocalLowFolder();
    if (g_logFilePath.empty()) {
        system.ConsoleWrite("ERROR: Unable to get user's LocalLow folder path.");
        return false;
    }
    g_logFilePath = JoinPath(g_logFilePath, Utf8ToWide("Temp"));
    if (!CreateFolderPath(g_logFilePath)) {
        system.ConsoleWrite("ERROR: Unable to create Temp folder for log file: ");
        system.ConsoleWriteWide(g_logFilePath);
        system.ConsoleWrite("\n");
        system.ConsoleFlush();
        return false;
    }
    g_logFilePath = JoinPath(g_logFilePath, Utf8ToWide(fileName));
    g_logFile = system.OpenOutputStream(g_logFilePath, platform::StreamMode::kText);
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
