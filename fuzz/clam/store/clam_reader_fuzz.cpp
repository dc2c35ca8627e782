// The clam store on an arbitrary file: open, list, find, verify, then add and close as the
// import does. The environment is ours, of the language the file's header names (data/env).
// Input: the file; the bytes after its last whole block (which the store never reads) are
// the words to find and add, separated by blanks or NULs.
//
// A well-formed file (one the verifier passes) must list without failing, take every word
// it accepts so that it is found right after, and stay well-formed.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "clam/coding/word_ops.h"
#include "clam/store/clam_owners.h"
#include "clam/store/clam_verify.h"
#include "fuzz_env.h"
#include "memory_platform.h"

namespace {

constexpr std::size_t kMaxWords = 8;
constexpr std::size_t kMaxListedFinds = 4;
constexpr std::size_t kListCapacity = 256;
const wchar_t* const kPath = L"fuzz.clam";

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

const std::vector<ClamPhonEnvPtr>& Envs() {
    static const std::vector<ClamPhonEnvPtr> envs = [] {
        std::vector<ClamPhonEnvPtr> loaded;
        for (const auto& bytes : fuzz_support::DefinedEnvBytes()) {
            loaded.push_back(fuzz_support::LoadEnvBytes(bytes));
            Require(loaded.back() != nullptr);
        }
        return loaded;
    }();
    return envs;
}

// The environment of the language in the header (version 6, else version 5), else the first.
ClamPhonEnv* EnvFor(std::span<const std::uint8_t> file) {
    for (const std::size_t at : {1, 0}) {
        for (const auto& env : Envs()) {
            if (file.size() > at && file[at] == env->language) return env.get();
        }
    }
    return Envs().front().get();
}

std::vector<std::string> TailWords(std::span<const std::uint8_t> file) {
    const auto tail = file.subspan(file.size() / kClamBlockSize * kClamBlockSize);
    std::vector<std::string> words(1);
    for (const std::uint8_t byte : tail) {
        if (byte == 0 || byte == ' ' || byte == '\n') {
            if (!words.back().empty()) words.emplace_back();
        } else {
            words.back().push_back(static_cast<char>(byte));
        }
    }
    if (words.back().empty()) words.pop_back();
    if (words.size() > kMaxWords) words.resize(kMaxWords);
    return words;
}

bool Find(const std::string& word, ClamHandle* handle) {
    std::uint32_t value = 0;
    std::uint32_t flags = 0;
    return ClamFindWord(word.c_str(), handle, &value, &flags) == 1;
}

ClamHandlePtr Open(std::uint32_t mode, ClamBlockCache* cache, ClamPhonEnv* env) {
    int status = 0;
    ClamHandlePtr handle(ClamOpenFile(kPath, mode, cache, env, &status));
    Require((handle != nullptr) == (status == 0));
    return handle;
}

void ListAndFind(const std::vector<std::string>& words, bool wellFormed, ClamBlockCache* cache,
                 ClamPhonEnv* env) {
    ClamHandlePtr handle = Open(kClamReadOnly, cache, env);
    if (handle == nullptr) return;
    std::vector<std::string> listed;
    std::array<char, kListCapacity> word{};
    while (ClamNextWord(word.data(), word.size(), handle.get()) == 1) {
        if (listed.size() < kMaxListedFinds) listed.emplace_back(word.data());
    }
    Require(!wellFormed || (handle->flags & kClamFailed) == 0);
    for (const std::string& w : listed) Find(w, handle.get());
    for (const std::string& w : words) Find(w, handle.get());
    static_cast<void>(CloseClamHandle(handle));
}

// A lookup never finds a pair or a marked word.
bool Findable(const std::string& word) {
    return word.find_first_of("\x04\x05\x06\x08") == std::string::npos;
}

// Adds the words the import would (those not found), each found right after its addition.
bool AddWords(const std::vector<std::string>& words, bool wellFormed, ClamBlockCache* cache,
              ClamPhonEnv* env) {
    ClamHandlePtr handle = Open(0, cache, env);
    if (handle == nullptr) return false;
    for (const std::string& w : words) {
        if (Find(w, handle.get())) continue;
        const bool added = ClamAddWord(w.c_str(), handle.get()) != 0;
        if (added && wellFormed && Findable(w)) Require(Find(w, handle.get()));
    }
    return CloseClamHandle(handle) == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    ClamPhonEnv* env = EnvFor(file);
    fuzz_support::MemoryPlatform memory;
    memory.files[kPath] = std::string(file.begin(), file.end());
    const fuzz_support::ScopedPlatform installed(memory);
    const ClamBlockCachePtr cache(ClamNewBlockCache(kClamInitialBuffers, kClamCacheSlots));
    Require(cache != nullptr);

    const bool wellFormed = ClamVerifyImage(file, *env).problems.empty();
    std::vector<std::string> words = TailWords(file);
    words.push_back("fuzz");
    ListAndFind(words, wellFormed, cache.get(), env);
    const bool written = AddWords(words, wellFormed, cache.get(), env);
    if (wellFormed && written) {
        const std::string& after = memory.files[kPath];
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(after.data());
        Require(ClamVerifyImage({bytes, after.size()}, *env).problems.empty());
    }
    return 0;
}
