// The clam import beside its yardstick, one measured run per process, so that each run's
// peak memory is its own; scripts/bench-clam.sh alternates the runs and prints medians.
//
//   wordhaul_bench clam_compare prepare DIR WORDFILE COUNT [ENV]
//     makes DIR: a source dictionary of COUNT words drawn from WORDFILE (one word a line;
//     duplicates in key order count once), the words in the order the import meets them
//     (DIR/words.txt), and a full destination to start the "full" runs from
//   wordhaul_bench clam_compare ours new|full DIR
//   wordhaul_bench clam_compare sqlite new|full DIR   (when built with the yardstick)
//     one run; prints "seconds S words W reads R writes W peak_kb K"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/folder_locations.h"
#include "app/reporting.h"
#include "bench.h"
#include "clam/coding/word_ops.h"
#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"
#include "counting_platform.h"
#include "import/clam_import.h"
#include "platform/platform.h"
#include "sqlite_clam_yardstick.h"

namespace {
namespace fs = std::filesystem;

std::vector<std::string> ReadLines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// Every word of the list in an order of its own, from which the source takes words until
// it holds as many as asked (the store refuses a few, such as words with apostrophes).
std::vector<std::string> Shuffled(std::vector<std::string> words) {
    std::mt19937 random(20240612);
    std::shuffle(words.begin(), words.end(), random);
    return words;
}

// The folders the import works in, under DIR.
void UseFolders(const fs::path& dir) {
    const std::wstring drive = bench::UseAsDriveC(dir / "drive_c");
    g_sourceFolder = drive + L"\\src";
    g_destinationFolder = drive + L"\\dst";
    g_providerFolder = drive + L"\\prov";
}

fs::path SourceFile(const fs::path& dir) {
    return dir / "drive_c/src/1033/en/user.clam";
}
fs::path DestinationFile(const fs::path& dir) {
    return dir / "drive_c/dst/1033/en/user.clam";
}

// Adds the words to a new source dictionary, then lists it as the import will read it.
// The words of a dictionary in the order ClamNextWord lists them.
std::vector<std::string> ListWords(ClamHandle* handle) {
    std::vector<std::string> order;
    char word[256];
    handle->wordsRead = 0;
    while (ClamNextWord(word, sizeof word, handle) == 1) order.emplace_back(word);
    return order;
}

// Adds words to a new source dictionary until it lists `count` (words of one key replace
// each other), then lists it as the import will read it.
bool MakeSource(const std::vector<std::string>& words, std::size_t count,
                std::vector<std::string>& order) {
    ClamPhonEnv* env = bench::LoadPhonEnv(g_providerFolder + L"\\enphon.env");
    ClamBlockCache* cache = ClamNewBlockCache(5, 10);
    int status = 0;
    const std::wstring path = g_sourceFolder + L"\\1033\\en\\user.clam";
    ClamHandle* handle =
        env && cache ? ClamOpenFile(path, kClamCreate, cache, env, &status) : nullptr;
    std::size_t next = 0;
    for (std::size_t listed = 0; handle != nullptr && listed < count && next < words.size();) {
        for (std::size_t added = listed; added < count && next < words.size(); ++next) {
            if (ClamAddWord(words[next].c_str(), handle) != 0) ++added;
        }
        listed = ListWords(handle).size();
    }
    bool made = ClamClose(handle) == 1;
    handle = made ? ClamOpenFile(path, kClamReadOnly, cache, env, &status) : nullptr;
    if (handle != nullptr) {
        order = ListWords(handle);
        made = ClamClose(handle) == 1;
    }
    ClamFreeBlockCache(cache);
    ClamFreePhonEnv(env);
    return made && !order.empty();
}

void ImportOnce() {
    ImportClamDictionary(L"user.clam", L"en", L"1033");
}

int Prepare(const fs::path& dir, const fs::path& wordFile, std::size_t count, const fs::path& env) {
    fs::remove_all(dir);
    fs::create_directories(dir / "drive_c/src/1033/en");
    fs::create_directories(dir / "drive_c/prov");
    fs::copy_file(env, dir / "drive_c/prov/enphon.env");
    UseFolders(dir);
    std::vector<std::string> order;
    if (!MakeSource(Shuffled(ReadLines(wordFile)), count, order)) {
        std::fprintf(stderr, "the source dictionary could not be made\n");
        return 1;
    }
    std::ofstream words(dir / "words.txt");
    for (const std::string& word : order) words << word << '\n';
    words.close();
    g_logFile = platform::CurrentPlatform().OpenOutputStream(L"C:\\prepare.log",
                                                             platform::StreamMode::kText);
    ImportOnce();
    CloseLogFile();
    fs::copy_file(DestinationFile(dir), dir / "full.clam", fs::copy_options::overwrite_existing);
    if (!bench::MakeSqliteFull(dir / "words.txt", dir / "full.db")) return 1;
    std::printf("%zu words in enumeration order, source %.1f MB\n", order.size(),
                static_cast<double>(fs::file_size(SourceFile(dir))) / 1e6);
    return 0;
}

// The process's peak resident memory (VmHWM), or 0 where the system does not report it.
long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

int RunOurs(const fs::path& dir, bool full) {
    UseFolders(dir);
    fs::remove(DestinationFile(dir));
    if (full) fs::copy_file(dir / "full.clam", DestinationFile(dir));
    std::ifstream list(dir / "words.txt");
    const auto words = static_cast<std::size_t>(
        std::count(std::istreambuf_iterator<char>(list), std::istreambuf_iterator<char>(), '\n'));
    list.close();
    g_logFile =
        platform::CurrentPlatform().OpenOutputStream(L"C:\\run.log", platform::StreamMode::kText);
    bench::CountingPlatform counting(platform::CurrentPlatform());
    platform::SetPlatform(&counting);
    const double seconds = bench::Seconds(ImportOnce);
    platform::SetPlatform(nullptr);
    CloseLogFile();
    std::printf("seconds %.6f words %zu reads %llu writes %llu peak_kb %ld\n", seconds, words,
                static_cast<unsigned long long>(counting.BlockReads()),
                static_cast<unsigned long long>(counting.BlockWrites()), PeakKilobytes());
    return 0;
}

int RunSqlite(const fs::path& dir, bool full) {
    const std::vector<std::string> words = ReadLines(dir / "words.txt");
    const fs::path db = dir / "run.db";
    fs::remove(db);
    if (full) fs::copy_file(dir / "full.db", db);
    double seconds = 0;
    if (!bench::SqliteLookupInsert(words, db, seconds)) return 1;
    std::printf("seconds %.6f words %zu reads 0 writes 0 peak_kb %ld\n", seconds, words.size(),
                PeakKilobytes());
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: clam_compare prepare DIR WORDFILE COUNT [ENV]\n"
                 "       clam_compare ours|sqlite new|full DIR\n");
    return 2;
}

int CompareMain(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string step = argv[1];
    if (step == "prepare" && argc >= 5) {
        const fs::path env = fs::absolute(argc > 5 ? argv[5] : WORDHAUL_ENV_DIR "/lang01.env");
        return Prepare(fs::absolute(argv[2]), argv[3], std::strtoull(argv[4], nullptr, 10), env);
    }
    if (argc < 4) return Usage();
    const bool full = std::string(argv[2]) == "full";
    if (step == "ours") return RunOurs(fs::absolute(argv[3]), full);
    if (step == "sqlite") return RunSqlite(fs::absolute(argv[3]), full);
    return Usage();
}

}  // namespace

WORDHAUL_BENCHMARK(clam_compare, "one run of the clam import or its SQLite yardstick") {
    // Run among all benchmarks it has no arguments: it only says how to call it.
    if (argc < 3) {
        Usage();
        return;
    }
    const int status = CompareMain(argc, argv);
    if (status != 0) std::exit(status);
}
