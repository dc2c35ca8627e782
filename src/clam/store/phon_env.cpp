#include "clam/store/phon_env.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <span>

#include "clam/coding/phonetic_symbols.h"
#include "clam/coding/rule_automaton.h"
#include "clam/store/clam_status.h"
#include "platform/platform.h"

namespace {

constexpr int kMinLanguage = 1;
constexpr int kMaxLanguage = 39;
constexpr std::size_t kNumberCount = 16;
constexpr std::size_t kFirstSectionNumber = 7;

// Reads exactly count bytes; short reads are retried, as a descriptor may deliver in parts.
bool ReadWhole(int fd, std::uint8_t* buffer, std::size_t count) {
    auto& os = platform::CurrentPlatform();
    std::size_t done = 0;
    while (done < count) {
        const int got = os.Read(fd, buffer + done, static_cast<unsigned int>(count - done));
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// A zero-filled buffer of at least one byte.
std::uint8_t* NewBytes(std::size_t size) {
    return new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]();
}

struct Header {
    int version = 0;
    int language = 0;
    std::array<std::uint32_t, kNumberCount> n{};

    std::uint32_t SectionSize(int section) const { return n[kFirstSectionNumber + section - 1]; }
};

// Checks on the numbers alone; each refuses a file that would make the loader or the coding
// read outside what was loaded.
bool NumbersAreSound(const Header& h) {
    const std::uint32_t symbolCount = h.n[1];
    const std::uint32_t trieSize = h.n[5];
    // The coding reads the first (at most 256) entries of the symbol table.
    if (h.SectionSize(2) < 2 * std::min(symbolCount, kClamMaxSymbols)) return false;
    // Sections 4 and 5 are read into matrices of 512 bytes.
    if (h.SectionSize(4) > kClamPhonEnvMatrixSize || h.SectionSize(5) > kClamPhonEnvMatrixSize)
        return false;
    // The automaton walk reads the cells below trieSize of sections 6 to 8.
    for (int section = 6; section <= 8; ++section) {
        if (h.SectionSize(section) < trieSize) return false;
    }
    return true;
}

int ReadHeader(int fd, Header& h) {
    std::array<std::uint8_t, 4> start{};
    if (platform::CurrentPlatform().Seek(fd, 0, platform::kSeekSet) != 0) {
        return kClamStatusIoError;
    }
    if (!ReadWhole(fd, start.data(), start.size())) return kClamStatusIoError;
    if (start[2] != 'P' || start[3] != 'H') return kClamStatusNotPhonEnv;
    h.version = start[0];
    h.language = start[1];
    if (h.version != 1 && h.version != 2) return kClamStatusBadVersion;
    if (h.language < kMinLanguage || h.language > kMaxLanguage) return kClamStatusBadLanguage;
    std::array<std::uint8_t, 2 * kNumberCount> numbers{};
    if (!ReadWhole(fd, numbers.data(), numbers.size())) return kClamStatusIoError;
    for (std::size_t i = 0; i < kNumberCount; ++i) {
        h.n[i] = static_cast<std::uint32_t>(numbers[2 * i] | (numbers[2 * i + 1] << 8));
    }
    return kClamStatusOk;
}

// Reads a section into a fresh buffer of its size; null when short or out of memory.
std::uint8_t* ReadSection(int fd, std::uint32_t size) {
    std::uint8_t* bytes = NewBytes(size);
    if (bytes != nullptr && !ReadWhole(fd, bytes, size)) {
        delete[] bytes;
        return nullptr;
    }
    return bytes;
}

// Points the class table at the strings of section 1; false when fewer than classCount
// strings end inside the section (an empty section counts as one empty string), as the
// class search would read the missing ones past its end.
bool SetClassStrings(ClamPhonEnv& env, std::uint8_t* section, std::uint32_t size) {
    const std::span<std::uint8_t> bytes(section, size == 0 ? 1 : size);
    std::size_t start = 0;
    for (std::uint32_t i = 0; i < env.classCount; ++i) {
        if (start >= bytes.size()) return false;
        const void* nul = std::memchr(bytes.data() + start, 0, bytes.size() - start);
        if (nul == nullptr) return false;
        env.classTable[i] = reinterpret_cast<char*>(bytes.data() + start);
        start = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes.data()) + 1;
    }
    return true;
}

void SetNumbers(ClamPhonEnv& env, const Header& h) {
    env.languageCode = static_cast<std::uint8_t>(h.language);
    env.language = h.language;
    env.directValueCount = h.version == 1 ? kClamDirectValuesVersion1 : kClamDirectValuesVersion2;
    env.classCount = h.n[0];
    env.symbolCount = h.n[1];
    env.classBase = h.n[2];
    env.classesPerRow = static_cast<std::int32_t>(h.n[3]);
    env.defaultSymbol = h.n[4];
    env.trieSize = static_cast<std::int32_t>(h.n[5]);
    env.rightContextOffset = static_cast<std::int32_t>(h.n[6]);
}

bool ClassesAscend(const ClamPhonEnv& env) {
    for (std::uint32_t i = 1; i < env.classCount; ++i) {
        if (std::strcmp(env.classTable[i - 1], env.classTable[i]) >= 0) return false;
    }
    return true;
}

// Reads sections 1 to 9 into env; returns a status.
int ReadSections(int fd, ClamPhonEnv& env, const Header& h) {
    // At least one entry: entry 0 owns section 1 even when no class is declared.
    env.classTable = new (std::nothrow) char*[std::max(env.classCount, 1u)]();
    if (env.classTable == nullptr) return kClamStatusNoMemory;
    std::uint8_t* classBytes = ReadSection(fd, h.SectionSize(1));
    if (classBytes == nullptr) return kClamStatusIoError;
    env.classTable[0] = reinterpret_cast<char*>(classBytes);
    if (!SetClassStrings(env, classBytes, h.SectionSize(1))) return kClamStatusIoError;
    env.classesAscend = ClassesAscend(env);

    env.symbolTable = ReadSection(fd, h.SectionSize(2));
    if (env.symbolTable == nullptr) return kClamStatusIoError;
    if (!ClamBuildSymbolIndex(env)) return kClamStatusNoMemory;
    std::uint8_t* skipped = ReadSection(fd, h.SectionSize(3));
    if (skipped == nullptr) return kClamStatusIoError;
    delete[] skipped;

    env.matrix1 = NewBytes(kClamPhonEnvMatrixSize);
    env.matrix2 = NewBytes(kClamPhonEnvMatrixSize);
    if (env.matrix1 == nullptr || env.matrix2 == nullptr) return kClamStatusNoMemory;
    if (!ReadWhole(fd, env.matrix1, h.SectionSize(4))) return kClamStatusIoError;
    if (!ReadWhole(fd, env.matrix2, h.SectionSize(5))) return kClamStatusIoError;

    std::array<std::uint8_t**, 4> automaton = {&env.trieBase, &env.trieCheck, &env.trieValue,
                                               &env.ruleOutput};
    for (int i = 0; i < 4; ++i) {
        *automaton[i] = ReadSection(fd, h.SectionSize(6 + i));
        if (*automaton[i] == nullptr) return kClamStatusIoError;
    }
    // The coding bounds every output read by this size, so no output offset is refused.
    env.ruleOutputSize = h.SectionSize(9);
    if (!ClamBuildRuleStarts(env)) return kClamStatusNoMemory;
    return kClamStatusOk;
}

}  // namespace

