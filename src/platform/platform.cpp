#include "platform/platform.h"

namespace platform {
namespace {
Platform* g_installed = nullptr;
}  // namespace

Platform& CurrentPlatform() {
    return g_installed != nullptr ? *g_installed : NativePlatform();
}

Platform* SetPlatform(Platform* replacement) {
    Platform* previous = g_installed;
    g_installed = replacement;
    return previous;
}

unsigned int RunLockWaitFromSetting(const char* text) {
    constexpr unsigned int kDefault = 60000;
    constexpr unsigned int kMost = 3600000;
    if (text == nullptr || *text == '\0') return kDefault;
    unsigned long value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return kDefault;
        value = value * 10 + static_cast<unsigned long>(*c - '0');
        if (value > kMost) return kDefault;
    }
    return static_cast<unsigned int>(value);
}

}  // namespace platform
