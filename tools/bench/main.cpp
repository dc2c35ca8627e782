#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "bench.h"
#include "clam/store/phon_env.h"
#include "platform/platform.h"

namespace bench {
namespace {
struct Entry {
    std::string summary;
    Benchmark run;
};
std::map<std::string, Entry>& Registry() {
    static std::map<std::string, Entry> registry;
    return registry;
}
}  // namespace

Registration::Registration(const char* name, const char* summary, Benchmark run) {
    Registry()[name] = Entry{summary, std::move(run)};
}

ClamPhonEnv* LoadPhonEnv(const std::wstring& path) {
    auto& system = platform::CurrentPlatform();
    const int fd =
        system.Open(path, platform::kOpenReadOnly | platform::kOpenBinary, platform::kPermRead);
    if (fd <= 0) return nullptr;
    int status = 0;
    ClamPhonEnv* env = ClamLoadPhonEnv(fd, 0, &status);
    system.Close(fd);
    return env;
}

std::wstring UseAsDriveC(const std::filesystem::path& root) {
#ifdef _WIN32
    return root.wstring();
#else
    setenv("WINEPREFIX", root.parent_path().c_str(), 1);
    return L"C:";
#endif
}

}  // namespace bench

int main(int argc, char** argv) {
    auto& registry = bench::Registry();
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--list") == 0)) {
        std::printf("usage: wordhaul_bench [NAME [ARGS...]]\n\nbenchmarks:\n");
        for (const auto& [name, entry] : registry)
            std::printf("  %-16s %s\n", name.c_str(), entry.summary.c_str());
        return 0;
    }
    if (argc > 1) {
        const auto it = registry.find(argv[1]);
        if (it == registry.end()) {
            std::fprintf(stderr, "wordhaul_bench: no benchmark named %s\n", argv[1]);
            return 2;
        }
        it->second.run(argc - 1, argv + 1);
        return 0;
    }
    for (const auto& [name, entry] : registry) {
        std::printf("== %s: %s\n", name.c_str(), entry.summary.c_str());
        std::fflush(stdout);
        entry.run(1, argv);
    }
    return 0;
}
