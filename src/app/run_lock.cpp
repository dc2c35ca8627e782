#include "app/run_lock.h"

#include <algorithm>
#include <memory>

#include "app/folder_path.h"
#include "app/text_conversion.h"
#include "platform/platform.h"

namespace {

std::unique_ptr<platform::HeldLock> g_runLock;

constexpr std::string_view kWaiting =
    "\nAnother run of Wordhaul is in progress for this user. Waiting for it to end ...\n";
constexpr std::string_view kGivingUp =
    "\n\nINFO:\nAnother run of Wordhaul is still in progress for this user.\n"
    "This run stops without importing anything. Start it again once the other run has "
    "ended.\n";

void TellConsole(std::string_view text, const std::wstring& path = L"") {
    auto& system = platform::CurrentPlatform();
    system.ConsoleWrite(text);
    if (!path.empty()) {
        system.ConsoleWriteWide(path);
        system.ConsoleWrite("\n");
    }
    system.ConsoleFlush();
}

}  // namespace

bool AcquireRunLock(const std::wstring& folder) {
    auto& system = platform::CurrentPlatform();
    const std::wstring path = JoinPath(folder, Utf8ToWide(kRunLockFileName));
    const unsigned int bound = system.RunLockWaitMilliseconds();
    unsigned int waited = 0;
    for (;;) {
        switch (system.TryLockFile(path, g_runLock)) {
            case platform::LockAttempt::kTaken:
                return true;
            case platform::LockAttempt::kFailed:
                TellConsole("ERROR: Unable to create lock file: ", path);
                return false;
            case platform::LockAttempt::kBusy:
                break;
        }
        if (waited == 0) TellConsole(kWaiting);
        if (waited >= bound) {
            TellConsole(kGivingUp);
            return false;
        }
        const unsigned int step = std::min(kRunLockRetryMilliseconds, bound - waited);
        system.Sleep(step);
        waited += step;
    }
}

void ReleaseRunLock() {
    g_runLock.reset();
}
