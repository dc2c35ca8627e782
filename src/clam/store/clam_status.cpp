#include "clam/store/clam_status.h"

#include <array>

const char* ClamStatusText(int status) {
    static constexpr std::array<const char*, 7> kTexts = {
        "success",
        "out of memory",
        "the file could not be opened",
        "the file could not be read, positioned or written, or its layout is invalid",
        "not a phonetic environment file",
        "unsupported version",
        "language id out of range or not the environment's",
    };
    if (status < 0 || status >= static_cast<int>(kTexts.size())) return "unknown status";
    return kTexts[static_cast<std::size_t>(status)];
}
