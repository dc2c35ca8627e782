// End-to-end scenarios: each lays out a user profile, runs the built tool and checks the
// console, the exit status, the log file and the destination files byte for byte.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <string_view>

#include "e2e/tool_runner.h"

namespace e2e {
namespace {

const std::string kRoaming = "AppData/Roaming/Velta/Linguistics/Dictionaries/";
const std::string kLocalLow = "AppData/LocalLow/";
const std::string kDestination = "Velta/Linguistics/Dictionaries/";
const std::string kBanner =
    "Velta (R) Wordhaul - Version 1.0.0\nCopyright (C) Velta. All rights reserved.";
const std::string kContinuing = "Continuing to process next dictionary ...";

// What a run should write: the console text and the log bytes, message by message.
struct Transcript {
    std::string console;
    std::string log = "\xEF\xBB\xBF";

    void Log(std::string_view text) {
        for (char c : text) log += c == '\n' ? std::string("\r\n") : std::string(1, c);
        log += "\r\n";
    }
    void Report(std::string_view text) {
        Log(text);
        console.append(text).append("\n");
    }
};

std::string WindowsFolder(const std::string& user, const std::string& under) {
    return "C:\\users\\" + user + "\\AppData\\" + under + "\\Velta\\Linguistics\\Dictionaries";
}

Transcript StartedRun(const std::string& user) {
    Transcript t;
    t.console = kBanner + "\n\nStarted processing.\n";
    t.Log(kBanner);
    t.Log("\nStarted processing.");
    t.Log("\nSOURCE user dictionary folder to import words:");
    t.Log(std::string(47, '-'));
    t.Log(WindowsFolder(user, "Roaming"));
    t.Log("\nDESTINATION user dictionary folder to import words:");
    t.Log(std::string(52, '-'));
    t.Log(WindowsFolder(user, "LocalLow"));
    return t;
}

void FinishRun(Transcript& t) {
    t.Log("\nProcessing complete.");
    t.console += "\nProcessing complete.\n";
}

// A word-list import up to the merge; `place` is "first\second\file".
void ImportHeading(Transcript& t, const std::string& user, const std::string& place) {
    t.Log("\nImporting words from dictionary:");
    t.Log("-----------------------------");
    t.Log(WindowsFolder(user, "Roaming") + "\\" + place);
}

void ImportedWords(Transcript& t, const std::vector<std::string>& added, int present) {
    for (const auto& word : added) {
        t.Log("Succesfully imported word:");
        t.Log(word);
    }
    t.Log("\nTotal count of imported words: ");
    t.Log(std::to_string(added.size()));
    t.Log(
        "\nTotal count of words to be imported being already present in destination "
        "dictionary: ");
    t.Log(std::to_string(present));
}

class Scenarios : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override { runner_ = MakeRunner(GetParam()); }

    Outcome RunOnce(const Scenario& scenario) { return runner_->Run(scenario).at(0); }
    std::string User() const { return runner_->User(); }
    void RequireAccessControl() {
        if (!runner_->CanRestrictAccess()) GTEST_SKIP() << "cannot keep files from root here";
    }

    static void ExpectRun(const Outcome& outcome, const Transcript& expected, int status) {
        EXPECT_EQ(outcome.console, expected.console);
        EXPECT_EQ(outcome.status, status);
        ASSERT_EQ(outcome.logNames.size(), 1u);
        EXPECT_TRUE(
            std::regex_match(outcome.logNames[0], std::regex(R"(Wordhaul_\d{8}_\d{6}\.log)")))
            << outcome.logNames[0];
        EXPECT_EQ(outcome.log, expected.log);
    }

