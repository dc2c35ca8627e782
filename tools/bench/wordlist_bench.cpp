// Merging a large word list, timed inside the process, with one `LC_ALL=C sort -u` of the
// same file beside it. The comparison of whole runs on real words, in turn and with
// medians, is scripts/bench-wordlist.sh.
//
//   wordhaul_bench wordlist [WORDS]   (default: 1000000 words, about 10 MB)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/folder_locations.h"
#include "app/reporting.h"
#include "bench.h"
#include "import/wordlist_import.h"

namespace {
namespace fs = std::filesystem;

// Random lower-case words of 3 to 14 letters, one per line, with some repeats.
std::string MakeWords(std::size_t count) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(3, 14);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string text;
    text.reserve(count * 10);
    for (std::size_t i = 0; i < count; ++i) {
        const int n = length(random);
        for (int k = 0; k < n; ++k) text.push_back(static_cast<char>(letter(random)));
        text.push_back('\n');
    }
    return text;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

WORDHAUL_BENCHMARK(wordlist, "word-list merge of a million words vs LC_ALL=C sort -u") {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const fs::path root = fs::temp_directory_path() / "wordhaul-bench-wordlist";
    fs::remove_all(root);
    const fs::path source = root / "drive_c/src/1033/en/user.dic";
    const std::string words = MakeWords(count);
    WriteFile(source, words);
    const std::wstring drive = bench::UseAsDriveC(root / "drive_c");
    g_sourceFolder = drive + L"\\src";
    g_destinationFolder = drive + L"\\dst";
    g_logFile = platform::CurrentPlatform().OpenOutputStream(drive + L"\\bench.log",
                                                             platform::StreamMode::kText);

    const double intoEmpty =
        bench::Seconds([] { ImportWordListDictionary(L"user.dic", L"en", L"1033"); });
    const double intoFull =
        bench::Seconds([] { ImportWordListDictionary(L"user.dic", L"en", L"1033"); });
    CloseLogFile();

    const double readOnly = bench::Seconds([&source] {
        WordSet set;
        ReadWordList(source.wstring(), set);
    });
    const std::string sortCommand =
        "LC_ALL=C sort -u '" + source.string() + "' > '" + (root / "sorted.txt").string() + "'";
    const double sortTime =
        bench::Seconds([&sortCommand] { (void)std::system(sortCommand.c_str()); });

    std::printf("%zu words, %.1f MB\n", count, static_cast<double>(words.size()) / 1e6);
    std::printf("  %-44s %8.3f s\n", "import into a missing destination (all new)", intoEmpty);
    std::printf("  %-44s %8.3f s\n", "import again (all present)", intoFull);
    std::printf("  %-44s %8.3f s\n", "read and sort the source alone", readOnly);
    std::printf("  %-44s %8.3f s\n", "LC_ALL=C sort -u", sortTime);
    fs::remove_all(root);
}
