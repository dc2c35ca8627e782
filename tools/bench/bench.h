// The benchmark program: each benchmark registers itself under a name; `wordhaul_bench`
// runs them all, or those named on its command line, and prints their measurements.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

struct ClamPhonEnv;

namespace bench {

using Benchmark = std::function<void(int argc, char** argv)>;

struct Registration {
    Registration(const char* name, const char* summary, Benchmark run);
};

// Seconds since an arbitrary start, for timing.
inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Seconds that the work takes.
template <typename Work>
double Seconds(Work&& work) {
    const double start = Now();
    work();
    return Now() - start;
}

// Makes `root` the drive C: that the platform sees and returns that drive as a Windows
// path (on Windows the folder itself; elsewhere the prefix of the POSIX stand-in).
std::wstring UseAsDriveC(const std::filesystem::path& root);

// Loads a phonetic environment through the platform; null when it does not load.
ClamPhonEnv* LoadPhonEnv(const std::wstring& path);

}  // namespace bench

#define WORDHAUL_BENCHMARK(name, summary)                                                 \
    static void Bench_##name(int argc, char** argv);                                      \
    static ::bench::Registration bench_registration_##name(#name, summary, Bench_##name); \
    static void Bench_##name([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