    std::unique_ptr<ToolRunner> runner_;
};

TEST_P(Scenarios, MissingOrEmptySourceFolderStopsWithInfo) {
    const Scenario missing;
    const Scenario empty{{{kRoaming, "", Access::kNormal, true}}};
    for (const Scenario& scenario : {missing, empty}) {
        const Outcome outcome = RunOnce(scenario);
        Transcript expected = StartedRun(User());
        const std::string info =
            "\n\nINFO: No user dictionary data to copy, since source dictionary folder( " +
            WindowsFolder(User(), "Roaming") + " )contains no dictionaries.\n";
        expected.Report(info);
        ExpectRun(outcome, expected, 1);
        EXPECT_TRUE(outcome.localLowFiles.empty());
    }
}

TEST_P(Scenarios, EntriesAtTheWrongLevelOrWithoutExtensionAreNotImported) {
    const Scenario scenario{{
        {kRoaming + "loose.dic", "top\n"},
        {kRoaming + "1033/loose.dic", "first\n"},
        {kRoaming + "1033/en/a.txt", "short\n"},
        {kRoaming + "1033/en/ab.clam", "short\n"},
        {kRoaming + "1033/en/na\xC3\xAFve", "noext\n"},
        {kRoaming + "1033/en/words.", "dot\n"},
        {kRoaming + "1033/en/zzz.dic", "kept\n"},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    for (const std::string name : {"na\xC3\xAFve", "words."}) {
        expected.Report("ERROR: Invalid file extension");
        expected.Report(name);
        expected.Report(kContinuing);
    }
    ImportHeading(expected, User(), "1033\\en\\zzz.dic");
    ImportedWords(expected, {"kept"}, 0);
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);
    const std::map<std::string, std::string> files{{kDestination + "1033/en/zzz.dic", "kept\n"}};
    EXPECT_EQ(outcome.localLowFiles, files);
}

TEST_P(Scenarios, WordListsMergeSortedAndASecondRunAddsNothing) {
    Scenario scenario{{
        {kRoaming + "1031/de/user.dic", "b a b\r\nB\r\n\r\n\xC3\xA4 a\r\n"},
        {kRoaming + "1033/en/custom.txt", "zeta alpha\tbeta\n"},
        {kLocalLow + kDestination + "1033/en/custom.txt", "gamma\nalpha\ngamma\n"},
        {kRoaming + "1033/en/empty.dic", " \r\n\t\n"},
    }};
    scenario.runs = 2;
    const std::vector<Outcome> outcomes = runner_->Run(scenario);
    ASSERT_EQ(outcomes.size(), 2u);

    Transcript first = StartedRun(User());
    ImportHeading(first, User(), "1031\\de\\user.dic");
    ImportedWords(first, {"B", "a", "b", "\xC3\xA4"}, 0);
    ImportHeading(first, User(), "1033\\en\\custom.txt");
    ImportedWords(first, {"beta", "zeta"}, 1);
    ImportHeading(first, User(), "1033\\en\\empty.dic");
    first.Log("No words to import");
    first.Log(kContinuing);
    FinishRun(first);
    ExpectRun(outcomes[0], first, 0);

    Transcript second = StartedRun(User());
    ImportHeading(second, User(), "1031\\de\\user.dic");
    ImportedWords(second, {}, 4);
    ImportHeading(second, User(), "1033\\en\\custom.txt");
    ImportedWords(second, {}, 3);
    ImportHeading(second, User(), "1033\\en\\empty.dic");
    second.Log("No words to import");
    second.Log(kContinuing);
    FinishRun(second);
    ExpectRun(outcomes[1], second, 0);

    const std::map<std::string, std::string> files{
        {kDestination + "1031/de/user.dic", "B\na\nb\n\xC3\xA4\n"},
        {kDestination + "1033/en/custom.txt", "alpha\nbeta\ngamma\nzeta\n"},
    };
    EXPECT_EQ(outcomes[0].localLowFiles, files);
    EXPECT_EQ(outcomes[1].localLowFiles, files);
}

TEST_P(Scenarios, DestinationThatCannotBeReadOrWrittenIsLeftAsItWas) {
    RequireAccessControl();
    const std::string unreadable = kDestination + "1033/en/a-locked.dic";
    const std::string readOnly = kDestination + "1033/en/b-frozen.dic";
    const Scenario scenario{{
        {kRoaming + "1033/en/a-locked.dic", "new\n"},
        {kLocalLow + unreadable, "old\n", Access::kUnreadable},
        {kRoaming + "1033/en/b-frozen.dic", "new old\n"},
        {kLocalLow + readOnly, "old\n", Access::kReadOnly},
        {kRoaming + "1033/en/c-open.dic", "fine\n"},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    const std::string destination = WindowsFolder(User(), "LocalLow") + "\\1033\\en\\";
    ImportHeading(expected, User(), "1033\\en\\a-locked.dic");
    expected.Report("ERROR: Unable to read destination dictionary");
    expected.Report(destination + "a-locked.dic");
    expected.Report(kContinuing);
    ImportHeading(expected, User(), "1033\\en\\b-frozen.dic");
    ImportedWords(expected, {"new"}, 1);
    expected.Report("ERROR: Unable to write destination dictionary");
    expected.Report(destination + "b-frozen.dic");
    expected.Report(kContinuing);
    ImportHeading(expected, User(), "1033\\en\\c-open.dic");
    ImportedWords(expected, {"fine"}, 0);
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);

    const std::map<std::string, std::string> files{
        {unreadable, "old\n"},
        {readOnly, "old\n"},
        {kDestination + "1033/en/c-open.dic", "fine\n"},
    };
    EXPECT_EQ(outcome.localLowFiles, files);
}

TEST_P(Scenarios, ClamDictionariesAreReportedAsNotOpenedAndTheWalkGoesOn) {
    const Scenario scenario{{
        {kRoaming + "1033/en/user.clam", "not yet readable"},
        {kRoaming + "1033/en/user.txt", "word\n"},
    }};
    const Outcome outcome = RunOnce(scenario);

    Transcript expected = StartedRun(User());
    const std::string source = WindowsFolder(User(), "Roaming") + "\\1033\\en\\user.clam";
    expected.Log("\nImporting words from dictionary:");
    expected.Log("----------------------------");
    expected.Log(source);
    expected.Report("ERROR: Unable to open clam file");
    expected.Report(source);
    expected.Report(kContinuing);
    ImportHeading(expected, User(), "1033\\en\\user.txt");
    ImportedWords(expected, {"word"}, 0);
    FinishRun(expected);
    ExpectRun(outcome, expected, 0);
}

INSTANTIATE_TEST_SUITE_P(Runners, Scenarios, ::testing::ValuesIn(RunnerNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace e2e
