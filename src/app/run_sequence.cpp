#include "app/run_sequence.h"

#include <string>

#include "app/folder_locations.h"
#include "app/folder_walk.h"
#include "app/reporting.h"
#include "app/run_lock.h"
#include "app/system_info.h"
#include "platform/platform.h"

namespace {

std::string Banner() {
    std::string banner = "Velta (R) Wordhaul - Version ";
    banner += "1.0.0";
    banner += "\nCopyright (C) Velta. All rights reserved.";
    return banner;
}

// The platform's Exit does not return; the status is returned for the compiler's sake.
int StopEarly() {
    platform::CurrentPlatform().Exit(1);
    return 1;
}

}  // namespace

int RunWordhaul() {
    auto& system = platform::CurrentPlatform();
    const std::string banner = Banner();
    system.ConsoleWrite(banner + "\n");
    system.ConsoleFlush();

    if (!IsWindowsVista()) {
        system.ConsoleWrite(
            "\n\nINFO:\nCurrent OS Platform is NOT \"Windows Vista\".\n"
            "This tool is meant only for \"Windows Vista\" Platform.\n");
        return StopEarly();
    }
    if (!OpenLogFile()) return StopEarly();

    LogMessage(banner);
    LogMessage("\nStarted processing.");
    ConsoleLine("\nStarted processing.");

    ResolveFolders();

    if (SourceHasNoDictionaries()) {
        const std::wstring info =
            L"\n\nINFO: No user dictionary data to copy, since source dictionary folder( " +
            g_sourceFolder + L" )contains no dictionaries.\n";
        LogWideMessage(info);
        ConsoleWideLine(info);
        CloseLogFile();
        ReleaseRunLock();
        return StopEarly();
    }

    ProcessAllDictionaries();

    LogMessage("\nProcessing complete.");
    ConsoleLine("\nProcessing complete.");
    CloseLogFile();
    ReleaseRunLock();
    return 0;
}
