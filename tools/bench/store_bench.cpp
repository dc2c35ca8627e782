// A million distinct words looked up and added one by one into a new dictionary, as the
// import adds the words it does not find; block reads and writes counted at the platform.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench.h"
#include "clam/coding/word_ops.h"
#include "clam/store/block_cache.h"
#include "clam/store/clam_status.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"
#include "counting_platform.h"
#include "platform/platform.h"

namespace {

std::vector<std::string> DistinctWords(std::size_t count) {
    std::mt19937 rng(1);
    std::unordered_set<std::string> seen;
    std::vector<std::string> words;
    words.reserve(count);
    while (words.size() < count) {
        std::string word(4 + rng() % 9, ' ');
        for (char& c : word) c = static_cast<char>('a' + rng() % 26);
        if (seen.insert(word).second) words.push_back(std::move(word));
    }
    return words;
}

}  // namespace

WORDHAUL_BENCHMARK(store, "a million distinct words found, then added, into a new dictionary") {
    const std::string envPath = argc > 1 ? argv[1] : WORDHAUL_ENV_DIR "/lang01.env";
    const std::size_t count = argc > 2 ? std::stoul(argv[2]) : 1000000;
    ClamPhonEnv* env = bench::LoadPhonEnv(std::filesystem::absolute(envPath).wstring());
    if (env == nullptr) {
        std::printf("store: cannot load the environment %s\n", envPath.c_str());
        return;
    }
    const std::vector<std::string> words = DistinctWords(count);
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "wordhaul-store-bench.clam";
    bench::CountingPlatform counting;
    platform::Platform* previous = platform::SetPlatform(&counting);
    ClamBlockCache* cache = ClamNewBlockCache(5, 10);
    int status = 0;
    ClamHandle* handle = ClamOpenFile(file.wstring(), kClamCreate, cache, env, &status);
    long found = 0;
    long added = 0;
    const double start = bench::Now();
    for (const std::string& word : words) {
        std::uint32_t value = 0;
        std::uint32_t flags = 0;
        if (ClamFindWord(word.c_str(), handle, &value, &flags) == 1) {
            ++found;
        } else if (ClamAddWord(word.c_str(), handle) != 0) {
            ++added;
        }
    }
    const std::uint32_t blocks = handle != nullptr ? handle->blockCount : 0;
    const int closed = ClamClose(handle);
    const double seconds = bench::Now() - start;
    platform::SetPlatform(previous);
    std::printf(
        "store: %zu words in %.3f s (%.2f us/word): %ld added, %ld found; %u blocks;\n"
        "       %llu block reads, %llu block writes; close %s\n",
        words.size(), seconds, seconds * 1e6 / static_cast<double>(words.size()), added, found,
        blocks, static_cast<unsigned long long>(counting.BlockReads()),
        static_cast<unsigned long long>(counting.BlockWrites()), closed == 1 ? "ok" : "FAILED");
    ClamFreeBlockCache(cache);
    ClamFreePhonEnv(env);
    std::filesystem::remove(file);
}
