// End-to-end scenarios: each lays out a user profile, runs the built tool and checks the
// console, the exit status, the log bytes and the destination files. Clam dictionaries are
// made with our store and environments, and read back through clamtool.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <set>
#include <tuple>
#include <utility>

#include "e2e/runner.h"

namespace e2e {
namespace {

using WordList = std::vector<std::string>;
using WordSet = std::set<std::string>;
const std::string kDictionaries = "Velta/Linguistics/Dictionaries/";
const std::string kContinuing = "Continuing to process next dictionary ...";
const std::string kCannotOpenSource = "ERROR: Unable to open clam file";
const std::string kCannotOpenDestination =
    "ERROR: Unable to open/create clam file in read/write mode";
const std::string kBanner =
    "Velta (R) Wordhaul - Version 1.0.0\nCopyright (C) Velta. All rights reserved.";

// `place` is "first/second/file" under the source or the destination folder.
ProfileEntry Source(const std::string& place, std::string bytes) {
    return {"AppData/Roaming/" + kDictionaries + place, std::move(bytes)};
}
ProfileEntry Destination(const std::string& place, std::string bytes,
                         Access access = Access::kNormal) {
    return {"AppData/LocalLow/" + kDictionaries + place, std::move(bytes), access};
}
// The environment that serves the clam dictionaries of a second-level folder.
ProfileEntry Environment(const std::string& secondLevel, int language) {
    return {"C:/Program Files/Common Files/Velta/Linguistics/5.0/Providers/Kestrel/11.00/" +
                secondLevel + "phon.env",
            EnvBytes(language)};
}

// The Windows path of the "Roaming" or "LocalLow" dictionary folder, or of a place in it.
std::string WindowsPath(const std::string& under, const std::string& place = "") {
    std::string path = "C:/users/" + kUser + "/AppData/" + under + "/" + kDictionaries + place;
    if (place.empty()) path.pop_back();
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The console text and the log bytes of a run, from its start; each "\n" of a logged text
// ends a line of its own.
struct Transcript {
    std::string console = kBanner + "\n\nStarted processing.\n";
    std::string log = "\xEF\xBB\xBF";

    Transcript() {
        Log(kBanner +
            "\n\nStarted processing.\n\nSOURCE user dictionary folder to import words:\n" +
            std::string(47, '-') + "\n" + WindowsPath("Roaming") +
            "\n\nDESTINATION user dictionary folder to import words:\n" + std::string(52, '-') +
            "\n" + WindowsPath("LocalLow"));
    }
    void Log(const std::string& text) {
        for (char c : text + "\n") log += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    void Report(const std::string& text) {
        Log(text);
        console += text + "\n";
    }
    // A clam import draws one dash fewer under its heading.
    void Heading(const std::string& place) {
        Log("\nImporting words from dictionary:\n" +
            std::string(place.ends_with(".clam") ? 28 : 29, '-') + "\n" +
            WindowsPath("Roaming", place));
    }
    void Refused(const std::string& place, const std::string& error, const std::string& path) {
        if (!place.empty()) Heading(place);
        Report(error + "\n" + path + "\n" + kContinuing);
    }
    void NoWords(const std::string& place) {
        Heading(place);
        Log("No words to import\n" + kContinuing);
    }
    // The source's words in their order: each one present, refused or imported.
    void Words(const std::string& place, const WordList& source, const WordSet& present,
               const WordSet& refused = {}) {
        Heading(place);
        std::size_t imported = 0;
        for (const std::string& word : source) {
            if (present.count(word) != 0) continue;
            if (refused.count(word) != 0) {
                Report("ERROR: Unable to import word:\n" + word +
                       "\nContinuing to process next word...");
            } else {
                Log("Succesfully imported word:\n" + word);
                ++imported;
            }
        }
        Log("\nTotal count of imported words: \n" + std::to_string(imported) +
            "\n\nTotal count of words to be imported being already present in destination "
            "dictionary: \n" +
            std::to_string(std::count_if(source.begin(), source.end(),
                                         [&](const auto& word) { return present.count(word); })));
    }
    void Finish() {
        Log("\nProcessing complete.");
        console += "\nProcessing complete.\n";
    }
};

// Texts of a million bytes are too long for a line-by-line difference: only where they part.
void ExpectSame(const std::string& actual, const std::string& expected, const std::string& what) {
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    const std::size_t from = at < 100 ? 0 : at - 100;
    EXPECT_TRUE(actual == expected) << what << " differs at byte " << at << ":\n"
                                    << actual.substr(from, 200) << "\ninstead of\n"
                                    << expected.substr(from, 200);
}

void ExpectRun(const Outcome& outcome, const Transcript& expected, int status) {
    ExpectSame(outcome.console, expected.console, "the console");
    EXPECT_EQ(outcome.status, status);
    ASSERT_EQ(outcome.logNames.size(), 1u);
    EXPECT_TRUE(std::regex_match(outcome.logNames[0], std::regex(R"(Wordhaul_\d{8}_\d{6}\.log)")))
        << outcome.logNames[0];
    ExpectSame(outcome.log, expected.log, "the log");
}

WordList Sorted(WordList words) {
    std::sort(words.begin(), words.end());
    return words;
}

bool IsPlain(const std::string& word) {
    return word.find_first_of(std::string("\x04\x05\x06\x08", 4)) == std::string::npos;
}

// The Windows build's outcomes must also be the native build's, but for the log's name.
class Scenarios : public ::testing::TestWithParam<std::string> {
  protected:
    std::vector<Outcome> Run(const Scenario& scenario) {
        const std::vector<Outcome> outcomes = RunScenario(GetParam(), scenario);
        if (GetParam() == "native") return outcomes;
        const std::vector<Outcome> native = RunScenario("native", scenario);
        const auto kept = [](const Outcome& o) {
            return std::make_tuple(o.console, o.status, o.logNames.size(), o.log, o.localLowFiles);
        };
        for (std::size_t run = 0; run < outcomes.size(); ++run) {
            EXPECT_TRUE(kept(outcomes[run]) == kept(native.at(run))) << "the builds differ";
        }
        return outcomes;
    }
};

TEST_P(Scenarios, MissingOrEmptySourceFolderStopsWithInfo) {
    for (const Scenario& scenario :
         {Scenario{}, Scenario{{{"AppData/Roaming/" + kDictionaries, ""}}}}) {
        const Outcome outcome = Run(scenario).at(0);
        Transcript expected;
        expected.Report(
            "\n\nINFO: No user dictionary data to copy, since source dictionary folder( " +
            WindowsPath("Roaming") + " )contains no dictionaries.\n");
        ExpectRun(outcome, expected, 1);
        EXPECT_TRUE(outcome.localLowFiles.empty());
    }
}

// Word lists and clam dictionaries of several languages, some of which cannot be imported,
// in one tree that the tool imports twice.
TEST_P(Scenarios, ATreeOfEveryKindOfDictionaryImportedTwice) {
    if (!CanRestrictAccess()) GTEST_SKIP() << "cannot keep files from root here";
    // In capitals each sharp s reads back as two letters: the word the store hands out is
    // longer than any word it takes.
    const std::string german = MakeClam(2, {"STRA\341E", "Haus", "S" + std::string(40, '\xE1')});
    // An older source, only read, with pairs and marked words.
    const std::string fresh =
        AsVersion5(MakeClam(1, {"apple", "Boston", "NASA", "etc.", "U.S.A.", "McDonald",
                                "brb\bbe right back", "\x04zebra"}));
    const std::string shared = MakeClam(1, {"alpha", "beta", "gamma", "delta"});
    const std::string russian = MakeClam(18, {"\xEC\xE8\xF0", "\xC4\xEE\xEC"});
    const std::string frozen = MakeClam(1, {"kept", "new", "other"});
    const std::string frozenHeld = MakeClam(1, {"kept"});
    std::mt19937 random(6);
    WordSet many;  // enough to split the root several times
    while (many.size() < 30000) {
        std::string word(4 + random() % 9, ' ');
        for (char& c : word) c = static_cast<char>('a' + random() % 26);
        many.insert(word);
    }
    const std::string big = MakeClam(1, {many.begin(), many.end()});
    // Dictionaries that the store refuses.
    const std::string valid = MakeClam(1, {"word"});
    const std::string version7 = '\x07' + valid.substr(1);
    const std::string cut = valid.substr(0, 1000);
    const std::string foreign = MakeClam(2, {"wort"});
    // A word list of more than one read block, with a CR LF across the first block's end.
    std::string blockText = "xxxxx\r\n";
    WordList block = {"xxxxx"};
    for (int i = 0; blockText.size() < (1u << 20) + 1000; ++i) {
        block.push_back("w" + std::to_string(1000000 + i * 7919 % 1000003));
        blockText += block.back() + "\r\n";
    }
    ASSERT_EQ(blockText.substr((1u << 20) - 1, 2), "\r\n");
    const std::string gb = "1033/en-GB/";
    const std::string us = "1033/en-US/";
    // Where the two systems differ most: listing order, text mode, non-ASCII names.
    const WordList lonely = {"alpha/en/alpha.dic", "Fran\u00e7ais/Qu\u00e9bec/W\u00f6rter.dic",
                             "Zed/en/zed.dic", "_under/en/under.dic", "~tilde/en/tilde.dic"};
    Scenario scenario{{
        Source("1033/en/block.dic", blockText),
        Source("1033/en/ctrlz.txt", "kept\r\nlone\rcr\032dropped after\n"),
        Source("1033/en/noext", "x\n"),
        Source("1033/en/Upper.DIC", "B b A a\n"),
        Destination("1033/en/Upper.DIC", "c\r\nb\r\n"),
        Source("loose.dic", "top\n"),
        Source("1031/de-AT/user.clam", valid),  // no environment
        Environment("de-DE", 2),
        Source("1031/de-DE/benutzer.dic", "b a b\r\nB\r\n\r\n\xC3\xA4 a\r\n"),
        Source("1031/de-DE/user.clam", german),
        Environment("en-GB", 1),
        Source(gb + "a-foreign.clam", foreign),
        Source(gb + "a.txt", "short\n"),
        Source(gb + "ab.clam", "short\n"),
        Source(gb + "b-version7.clam", version7),
        Source(gb + "c-cut.clam", cut),
        Source(gb + "d-foreign.clam", valid),
        Destination(gb + "d-foreign.clam", foreign),
        Source(gb + "e-version7.clam", valid),
        Destination(gb + "e-version7.clam", version7),
        Source(gb + "empty.clam", MakeClam(1, {})),
        Source(gb + "f-cut.clam", valid),
        Destination(gb + "f-cut.clam", cut),
        Source(gb + "na\xC3\xAFve", "noext\n"),
        Source(gb + "words.", "dot\n"),
        Environment("en-US", 1),
        Source(us + "a-locked.dic", "new\n"),
        Destination(us + "a-locked.dic", "old\n", Access::kUnreadable),
        Source(us + "b-frozen.dic", "new old\n"),
        Destination(us + "b-frozen.dic", "old\n", Access::kReadOnly),
        Source(us + "big.clam", big),
        Source(us + "c-frozen.clam", frozen),
        Destination(us + "c-frozen.clam", frozenHeld, Access::kReadOnly),
        Source(us + "custom.txt", "zeta alpha\tbeta\n"),
        Destination(us + "custom.txt", "gamma\nalpha\ngamma\n"),
        Source(us + "empty.dic", " \r\n\t\n"),
        Source(us + "fresh.clam", fresh),
        Source(us + "shared.clam", shared),
        // An older destination, upgraded when opened.
        Destination(us + "shared.clam", AsVersion5(MakeClam(1, {"beta", "delta", "omega"}))),
        Source("1033/loose.dic", "first\n"),
        Environment("fr-FR", 2),  // not the language of the dictionary
        Source("1036/fr-FR/user.clam", valid),
        Environment("ru-RU", 18),
        Source("1049/ru-RU/user.clam", russian),
    }};
    for (const std::string& place : lonely)
        scenario.entries.push_back(Source(place, "\xC3\xA9t\xC3\xA9\n"));
    scenario.runs = 2;
    const std::vector<Outcome> outcomes = Run(scenario);
    ASSERT_EQ(outcomes.size(), 2u);

    const WordList germanWords = ListClam(german, 2);
    const WordList bigWords = ListClam(big, 1);
    const WordList freshWords = ListClam(fresh, 1);
    const WordSet tooLong = {
        *std::max_element(germanWords.begin(), germanWords.end(),
                          [](const auto& a, const auto& b) { return a.size() < b.size(); })};
    ASSERT_GE(tooLong.begin()->size(), 64u);
    ASSERT_EQ(std::count_if(freshWords.begin(), freshWords.end(), IsPlain), 6);
    ASSERT_EQ(bigWords.size(), many.size());

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run + 1));
        const Outcome& outcome = outcomes[run];
        Transcript expected;
        // The destinations' bytes, and the dictionaries' languages and words.
        std::map<std::string, std::string> files = {{us + "a-locked.dic", "old\n"},
                                                    {us + "b-frozen.dic", "old\n"},
                                                    {gb + "d-foreign.clam", foreign},
                                                    {gb + "e-version7.clam", version7},
                                                    {gb + "f-cut.clam", cut}};
        std::map<std::string, std::pair<int, WordList>> clams;
        // A word list (language 0) or a dictionary, and what its destination held before the
        // first run. A second run finds every word stored but pairs and marked words, which it
        // stores again.
        const auto words = [&](const std::string& place, int language, const WordList& source,
                               WordSet held = {}, const WordSet& refused = {}) {
            WordSet present;
            for (const std::string& word : source) {
                if (held.count(word) != 0 || (run == 1 && IsPlain(word) && !refused.count(word))) {
                    present.insert(word);
                }
                if (refused.count(word) == 0) held.insert(word);
            }
            expected.Words(place, source, present, refused);
            std::string& bytes = files[place];  // a dictionary's are checked by its words
            if (language != 0) clams[place] = {language, {held.begin(), held.end()}};
            for (const std::string& word : held) bytes += language == 0 ? word + "\n" : "";
        };
        expected.Heading("1031/de-AT/user.clam");
        expected.console += "ERROR: Failed to import words for current dictionary\n";
        expected.Log(
            "ERROR: Unable to open kestrel's phonetic file\nC:\\Program Files\\Common "
            "Files\\Velta\\Linguistics\\5.0\\Providers\\Kestrel\\11.00\\de-ATphon.env");
        expected.Report(kContinuing);
        words("1031/de-DE/benutzer.dic", 0, {"B", "a", "b", "\xC3\xA4"});
        words("1031/de-DE/user.clam", 2, germanWords, {}, tooLong);
        words("1033/en/block.dic", 0, Sorted(block));
        words("1033/en/ctrlz.txt", 0, {"cr", "kept", "lone"});
        expected.Refused("", "ERROR: Invalid file extension", "noext");
        words("1033/en/Upper.DIC", 0, {"A", "B", "a", "b"}, {"b", "c"});
        for (const char* name : {"a-foreign.clam", "b-version7.clam", "c-cut.clam"}) {
            expected.Refused(gb + name, kCannotOpenSource, WindowsPath("Roaming", gb + name));
        }
        for (const char* name : {"d-foreign.clam", "e-version7.clam"}) {
            expected.Refused(gb + name, kCannotOpenDestination, WindowsPath("LocalLow", gb + name));
        }
        expected.NoWords(gb + "empty.clam");
        expected.Refused(gb + "f-cut.clam", kCannotOpenDestination,
                         WindowsPath("LocalLow", gb + "f-cut.clam"));
        expected.Refused("", "ERROR: Invalid file extension", "na\xC3\xAFve");
        expected.Refused("", "ERROR: Invalid file extension", "words.");
        expected.Refused(us + "a-locked.dic", "ERROR: Unable to read destination dictionary",
                         WindowsPath("LocalLow", us + "a-locked.dic"));
        // Nothing is logged as imported into a destination that could not be written.
        expected.Refused(us + "b-frozen.dic", "ERROR: Unable to write destination dictionary",
                         WindowsPath("LocalLow", us + "b-frozen.dic"));
        words(us + "big.clam", 1, bigWords);
        // A read-only dictionary counts the words it holds and refuses the others one by one.
        words(us + "c-frozen.clam", 1, ListClam(frozen, 1), {"kept"}, {"new", "other"});
        words(us + "custom.txt", 0, {"alpha", "beta", "zeta"}, {"alpha", "gamma"});
        expected.NoWords(us + "empty.dic");
        words(us + "fresh.clam", 1, freshWords);
        words(us + "shared.clam", 1, ListClam(shared, 1), {"beta", "delta", "omega"});
        expected.Refused("1036/fr-FR/user.clam", kCannotOpenSource,
                         WindowsPath("Roaming", "1036/fr-FR/user.clam"));
        words("1049/ru-RU/user.clam", 18, ListClam(russian, 18));
        for (const std::string& place : lonely) words(place, 0, {"\xC3\xA9t\xC3\xA9"});
        expected.Finish();
        ExpectRun(outcome, expected, 0);

        // Word lists byte for byte, dictionaries by a check of their trees and their words.
        EXPECT_EQ(outcome.localLowFiles.size(), files.size());
        for (const auto& [path, bytes] : outcome.localLowFiles) {
            const std::string place = path.substr(kDictionaries.size());
            if (clams.count(place) == 0) {
                ExpectSame(bytes, files[place], place);
                continue;
            }
            const auto& [language, stored] = clams[place];
            EXPECT_EQ(VerifyClam(bytes, language), "") << place;
            EXPECT_EQ(Sorted(ListClam(bytes, language)), stored) << place;
        }
        const std::string& upgraded = outcome.localLowFiles.at(kDictionaries + us + "shared.clam");
        EXPECT_EQ(upgraded.substr(0, 2), std::string("\x06\x01", 2));
        EXPECT_EQ(outcome.localLowFiles.at(kDictionaries + us + "c-frozen.clam"), frozenHeld);
        int depth = 0;
        VerifyClam(outcome.localLowFiles.at(kDictionaries + us + "big.clam"), 1, &depth);
        EXPECT_GE(depth, 3);
        // Sources are only read.
        EXPECT_EQ(outcome.roamingFiles.at(kDictionaries + us + "fresh.clam"), fresh);
        EXPECT_EQ(outcome.roamingFiles.at(kDictionaries + gb + "a-foreign.clam"), foreign);
        EXPECT_EQ(outcome.roamingFiles.at(kDictionaries + gb + "c-cut.clam"), cut);
    }
}

TEST(WindowsBuild, OlderWindowsGetsTheBannerAndInfoAndNoLogFile) {
    if (RunnerNames().size() < 2) GTEST_SKIP() << "no Windows build (WORDHAUL_WINE_TOOL)";
    const Scenario scenario{{Source("1033/en/user.dic", "word\n")}};
    const Outcome outcome = RunScenario("wine", scenario, "winxp").at(0);
    EXPECT_EQ(outcome.console, kBanner +
                                   "\n\n\nINFO:\nCurrent OS Platform is NOT \"Windows Vista\".\n"
                                   "This tool is meant only for \"Windows Vista\" Platform.\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.logNames.empty());
    EXPECT_TRUE(outcome.localLowFiles.empty());
    // The setting was for those runs only.
    EXPECT_EQ(RunScenario("wine", scenario).at(0).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Runners, Scenarios, ::testing::ValuesIn(RunnerNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace e2e
