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

}  // namespace platform
