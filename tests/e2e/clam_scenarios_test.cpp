// End-to-end scenarios of clam dictionaries: profiles holding dictionaries made with our
// store and environments compiled from our definitions; the tool's console, log and
// destination dictionaries are checked, the dictionaries through clamtool.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "e2e/clam_files.h"
#include "e2e/transcript.h"

namespace e2e {
namespace {

const std::string kProvider =
    std::string(kDriveC) +
    "Program Files/Common Files/Velta/Linguistics/5.0/Providers/Kestrel/11.00/";
const std::string kProviderWindows =
    "C:\\Program Files\\Common Files\\Velta\\Linguistics\\5.0\\Providers\\Kestrel\\11.00";
const std::string kCannotOpenDestination =
    "ERROR: Unable to open/create clam file in read/write mode";

// The environment that serves the dictionaries of a second-level folder.
ProfileEntry Environment(const std::string& secondLevel, int language) {
    return {kProvider + secondLevel + "phon.env", EnvBytes(language)};
}

std::vector<std::string> Sorted(std::vector<std::string> words) {
    std::sort(words.begin(), words.end());
    return words;
}

bool IsPlain(const std::string& word) {
    return word.find_first_of(std::string("\x04\x05\x06\x08", 4)) == std::string::npos;
}

class ClamScenarios : public ScenarioTest {
  protected:
    std::string Source(const std::string& place) const {
        return WindowsFolder(User(), "Roaming") + "\\" + place;
    }
    std::string Destination(const std::string& place) const {
        return WindowsFolder(User(), "LocalLow") + "\\" + place;
    }

    // `place` is "first\second\file".
    void Heading(Transcript& t, const std::string& place) const {
        t.Log("\nImporting words from dictionary:");
        t.Log("----------------------------");
        t.Log(Source(place));
    }

    static void Skip(Transcript& t, const std::string& error, const std::string& path) {
        t.Report(error);
        t.Report(path);
        t.Report(kContinuing);
    }

    // The word loop over the source's words, in their order: each is present, refused or
    // imported.
    static void Words(Transcript& t, const std::vector<std::string>& source,
                      const std::set<std::string>& present,
                      const std::set<std::string>& refused = {}) {
        std::size_t imported = 0;
        std::size_t found = 0;
        for (const std::string& word : source) {
            if (present.count(word) != 0) {
                ++found;
            } else if (refused.count(word) != 0) {
                t.Report("ERROR: Unable to import word:");
                t.Report(word);
                t.Report("Continuing to process next word...");
            } else {
                t.Log("Succesfully imported word:");
                t.Log(word);
                ++imported;
            }
        }
        Totals(t, imported, found);
    }