ClamPhonEnv* ClamLoadPhonEnv(int fd, int /*unused*/, int* status) {
    int ignored = 0;
    if (status == nullptr) status = &ignored;
    Header header;
    if (const int s = ReadHeader(fd, header); s != kClamStatusOk) {
        *status = s;
        return nullptr;
    }
    if (!NumbersAreSound(header)) {
        *status = kClamStatusIoError;
        return nullptr;
    }
    auto* env = new (std::nothrow) ClamPhonEnv{};
    if (env == nullptr) {
        *status = kClamStatusNoMemory;
        return nullptr;
    }
    SetNumbers(*env, header);
    if (const int s = ReadSections(fd, *env, header); s != kClamStatusOk) {
        ClamFreePhonEnv(env);
        *status = s;
        return nullptr;
    }
    *status = kClamStatusOk;
    return env;
}

void ClamFreePhonEnv(ClamPhonEnv* env) {
    if (env == nullptr) return;
    if (env->classTable != nullptr) delete[] reinterpret_cast<std::uint8_t*>(env->classTable[0]);
    delete[] env->classTable;
    delete[] env->symbolTable;
    delete[] env->symbolIndex;
    delete[] env->matrix1;
    delete[] env->matrix2;
    delete[] env->trieBase;
    delete[] env->trieCheck;
    delete[] env->trieValue;
    delete[] env->ruleStarts;
    delete[] env->ruleOutput;
    delete env;
}
