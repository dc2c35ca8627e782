// Two runs on one profile, a run killed while it holds the run lock, and destinations that
// another program holds open for writing. Each pair of runs is started with a delay between
// the two; $WORDHAUL_CONCURRENCY_REPEAT sets how often each delay is tried.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "e2e/child_process.h"
#include "e2e/runner.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;
using WordSet = std::set<std::string>;

const std::string kFolder = "Velta/Linguistics/Dictionaries/";
const std::string kDictionaries = "AppData/LocalLow/" + kFolder;
const std::string kSources = "AppData/Roaming/" + kFolder;
const std::string kClam = "1033/en-US/user.clam";
const std::string kWordList = "1033/en-US/user.dic";
const std::string kBanner =
    "Velta (R) Wordhaul - Version 1.0.0\nCopyright (C) Velta. All rights reserved.\n";
const std::string kWaiting =
    "\nAnother run of Wordhaul is in progress for this user. Waiting for it to end ...\n";
const std::string kGivingUp =
    "\n\nINFO:\nAnother run of Wordhaul is still in progress for this user.\nThis run stops "
    "without importing anything. Start it again once the other run has ended.\n";
const std::string kShortWait = "WORDHAUL_RUN_LOCK_WAIT_MS=1500";
const std::string kNoWait = "WORDHAUL_RUN_LOCK_WAIT_MS=0";

WordSet RandomWords(std::size_t count, unsigned int seed) {
    std::mt19937 random(seed);
    WordSet words;
    while (words.size() < count) {
        std::string word(4 + random() % 9, ' ');
        for (char& c : word) c = static_cast<char>('a' + random() % 26);
        words.insert(word);
    }
    return words;
}

std::string AsText(const WordSet& words) {
    std::string text;
    for (const std::string& word : words) text += word + "\n";
    return text;
}

std::string Names(const std::map<std::string, std::string>& files) {
    std::string names;
    for (const auto& [name, bytes] : files) names += name + "\n";
    return names;
}

WordSet Union(WordSet a, const WordSet& b) {
    a.insert(b.begin(), b.end());
    return a;
}

// A profile with a large clam dictionary and a word list, both with old words in their
// destinations, and what their destinations must hold after any number of complete runs.
struct Profiles {
    WordSet clamSource = RandomWords(40000, 1);
    WordSet clamHeld = RandomWords(20000, 2);
    WordSet listSource = RandomWords(60000, 3);
    WordSet listHeld = RandomWords(20000, 4);
    std::string clamHeldBytes = MakeClam(1, {clamHeld.begin(), clamHeld.end()});
    std::string listHeldBytes = AsText(listHeld);
    Scenario scenario{{
        {"C:/Program Files/Common Files/Velta/Linguistics/5.0/Providers/Kestrel/11.00/"
         "en-USphon.env",
         EnvBytes(1)},
        {kSources + kClam, MakeClam(1, {clamSource.begin(), clamSource.end()})},
        {kDictionaries + kClam, clamHeldBytes},
        {kSources + kWordList, AsText(listSource)},
        {kDictionaries + kWordList, listHeldBytes},
    }};

    static Profiles& Shared() {
        static Profiles profiles;
        return profiles;
    }

    void ExpectUntouched(const Outcome& outcome) const {
        ASSERT_EQ(outcome.localLowFiles.size(), 2u) << Names(outcome.localLowFiles);
        EXPECT_TRUE(outcome.localLowFiles.at(kFolder + kClam) == clamHeldBytes);
        EXPECT_TRUE(outcome.localLowFiles.at(kFolder + kWordList) == listHeldBytes);
    }

    // Every word of both trees in its destination, which is sound; nothing else is left.
    void ExpectComplete(const Outcome& outcome) const {
        ASSERT_EQ(outcome.localLowFiles.size(), 2u) << Names(outcome.localLowFiles);
        const std::string& clam = outcome.localLowFiles.at(kFolder + kClam);
        EXPECT_EQ(VerifyClam(clam, 1), "");
        const std::vector<std::string> stored = ListClam(clam, 1);
        EXPECT_TRUE(WordSet(stored.begin(), stored.end()) == Union(clamSource, clamHeld))
            << stored.size() << " words stored";
        EXPECT_TRUE(outcome.localLowFiles.at(kFolder + kWordList) ==
                    AsText(Union(listSource, listHeld)));
    }
};

