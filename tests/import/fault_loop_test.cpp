// The whole walk and import, run again and again with one platform call failing: once, from
// then on, or a kill at a call that changes a file. Whatever happens, the sources stay as they
// were, every destination is either as it was or complete, a run without an ERROR has done
// the whole job, and a fault-free run afterwards completes it and leaves no temporary file.
//
// WORDHAUL_FAULT_LOOP=full tries every call, WORDHAUL_FAULT_LOOP=<n> about n calls of each
// kind; by default a sample, smaller in the slow builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/folder_locations.h"
#include "app/folder_path.h"
#include "app/folder_walk.h"
#include "app/reporting.h"
#include "clam/coding/word_ops.h"
#include "clam/store/clam_owners.h"
#include "clam/store/clam_verify.h"
#include "support/env_files.h"
#include "support/fault_platform.h"
#include "support/memory_stream.h"
#include "support/temp_prefix.h"

namespace {
namespace fs = std::filesystem;
using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::TempPrefix;
using Files = std::map<std::string, std::string>;

constexpr const char* kTemporarySuffix = ".wordhaul-new";
const std::string kSourceCut = "ERROR: Unable to read all words of source dictionary\n";
const std::string kRefused = "ERROR: Unable to import word:\n";

// Wine and the sanitizers are many times slower.
#if defined(_WIN32)
constexpr int kSampledRunsPerKind = 6;
#elif defined(__SANITIZE_ADDRESS__)
constexpr int kSampledRunsPerKind = 12;
#else
constexpr int kSampledRunsPerKind = 60;
#endif

// Plain words of lower-case letters, the same on every run.
std::vector<std::string> MakeWords(std::size_t count, unsigned seed, unsigned shortest = 5) {
    std::vector<std::string> words;
    unsigned state = seed;
    for (std::size_t i = 0; i < count; ++i) {
        std::string word;
        state = state * 1103515245u + 12345u;
        const unsigned length = shortest + (state >> 16) % 14;
        for (unsigned c = 0; c < length; ++c) {
            state = state * 1103515245u + 12345u;
            word.push_back(static_cast<char>('a' + (state >> 16) % 26));
        }
        words.push_back(word);
    }
    return words;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += word + "\n";
    return text;
}

// A clam dictionary made through the store; its bytes.
std::string MakeClam(const fs::path& file, int language, const std::vector<std::string>& words) {
    fs::create_directories(file.parent_path());
    testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
    const ClamBlockCachePtr cache(ClamNewBlockCache(5, 10));
    int status = 0;
    ClamHandlePtr handle(
        ClamOpenFile(file.wstring(), kClamCreate, cache.get(), env.get(), &status));
    EXPECT_NE(handle, nullptr);
    for (const std::string& word : words) EXPECT_NE(ClamAddWord(word.c_str(), handle.get()), 0);
    EXPECT_EQ(CloseClamHandle(handle), 1);
    return TempPrefix::ReadFile(file);
}

Files FilesUnder(const fs::path& folder) {
    Files files;
    if (!fs::exists(folder)) return files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file()) {
            files[fs::relative(item.path(), folder).generic_string()] =
                TempPrefix::ReadFile(item.path());
        }
    }
    return files;
}

void LayOut(const fs::path& folder, const Files& files) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, bytes] : files) TempPrefix::WriteFile(folder / name, bytes);
}

// Words of a clam dictionary as the store lists them.
std::set<std::string> ListClam(const fs::path& file, int language) {
    testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
    const ClamBlockCachePtr cache(ClamNewBlockCache(5, 10));
    int status = 0;
    ClamHandlePtr handle(
        ClamOpenFile(file.wstring(), kClamReadOnly, cache.get(), env.get(), &status));
    std::set<std::string> words;
    char word[256];
    while (handle && ClamNextWord(word, sizeof word, handle.get()) == 1) words.insert(word);
    return words;
}

