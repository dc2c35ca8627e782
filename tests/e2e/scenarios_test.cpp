// End-to-end scenarios: each lays out a user profile, runs the built tool and checks the
// console, the exit status, the log file and the destination files byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "e2e/transcript.h"

namespace e2e {
namespace {

class Scenarios : public ScenarioTest {};

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

INSTANTIATE_TEST_SUITE_P(Runners, Scenarios, ::testing::ValuesIn(RunnerNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace e2e