// Enough of a console text to tell what went wrong, where a run may report every word.
std::string Head(const std::string& console) {
    return console.substr(0, 2000);
}

// The console output as the native build writes it: under Wine every line ends with CR LF.
std::string Console(const ChildProcess& run) {
    return std::regex_replace(run.Output(), std::regex("\r\n"), "\n");
}

bool HasLogFile(const std::filesystem::path& folder) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.path().filename().string().starts_with("Wordhaul_")) return true;
    }
    return false;
}

// Three by default, two when a run is slow (a sanitizer build): one in each waiting mode.
int Repetitions(std::chrono::milliseconds oneRun) {
    const char* setting = std::getenv("WORDHAUL_CONCURRENCY_REPEAT");
    if (setting != nullptr && std::atoi(setting) > 0) return std::atoi(setting);
    return oneRun < 2s ? 3 : 2;
}

bool Completed(const std::string& console) {
    return console.starts_with(kBanner) && console.ends_with("\nProcessing complete.\n") &&
           console.find("ERROR") == std::string::npos;
}

class Concurrency : public ::testing::TestWithParam<std::string> {};

// How long a run on its own takes, from its start to its end.
std::chrono::milliseconds TimeOneRun(const std::string& runner, const Profiles& profiles) {
    const Profile profile(runner, profiles.scenario);
    const auto start = std::chrono::steady_clock::now();
    ChildProcess run(profile.Command());
    EXPECT_EQ(run.Wait(), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    profiles.ExpectComplete(profile.Collect("", 0));
    return std::chrono::duration_cast<std::chrono::milliseconds>(took);
}

// The second run starts with the first, during it, near its end and just after it. In odd
// repetitions a run does not wait, so that one of the two may stop with the INFO text; in
// the others a run waits up to the full minute, and both complete.
TEST_P(Concurrency, TwoRunsStartedTogetherOrShortlyAfterEachOtherLoseNoWord) {
    const Profiles& profiles = Profiles::Shared();
    const auto took = TimeOneRun(GetParam(), profiles);
    const std::vector<std::chrono::milliseconds> delays = {0ms, took / 10, took / 2, took * 9 / 10,
                                                           took * 11 / 10};
    int pairs = 0;
    int waited = 0;
    int stopped = 0;
    int numbered = 0;
    for (int repetition = 0; repetition < Repetitions(took); ++repetition) {
        const bool noWait = repetition % 2 == 1;
        for (const auto delay : delays) {
            SCOPED_TRACE("delay " + std::to_string(delay.count()) + " ms, repetition " +
                         std::to_string(repetition) + (noWait ? ", no wait" : ""));
            ++pairs;
            const Profile profile(GetParam(), profiles.scenario);
            const std::vector<std::string> settings =
                noWait ? std::vector{kNoWait} : std::vector<std::string>{};
            ChildProcess first(profile.Command(settings));
            std::this_thread::sleep_for(delay);
            ChildProcess second(profile.Command(settings));
            int completed = 0;
            for (ChildProcess* run : {&first, &second}) {
                const int status = run->Wait();
                const std::string console = Console(*run);
                waited += console.find(kWaiting) != std::string::npos;
                if (status == 1 && console == kBanner + kWaiting + kGivingUp) {
                    EXPECT_TRUE(noWait);
                    ++stopped;
                    continue;
                }
                EXPECT_EQ(status, 0) << console;
                EXPECT_TRUE(Completed(console)) << console;
                ++completed;
            }
            EXPECT_GE(completed, 1);
            const Outcome outcome = profile.Collect("", 0);
            EXPECT_EQ(outcome.logNames.size(), static_cast<std::size_t>(completed));
            for (const std::string& name : outcome.logNames) {
                std::smatch parts;
                EXPECT_TRUE(
                    std::regex_match(name, parts, std::regex(R"(Wordhaul_\d{8}_\d{6}(_2)?\.log)")))
                    << name;
                numbered += parts[1].matched;
            }
            profiles.ExpectComplete(outcome);
            if (HasFailure()) return;
        }
    }
    std::printf(
        "One run took %d ms. %d pairs of runs: %d runs waited for the other, %d stopped with "
        "the INFO text, %d logs were numbered\n",
        static_cast<int>(took.count()), pairs, waited, stopped, numbered);
}

// A run that finds the lock held longer than it waits stops and leaves everything as it was;
// the hold goes with the holder, and a run afterwards completes.
TEST_P(Concurrency, ALockHeldLongerThanTheWaitStopsTheRunWithItsInfoText) {
    const Profiles& profiles = Profiles::Shared();
    Scenario scenario = profiles.scenario;
    scenario.entries.push_back({"AppData/LocalLow/Temp/", ""});
    const Profile profile(GetParam(), scenario);
    {
        ChildProcess holder(profile.HolderCommand("lock", "AppData/LocalLow/Temp/Wordhaul.lock"));
        ASSERT_TRUE(holder.WaitForOutput("held", 30s)) << holder.Output();
        const auto start = std::chrono::steady_clock::now();
        ChildProcess run(profile.Command({kShortWait}));
        EXPECT_EQ(run.Wait(), 1);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 1500ms);
        EXPECT_EQ(Console(run), kBanner + kWaiting + kGivingUp);
        holder.CloseInput();
        EXPECT_EQ(holder.Wait(), 0);
    }
    const Outcome after = profile.Collect("", 0);
    EXPECT_TRUE(after.logNames.empty());
    profiles.ExpectUntouched(after);

    ChildProcess run(profile.Command({kShortWait}));
    EXPECT_EQ(run.Wait(), 0);
    EXPECT_EQ(Console(run).find(kWaiting), std::string::npos);
    profiles.ExpectComplete(profile.Collect("", 0));
}

