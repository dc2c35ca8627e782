// Importing a clam dictionary of many words into a new destination, then again into the
// destination that now holds them all.
//
//   wordhaul_bench clam_import [WORDS [ENV]]
//     WORDS: words of the source (default 100000)
//     ENV:   a compiled phonetic environment of language 1 (default: the build's own
//            env/lang01.env, compiled from data/env/lang01.def)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "app/folder_locations.h"
#include "app/reporting.h"
#include "bench.h"
#include "clam/coding/word_ops.h"
#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"
#include "import/clam_import.h"
#include "platform/platform.h"

namespace {
namespace fs = std::filesystem;

// Distinct words of 4 to 14 letters, one in eight capitalised.
std::set<std::string> MakeWords(std::size_t count) {
    std::mt19937 random(20240612);
    std::uniform_int_distribution<int> length(4, 14);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::set<std::string> words;
    while (words.size() < count) {
        std::string word(static_cast<std::size_t>(length(random)), ' ');
        for (char& c : word) c = static_cast<char>(letter(random));
        if (random() % 8 == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        words.insert(word);
    }
    return words;
}

bool MakeSource(const std::wstring& path, const std::wstring& envPath,
                const std::set<std::string>& words) {
    ClamPhonEnv* env = bench::LoadPhonEnv(envPath);
    ClamBlockCache* cache = ClamNewBlockCache(5, 10);
    int status = 0;
    ClamHandle* handle =
        env && cache ? ClamOpenFile(path, kClamCreate, cache, env, &status) : nullptr;
    bool made = handle != nullptr;
    for (const std::string& word : words) {
        if (!made) break;
        made = ClamAddWord(word.c_str(), handle) != 0;
    }
    made = ClamClose(handle) == 1 && made;
    ClamFreeBlockCache(cache);
    ClamFreePhonEnv(env);
    return made;
}

std::uintmax_t FileSize(const fs::path& path) {
    std::error_code ignored;
    return fs::file_size(path, ignored);
}

}  // namespace

WORDHAUL_BENCHMARK(clam_import, "clam import of 100,000 words: new destination, then all present") {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    const fs::path envFile = fs::absolute(argc > 2 ? argv[2] : WORDHAUL_ENV_DIR "/lang01.env");
    if (!fs::exists(envFile)) {
        std::fprintf(stderr, "no environment at %s (build the target wordhaul_envs)\n",
                     envFile.string().c_str());
        return;
    }
    const fs::path root = fs::temp_directory_path() / "wordhaul-bench-clam";
    fs::remove_all(root);
    fs::create_directories(root / "drive_c/src/1033/en");
    fs::create_directories(root / "drive_c/prov");
    fs::copy_file(envFile, root / "drive_c/prov/enphon.env");
    const std::wstring drive = bench::UseAsDriveC(root / "drive_c");
    g_sourceFolder = drive + L"\\src";
    g_destinationFolder = drive + L"\\dst";
    g_providerFolder = drive + L"\\prov";

    const std::set<std::string> words = MakeWords(count);
    bool made = false;
    const double making = bench::Seconds([&] {
        made = MakeSource(g_sourceFolder + L"\\1033\\en\\user.clam",
                          g_providerFolder + L"\\enphon.env", words);
    });
    if (!made) {
        std::fprintf(stderr, "the source dictionary could not be made\n");
        return;
    }

    g_logFile = platform::CurrentPlatform().OpenOutputStream(drive + L"\\bench.log",
                                                             platform::StreamMode::kText);
    const double intoNew =
        bench::Seconds([] { ImportClamDictionary(L"user.clam", L"en", L"1033"); });
    const double intoFull =
        bench::Seconds([] { ImportClamDictionary(L"user.clam", L"en", L"1033"); });
    CloseLogFile();

    std::printf("%zu words, source %.1f MB, destination %.1f MB, log %.1f MB\n", count,
                static_cast<double>(FileSize(root / "drive_c/src/1033/en/user.clam")) / 1e6,
                static_cast<double>(FileSize(root / "drive_c/dst/1033/en/user.clam")) / 1e6,
                static_cast<double>(FileSize(root / "drive_c/bench.log")) / 1e6);
    std::printf("  %-44s %8.3f s\n", "make the source (adding word by word)", making);
    std::printf("  %-44s %8.3f s\n", "import into a missing destination (all new)", intoNew);
    std::printf("  %-44s %8.3f s\n", "import again (all present)", intoFull);
    fs::remove_all(root);
}