bool Verifies(const std::string& bytes, int language) {
    testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
    const auto report =
        ClamVerifyImage({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, *env);
    return report.problems.empty();
}

struct RunResult {
    std::string console;
    int calls = 0;    // of the kind asked for
    int changes = 0;  // calls that change a file
};

class FaultLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        g_sourceFolder = L"C:\\src";
        g_destinationFolder = L"C:\\dst";
        g_providerFolder = L"C:\\prov";
        MakeProfile();
        sources_ = FilesUnder(Src());
        before_ = FilesUnder(Dst());
        ASSERT_EQ(Run(nullptr).console, "") << "the profile imports without an error";
        complete_ = FilesUnder(Dst());
        for (const auto& [name, language] : languages_) {
            completeWords_[name] = ListClam(Dst() / name, language);
        }
        LayOut(Dst(), before_);
        for (const auto& [name, language] : languages_) {
            beforeWords_[name] = ListClam(Dst() / name, language);
        }
        testing_support::PhonEnvPtr env = testing_support::LoadLanguage(1);
        const std::string& big = complete_.at("1033/en/big.clam");
        ASSERT_GE(
            ClamVerifyImage({reinterpret_cast<const std::uint8_t*>(big.data()), big.size()}, *env)
                .depth,
            3u);
    }

    fs::path Src() const { return prefix_.DriveC() / "src"; }
    fs::path Dst() const { return prefix_.DriveC() / "dst"; }

    // Two languages; destinations existing, holding every word already, missing (one with a
    // copy a killed run left), of version 5 and empty; clam dictionaries deep enough for three
    // levels, and word lists.
    void MakeProfile() {
        const auto env = [this](const char* name, int language) {
            const auto bytes =
                testing_support::CompiledDefinition(testing_support::DefinitionName(language));
            TempPrefix::WriteFile(prefix_.DriveC() / "prov" / name,
                                  std::string(bytes.begin(), bytes.end()));
        };
        env("enphon.env", 1);
        env("frphon.env", 2);
        const std::vector<std::string> many = MakeWords(1500, 1, 30);
        const std::vector<std::string> held(many.begin(), many.begin() + 300);
        const fs::path en = fs::path("1033") / "en";
        const fs::path fr = fs::path("1036") / "fr";
        MakeClam(Src() / en / "big.clam", 1, many);
        MakeClam(Dst() / en / "big.clam", 1, held);
        std::vector<std::string> all = MakeWords(60, 11);
        MakeClam(Src() / en / "full.clam", 1, all);
        const std::vector<std::string> more = MakeWords(15, 12);
        all.insert(all.end(), more.begin(), more.end());
        MakeClam(Dst() / en / "full.clam", 1, all);
        MakeClam(Src() / en / "fresh.clam", 1, MakeWords(40, 2));
        TempPrefix::WriteFile(Dst() / en / "fresh.clam.wordhaul-new", "left by a killed run");
        MakeClam(Src() / en / "old.clam", 1, MakeWords(30, 3));
        std::string old = MakeClam(Dst() / en / "old.clam", 1, MakeWords(10, 4));
        old[0] = old[1];  // the version-5 header
        old[1] = 0;
        TempPrefix::WriteFile(Dst() / en / "old.clam", old);
        MakeClam(Src() / en / "zero.clam", 1, MakeWords(20, 5));
        TempPrefix::WriteFile(Dst() / en / "zero.clam", "");
        TempPrefix::WriteFile(Src() / en / "list.dic", Joined(MakeWords(50, 6)));
        TempPrefix::WriteFile(Dst() / en / "list.dic", Joined(MakeWords(20, 7)));
        TempPrefix::WriteFile(Src() / en / "new.txt", Joined(MakeWords(15, 8)));
        MakeClam(Src() / fr / "user.clam", 2, MakeWords(200, 9));
        MakeClam(Dst() / fr / "user.clam", 2, MakeWords(60, 10));
        languages_ = {{"1033/en/big.clam", 1}, {"1033/en/fresh.clam", 1}, {"1033/en/full.clam", 1},
                      {"1033/en/old.clam", 1}, {"1033/en/zero.clam", 1},  {"1036/fr/user.clam", 2}};
    }

    // One walk over the profile; `arrange` sets the fault.
    // Starts from the destinations as they were, unless `fromHere`.
    RunResult Run(const std::function<void(FaultPlatform&)>& arrange, Op counted = Op::kOpen,
                  bool fromHere = false) {
        if (!fromHere) LayOut(Dst(), before_);
        FaultPlatform system;
        testing_support::ScopedPlatform use(system);
        g_logFile = std::make_unique<testing_support::MemoryStream>(log_);
        if (arrange) arrange(system);
        ProcessAllDictionaries();
        g_logFile.reset();
        log_->clear();
        return {system.console, system.Calls(counted), system.Changes()};
    }

    // A clam destination that is neither as it was nor complete must be a sound dictionary
    // that holds its old words, and lack only words the run named as not imported, or all of
    // its source's words that came after a read that failed and was reported.
    bool LacksOnlyReportedWords(const std::string& console, const std::string& name,
                                const std::string& bytes) const {
        if (!languages_.contains(name) || !Verifies(bytes, languages_.at(name))) return false;
        const std::set<std::string> words = ListClam(Dst() / name, languages_.at(name));
        std::string source = "C:\\src\\" + name;
        for (char& c : source) c = c == '/' ? '\\' : c;
        const bool cut = console.find(kSourceCut + source + "\n") != std::string::npos;
        for (const std::string& word : beforeWords_.at(name)) {
            if (!words.contains(word)) return false;
        }
        for (const std::string& word : completeWords_.at(name)) {
            if (!words.contains(word) && !cut &&
                console.find(kRefused + word + "\n") == std::string::npos) {
                return false;
            }
        }
        return true;
    }

    void Check(const std::string& what, const RunResult& run, bool killed) {
        SCOPED_TRACE(what);
        ASSERT_EQ(FilesUnder(Src()), sources_);
        const Files after = FilesUnder(Dst());
        const bool silent = run.console.find("ERROR") == std::string::npos;
        for (const auto& [name, bytes] : complete_) {
            const auto found = after.find(name);
            const auto old = before_.find(name);
            const bool asBefore = old == before_.end()
                                      ? found == after.end()
                                      : found != after.end() && found->second == old->second;
            const bool whole = found != after.end() && found->second == bytes;
            if (whole || (asBefore && (killed || !silent))) continue;
            ASSERT_TRUE(found != after.end() &&
                        LacksOnlyReportedWords(run.console, name, found->second))
                << name << " is neither as it was nor complete\n"
                << run.console;
        }
        if (silent && !killed) {
            ASSERT_EQ(after, complete_) << "a run without an error left the job undone";
        }

        const RunResult again = Run(nullptr, Op::kOpen, true);
        ASSERT_EQ(again.console, "") << "the run after the fault";
        const Files last = FilesUnder(Dst());
        ASSERT_EQ(last.size(), complete_.size()) << "a temporary file was left";
        for (const auto& [name, bytes] : complete_) {
            const auto found = last.find(name);
            ASSERT_NE(found, last.end()) << name;
            if (found->second == bytes) continue;
            ASSERT_TRUE(languages_.contains(name)) << name << " differs after the second run";
            const int language = languages_.at(name);
            ASSERT_TRUE(Verifies(found->second, language)) << name;
            ASSERT_EQ(ListClam(Dst() / name, language), completeWords_.at(name)) << name;
        }
    }

    // N from 1 to the last call of a fault-free run: every one, or a sample that keeps
    // the first and the last calls and spreads the others evenly.
    static std::vector<int> Choices(int last) {
        std::vector<int> all;
        if (last == 0) return all;
        // "full", or a number of runs per kind.
        const char* mode = std::getenv("WORDHAUL_FAULT_LOOP");
        const std::string asked = mode != nullptr ? mode : "";
        const int sample = asked.empty() || asked == "full" ? kSampledRunsPerKind
                                                            : std::max(1, std::atoi(asked.c_str()));
        const int step = asked == "full" || last <= sample ? 1 : last / sample;
        for (int n = 1; n <= last; n += step) all.push_back(n);
        if (all.back() != last) all.push_back(last);
        return all;
    }

    TempPrefix prefix_;
    std::shared_ptr<std::string> log_ = std::make_shared<std::string>();
    Files sources_;
    Files before_;
    Files complete_;
    std::map<std::string, int> languages_;
    std::map<std::string, std::set<std::string>> beforeWords_;
    std::map<std::string, std::set<std::string>> completeWords_;
};

