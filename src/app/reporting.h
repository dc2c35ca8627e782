// The log file and the four message writers. A logged message goes to the log file
// only; a reported one goes to the log file and then, with a line end, to the console.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

extern std::wstring g_logFilePath;
// Null while no log file is open (also after an open that failed): writes are dropped.
extern std::unique_ptr<platform::OutputStream> g_logFile;

// Makes LocalLow\Temp, takes the run lock there and creates this run's log file under a
// name no other file has, starting it with a byte-order mark. False, with an error or
// INFO text on the console, when the run must stop.
bool OpenLogFile();
void CloseLogFile();

// "Wordhaul_YYYYMMDD_HHMMSS.log" for the given time.
std::string MakeLogFileName(const platform::LocalTime& time);
// The name itself for number 1; else the number goes before the extension, after "_".
std::string NumberedLogFileName(const std::string& name, int number);

void LogMessage(std::string_view text);
void LogWideMessage(std::wstring_view text);
void ReportMessage(std::string_view text);
void ReportWideMessage(std::wstring_view text);

// Console only.
void ConsoleLine(std::string_view text);
void ConsoleWideLine(std::wstring_view text);