// The lock goes with the process: the next run neither waits nor finds anything amiss.
TEST_P(Concurrency, ARunKilledWhileItHoldsTheLockDoesNotBlockTheNextRun) {
    const Profiles& profiles = Profiles::Shared();
    const Profile profile(GetParam(), profiles.scenario);
    const std::filesystem::path temp = profile.AppData() / "LocalLow" / "Temp";
    {
        ChildProcess killed(profile.Command());
        // Its log file is made once it holds the lock.
        const auto limit = std::chrono::steady_clock::now() + 60s;
        while (!HasLogFile(temp) && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(2ms);
        }
        killed.Kill();
        EXPECT_EQ(killed.Wait(), -1) << "the run ended before it was killed";
    }
    ChildProcess next(profile.Command({kShortWait}));
    EXPECT_EQ(next.Wait(), 0);
    EXPECT_TRUE(Completed(Console(next))) << Console(next);
    EXPECT_EQ(Console(next).find(kWaiting), std::string::npos);
    const Outcome outcome = profile.Collect("", 0);
    EXPECT_EQ(outcome.logNames.size(), 2u);
    profiles.ExpectComplete(outcome);
}

// Another program writes both destinations: each is reported, kept byte for byte, and the
// run goes on.
TEST_P(Concurrency, ADestinationThatAnotherProgramWritesIsReportedAndLeftAsItWas) {
    const Profiles& profiles = Profiles::Shared();
    const Profile profile(GetParam(), profiles.scenario);
    ChildProcess clamHolder(profile.HolderCommand("write", kDictionaries + kClam));
    ChildProcess listHolder(profile.HolderCommand("write", kDictionaries + kWordList));
    ASSERT_TRUE(clamHolder.WaitForOutput("held", 30s)) << clamHolder.Output();
    ASSERT_TRUE(listHolder.WaitForOutput("held", 30s)) << listHolder.Output();
    ChildProcess run(profile.Command());
    EXPECT_EQ(run.Wait(), 0);
    const std::string folder =
        "C:\\users\\" + kUser +
        "\\AppData\\LocalLow\\Velta\\Linguistics\\Dictionaries\\1033\\en-US\\";
    const std::string next = "\nContinuing to process next dictionary ...\n";
    EXPECT_NE(Console(run).find("ERROR: Unable to open/create clam file in read/write mode\n" +
                                folder + "user.clam" + next),
              std::string::npos)
        << Head(Console(run));
    EXPECT_NE(Console(run).find("ERROR: Unable to write destination dictionary\n" + folder +
                                "user.dic" + next),
              std::string::npos)
        << Head(Console(run));
    EXPECT_TRUE(Console(run).ends_with("\nProcessing complete.\n"));
    clamHolder.CloseInput();
    listHolder.CloseInput();
    EXPECT_EQ(clamHolder.Wait(), 0);
    EXPECT_EQ(listHolder.Wait(), 0);
    profiles.ExpectUntouched(profile.Collect("", 0));
}

INSTANTIATE_TEST_SUITE_P(Runners, Concurrency, ::testing::ValuesIn(RunnerNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace e2e