TEST_F(FaultLoop, EveryCallFailingOnceOrForGoodAndEveryKill) {
    const std::pair<Op, const char*> kinds[] = {
        {Op::kOpen, "open"},         {Op::kOpenHeld, "held open"}, {Op::kRead, "read"},
        {Op::kWrite, "write"},       {Op::kSeek, "seek"},          {Op::kClose, "close"},
        {Op::kFlush, "flush"},       {Op::kReplace, "replace"},    {Op::kDelete, "delete"},
        {Op::kMakeFolder, "folder"}, {Op::kReadFile, "read file"}, {Op::kListFolder, "listing"},
    };
    int total = 0;
    for (const auto& [op, name] : kinds) {
        const int calls = Run(nullptr, op).calls;
        int runs = 0;
        for (const int n : Choices(calls)) {
            const std::string what = std::string(name) + " #" + std::to_string(n);
            Check(what + " fails once", Run([op, n](FaultPlatform& s) { s.FailNth(op, n); }),
                  false);
            Check(what + " and later fail", Run([op, n](FaultPlatform& s) { s.FailFrom(op, n); }),
                  false);
            if (HasFatalFailure()) return;
            runs += 2;
        }
        std::cout << name << ": " << calls << " calls, " << runs << " runs\n";
        total += runs;
    }
    const int changes = Run(nullptr).changes;
    int kills = 0;
    for (const int n : Choices(changes)) {
        Check("kill at change #" + std::to_string(n),
              Run([n](FaultPlatform& s) { s.KillAtChange(n); }), true);
        if (HasFatalFailure()) return;
        ++kills;
    }
    std::cout << "kill: " << changes << " changes, " << kills << " runs; " << total + kills
              << " runs in all\n";
}

}  // namespace
