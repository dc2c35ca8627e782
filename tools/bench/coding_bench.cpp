// Word coding speed: encode, transcribe and build the stored key of a million words of
// mixed languages, under our own phonetic environments.
//
//   wordhaul_bench coding [WORDS]   (default: 1000000)
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench.h"
#include "clam/coding/char_tables.h"
#include "clam/coding/phonetic_keys.h"
#include "clam/coding/word_class.h"
#include "clam/store/phon_env.h"
#include "platform/platform.h"

namespace {

struct Language {
    int id;
    ClamPhonEnv* env;
    std::string letters;  // lower-case letters of its alphabet
};

ClamPhonEnv* LoadEnv(int language) {
    const std::string path = std::string(WORDHAUL_ENV_DIR) + "/lang" + (language < 10 ? "0" : "") +
                             std::to_string(language) + ".env";
    std::wstring wide;
    platform::Utf8ToWideChars(path, wide);
    ClamPhonEnv* env = bench::LoadPhonEnv(wide);
    if (env == nullptr) std::fprintf(stderr, "cannot load %s\n", path.c_str());
    return env;
}

std::string LowerCaseLetters(int language) {
    const std::uint8_t* types = ClamLetterTypeTable(language);
    const std::uint8_t* alphabet = ClamAlphabetTable(language);
    std::string letters;
    for (int b = 1; b < 256; ++b) {
        if ((types[b] & kClamLowerCaseLetter) && (alphabet[b] & kClamValidWordChar)) {
            letters.push_back(static_cast<char>(b));
        }
    }
    return letters;
}

// Words of 3 to 14 letters; every eighth capitalised through the language's upper-case map.
std::vector<std::string> MakeWords(const Language& language, std::size_t count,
                                   std::mt19937& random) {
    const std::uint8_t* upper = ClamUpperTable(language.id);
    std::uniform_int_distribution<int> length(3, 14);
    std::uniform_int_distribution<std::size_t> pick(0, language.letters.size() - 1);
    std::vector<std::string> words(count);
    for (std::size_t i = 0; i < count; ++i) {
        for (int n = length(random); n > 0; --n) words[i].push_back(language.letters[pick(random)]);
        if (i % 8 == 0) words[i][0] = static_cast<char>(upper[std::uint8_t(words[i][0])]);
    }
    return words;
}

}  // namespace

WORDHAUL_BENCHMARK(coding, "encode, transcribe and key a million words of seven languages") {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    std::vector<Language> languages;
    for (int id : {1, 2, 10, 14, 18, 22, 39}) {
        ClamPhonEnv* env = LoadEnv(id);
        if (env == nullptr) return;
        languages.push_back({id, env, LowerCaseLetters(id)});
    }
    std::mt19937 random(20240611);
    std::vector<std::vector<std::string>> words;
    for (const Language& l : languages) {
        words.push_back(MakeWords(l, count / languages.size() + 1, random));
    }

    // Each stage runs over all words on its own, so that the clock is read only per stage.
    std::vector<std::string> encoded(count);
    std::vector<const Language*> owner(count);
    std::array<char, kClamEncodedCapacity> buffer{};
    double start = bench::Now();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t which = i % languages.size();
        owner[i] = &languages[which];
        const std::string& word = words[which][i / languages.size()];
        if (ClamEncodeWord(word.c_str(), buffer.data(), buffer.size(), owner[i]->id) != 0) {
            encoded[i] = buffer.data();
        }
    }
    const double encodeTime = bench::Now() - start;

    std::array<char, kClamTranscriptionCapacity> transcription{};
    std::size_t transcribed = 0;
    start = bench::Now();
    for (std::size_t i = 0; i < count; ++i) {
        transcribed += ClamTranscribe(encoded[i].c_str(), transcription.data(),
                                      transcription.size(), owner[i]->env);
    }
    const double transcribeTime = bench::Now() - start;

    std::array<char, kClamStoredKeyCapacity> key{};
    std::size_t keyBytes = 0;
    start = bench::Now();
    for (std::size_t i = 0; i < count; ++i) {
        if (ClamBuildStoredKeyWithEnv(encoded[i].c_str(), key.data(), owner[i]->env)) {
            keyBytes += std::char_traits<char>::length(key.data());
        }
    }
    const double keyTime = bench::Now() - start;

    std::printf("%zu words, %zu transcribed whole, %zu stored key bytes\n", count, transcribed,
                keyBytes);
    std::printf("  %-36s %8.3f s\n", "encode", encodeTime);
    std::printf("  %-36s %8.3f s\n", "transcribe", transcribeTime);
    std::printf("  %-36s %8.3f s\n", "stored key (transcribes again)", keyTime);
    std::printf("  %-36s %8.3f s\n", "encode and stored key", encodeTime + keyTime);
    for (Language& l : languages) ClamFreePhonEnv(l.env);
}