    // The destination's words, sorted, after a check of its tree.
    static std::vector<std::string> WordsOf(const Outcome& outcome, const std::string& place,
                                            int language) {
        const auto file = outcome.localLowFiles.find(kDestination + place);
        if (file == outcome.localLowFiles.end()) {
            ADD_FAILURE() << "no destination dictionary " << place;
            return {};
        }
        EXPECT_EQ(VerifyClam(file->second, language), "") << place;
        return Sorted(ListClam(file->second, language));
    }
};

TEST_P(ClamScenarios, NewAndExistingDestinationsThenASecondRun) {
    const std::string fresh = MakeClam(1, {"apple", "Boston", "NASA", "etc.", "U.S.A.", "McDonald",
                                           "brb\bbe right back", "\x04zebra"});
    const std::string shared = MakeClam(1, {"alpha", "beta", "gamma", "delta"});
    const std::string held = MakeClam(1, {"beta", "delta", "omega"});
    Scenario scenario{{
        Environment("en-US", 1),
        {kRoaming + "1033/en-US/fresh.clam", fresh},
        {kRoaming + "1033/en-US/shared.clam", shared},
        {kLocalLow + kDestination + "1033/en-US/shared.clam", held},
    }};
    scenario.runs = 2;
    const std::vector<Outcome> outcomes = runner_->Run(scenario);
    ASSERT_EQ(outcomes.size(), 2u);

    const std::vector<std::string> freshWords = ListClam(fresh, 1);
    const std::vector<std::string> sharedWords = ListClam(shared, 1);
    ASSERT_EQ(freshWords.size(), 8u);
    std::set<std::string> plainFresh;
    for (const std::string& word : freshWords) {
        if (IsPlain(word)) plainFresh.insert(word);
    }
    ASSERT_EQ(plainFresh.size(), 6u);

    Transcript first = StartedRun(User());
    Heading(first, "1033\\en-US\\fresh.clam");
    Words(first, freshWords, {});
    Heading(first, "1033\\en-US\\shared.clam");
    Words(first, sharedWords, {"beta", "delta"});
    FinishRun(first);
    ExpectRun(outcomes[0], first, 0);

    // Pairs and marked words are never found, so they are stored again over themselves.
    Transcript second = StartedRun(User());
    Heading(second, "1033\\en-US\\fresh.clam");
    Words(second, freshWords, plainFresh);
    Heading(second, "1033\\en-US\\shared.clam");
    Words(second, sharedWords, {sharedWords.begin(), sharedWords.end()});
    FinishRun(second);
    ExpectRun(outcomes[1], second, 0);

    for (const Outcome& outcome : outcomes) {
        EXPECT_EQ(WordsOf(outcome, "1033/en-US/fresh.clam", 1), Sorted(freshWords));
        EXPECT_EQ(WordsOf(outcome, "1033/en-US/shared.clam", 1),
                  Sorted({"alpha", "beta", "delta", "gamma", "omega"}));
    }
}

TEST_P(ClamScenarios, EmptySourceAndMissingOrForeignEnvironment) {
    const Scenario scenario{{
        {kRoaming + "1031/de-DE/user.clam", MakeClam(2, {"wort"})},
        Environment("en-US", 1),
        {kRoaming + "1033/en-US/empty.clam", MakeClam(1, {})},
        Environment("fr-FR", 2),
        {kRoaming + "1036/fr-FR/user.clam", MakeClam(1, {"mot"})},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    Heading(expected, "1031\\de-DE\\user.clam");
    expected.console += "ERROR: Failed to import words for current dictionary\n";
    expected.Log("ERROR: Unable to open kestrel's phonetic file");
    expected.Log(kProviderWindows + "\\de-DEphon.env");
    expected.Report(kContinuing);
    Heading(expected, "1033\\en-US\\empty.clam");
    expected.Log("No words to import");
    expected.Log(kContinuing);
    Heading(expected, "1036\\fr-FR\\user.clam");
    Skip(expected, "ERROR: Unable to open clam file", Source("1036\\fr-FR\\user.clam"));
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);
    EXPECT_TRUE(outcome.localLowFiles.empty());
}

TEST_P(ClamScenarios, RefusedSourcesAndDestinationsAreLeftAsTheyWere) {
    const std::string valid = MakeClam(1, {"word"});
    std::string version7 = valid;
    version7[0] = 7;
    const std::string cut = valid.substr(0, 1000);
    const std::string foreign = MakeClam(2, {"wort"});
    const std::string en = "1033/en-US/";
    const Scenario scenario{{
        Environment("en-US", 1),
        {kRoaming + en + "a-foreign.clam", foreign},
        {kRoaming + en + "b-version7.clam", version7},
        {kRoaming + en + "c-cut.clam", cut},
        {kRoaming + en + "d-foreign.clam", valid},
        {kLocalLow + kDestination + en + "d-foreign.clam", foreign},
        {kRoaming + en + "e-version7.clam", valid},
        {kLocalLow + kDestination + en + "e-version7.clam", version7},
        {kRoaming + en + "f-cut.clam", valid},
        {kLocalLow + kDestination + en + "f-cut.clam", cut},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    for (const char* name : {"a-foreign.clam", "b-version7.clam", "c-cut.clam"}) {
        const std::string place = std::string("1033\\en-US\\") + name;
        Heading(expected, place);
        Skip(expected, "ERROR: Unable to open clam file", Source(place));
    }
    for (const char* name : {"d-foreign.clam", "e-version7.clam", "f-cut.clam"}) {
        const std::string place = std::string("1033\\en-US\\") + name;
        Heading(expected, place);
        Skip(expected, kCannotOpenDestination, Destination(place));
    }
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);

    const std::map<std::string, std::string> destinations{
        {kDestination + en + "d-foreign.clam", foreign},
        {kDestination + en + "e-version7.clam", version7},
        {kDestination + en + "f-cut.clam", cut},
    };
    EXPECT_EQ(outcome.localLowFiles, destinations);
    EXPECT_EQ(outcome.roamingFiles.at("Velta/Linguistics/Dictionaries/" + en + "a-foreign.clam"),
              foreign);
    EXPECT_EQ(outcome.roamingFiles.at("Velta/Linguistics/Dictionaries/" + en + "c-cut.clam"), cut);
}

TEST_P(ClamScenarios, Version5SourceIsOnlyReadAndVersion5DestinationIsUpgraded) {
    const std::string oldSource = AsVersion5(MakeClam(1, {"anchor", "bridge"}));
    const std::string oldDestination = AsVersion5(MakeClam(1, {"anchor"}));
    const std::string newSource = MakeClam(1, {"anchor", "bridge", "castle"});
    const Scenario scenario{{
        Environment("en-US", 1),
        {kRoaming + "1033/en-US/from-old.clam", oldSource},
        {kRoaming + "1033/en-US/into-old.clam", newSource},
        {kLocalLow + kDestination + "1033/en-US/into-old.clam", oldDestination},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    Heading(expected, "1033\\en-US\\from-old.clam");
    Words(expected, ListClam(oldSource, 1), {});
    Heading(expected, "1033\\en-US\\into-old.clam");
    Words(expected, ListClam(newSource, 1), {"anchor"});
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);

    EXPECT_EQ(outcome.roamingFiles.at("Velta/Linguistics/Dictionaries/1033/en-US/from-old.clam"),
              oldSource);
    EXPECT_EQ(WordsOf(outcome, "1033/en-US/from-old.clam", 1), Sorted({"anchor", "bridge"}));
    EXPECT_EQ(WordsOf(outcome, "1033/en-US/into-old.clam", 1),
              Sorted({"anchor", "bridge", "castle"}));
    const std::string& upgraded =
        outcome.localLowFiles.at(kDestination + "1033/en-US/into-old.clam");
    EXPECT_EQ(upgraded.substr(0, 2), std::string("\x06\x01", 2));
}

TEST_P(ClamScenarios, ReadOnlyDestinationCountsWhatItHoldsAndRefusesTheRest) {
    RequireAccessControl();
    const std::string source = MakeClam(1, {"kept", "new", "other"});
    const std::string destination = MakeClam(1, {"kept"});
    const Scenario scenario{{
        Environment("en-US", 1),
        {kRoaming + "1033/en-US/user.clam", source},
        {kLocalLow + kDestination + "1033/en-US/user.clam", destination, Access::kReadOnly},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    Heading(expected, "1033\\en-US\\user.clam");
    Words(expected, ListClam(source, 1), {"kept"}, {"new", "other"});
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);
    EXPECT_EQ(outcome.localLowFiles.at(kDestination + "1033/en-US/user.clam"), destination);
}

TEST_P(ClamScenarios, WordsTooLongToStoreAreReportedAndTheOthersImported) {
    // In capitals each sharp s reads back as two letters: the word the store hands out
    // is longer than any word it takes.
    const std::string source = MakeClam(2, {"STRA\xE1"
                                            "E",
                                            "haus", "S" + std::string(40, '\xE1'), "baum"});
    const Scenario scenario{{
        Environment("de-DE", 2),
        {kRoaming + "1031/de-DE/user.clam", source},
    }};
    const Outcome outcome = RunOnce(scenario);

    const std::vector<std::string> words = ListClam(source, 2);
    std::set<std::string> tooLong;
    std::vector<std::string> stored;
    for (const std::string& word : words) {
        if (word.size() >= 64)
            tooLong.insert(word);
        else
            stored.push_back(word);
    }
    ASSERT_EQ(tooLong.size(), 1u);
    Transcript expected = StartedRun(User());
    Heading(expected, "1031\\de-DE\\user.clam");
    Words(expected, words, {}, tooLong);
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);
    EXPECT_EQ(WordsOf(outcome, "1031/de-DE/user.clam", 2), Sorted(stored));
}

TEST_P(ClamScenarios, DictionaryOfTensOfThousandsOfWordsGrowsSeveralLevels) {
    std::mt19937 random(6);
    std::uniform_int_distribution<int> length(4, 12);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::set<std::string> distinct;
    while (distinct.size() < 30000) {
        std::string word(static_cast<std::size_t>(length(random)), ' ');
        for (char& c : word) c = static_cast<char>(letter(random));
        distinct.insert(word);
    }
    const std::string source = MakeClam(1, {distinct.begin(), distinct.end()});
    const Scenario scenario{{
        Environment("en-US", 1),
        {kRoaming + "1033/en-US/big.clam", source},
    }};
    const Outcome outcome = RunOnce(scenario);

    const std::vector<std::string> words = ListClam(source, 1);
    ASSERT_EQ(words.size(), distinct.size());
    Transcript expected = StartedRun(User());
    Heading(expected, "1033\\en-US\\big.clam");
    Words(expected, words, {});
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);

    const std::string& made = outcome.localLowFiles.at(kDestination + "1033/en-US/big.clam");
    int depth = 0;
    EXPECT_EQ(VerifyClam(made, 1, &depth), "");
    EXPECT_GE(depth, 3);  // the root has split at least twice
    EXPECT_EQ(ListClam(made, 1), words);
}

TEST_P(ClamScenarios, WordListsAndClamDictionariesOfSeveralLanguagesInOneGo) {
    const std::string german = MakeClam(2, {"Haus",
                                            "Stra\xE1"
                                            "e"});
    const std::string english = MakeClam(1, {"color", "theater"});
    const std::string dutch = MakeClam(10, {"IJsselmeer", "gracht"});
    const std::string russian = MakeClam(18, {"\xEC\xE8\xF0", "\xC4\xEE\xEC"});
    const Scenario scenario{{
        Environment("de-DE", 2),
        {kRoaming + "1031/de-DE/benutzer.dic", "Haus Baum\n"},
        {kRoaming + "1031/de-DE/user.clam", german},
        Environment("en-US", 1),
        {kRoaming + "1033/en-US/custom.txt", "zeta alpha\n"},
        {kRoaming + "1033/en-US/user.clam", english},
        {kLocalLow + kDestination + "1033/en-US/user.clam", MakeClam(1, {"theater"})},
        Environment("nl-NL", 10),
        {kRoaming + "1043/nl-NL/user.clam", dutch},
        Environment("ru-RU", 18),
        {kRoaming + "1049/ru-RU/user.clam", russian},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    ImportHeading(expected, User(), "1031\\de-DE\\benutzer.dic");
    ImportedWords(expected, {"Baum", "Haus"}, 0);
    Heading(expected, "1031\\de-DE\\user.clam");
    Words(expected, ListClam(german, 2), {});
    ImportHeading(expected, User(), "1033\\en-US\\custom.txt");
    ImportedWords(expected, {"alpha", "zeta"}, 0);
    Heading(expected, "1033\\en-US\\user.clam");
    Words(expected, ListClam(english, 1), {"theater"});
    Heading(expected, "1043\\nl-NL\\user.clam");
    Words(expected, ListClam(dutch, 10), {});
    Heading(expected, "1049\\ru-RU\\user.clam");
    Words(expected, ListClam(russian, 18), {});
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);

    EXPECT_EQ(outcome.localLowFiles.at(kDestination + "1031/de-DE/benutzer.dic"), "Baum\nHaus\n");
    EXPECT_EQ(outcome.localLowFiles.at(kDestination + "1033/en-US/custom.txt"), "alpha\nzeta\n");
    EXPECT_EQ(WordsOf(outcome, "1031/de-DE/user.clam", 2), Sorted({"Haus",
                                                                   "Stra\xE1"
                                                                   "e"}));
    EXPECT_EQ(WordsOf(outcome, "1033/en-US/user.clam", 1), Sorted({"color", "theater"}));
    EXPECT_EQ(WordsOf(outcome, "1043/nl-NL/user.clam", 10), Sorted({"IJsselmeer", "gracht"}));
    EXPECT_EQ(WordsOf(outcome, "1049/ru-RU/user.clam", 18),
              Sorted({"\xEC\xE8\xF0", "\xC4\xEE\xEC"}));
}

INSTANTIATE_TEST_SUITE_P(Runners, ClamScenarios, ::testing::ValuesIn(RunnerNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace e2e
