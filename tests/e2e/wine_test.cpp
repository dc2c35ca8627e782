// What only the Windows build can show: the operating-system test on a real older Windows
// answer, and outcomes that must match the native build's where the two systems differ
// most (listing order, text-mode reading, non-ASCII names).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "e2e/wine_runner.h"

namespace e2e {
namespace {

const std::string kRoaming = "AppData/Roaming/Velta/Linguistics/Dictionaries/";

class WindowsBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveWindowsBuild()) GTEST_SKIP() << "no Windows build given (WORDHAUL_WINE_TOOL)";
        wine_ = MakeWineRunner();
    }
    std::unique_ptr<WineRunner> wine_;
};

TEST_F(WindowsBuild, OlderWindowsGetsTheBannerAndInfoAndNoLogFile) {
    const Scenario scenario{{{kRoaming + "1033/en/user.dic", "word\n"}}};
    const std::vector<Outcome> outcomes = wine_->RunAsWindowsVersion(scenario, "winxp");
    ASSERT_EQ(outcomes.size(), 1u);
    const Outcome& outcome = outcomes[0];
    EXPECT_EQ(outcome.console,
              "Velta (R) Wordhaul - Version 1.0.0\nCopyright (C) Velta. All rights reserved.\n"
              "\n\nINFO:\nCurrent OS Platform is NOT \"Windows Vista\".\n"
              "This tool is meant only for \"Windows Vista\" Platform.\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.logNames.empty());
    EXPECT_TRUE(outcome.localLowFiles.empty());

    // The setting was for those runs only.
    EXPECT_EQ(wine_->Run(scenario).at(0).status, 0);
}

// A word list of more than one read block whose first block ends between CR and LF.
std::string WordsAcrossTheFirstBlock() {
    std::string text = "xxxxx\r\n";  // puts a CR at offset 2^20 - 1
    char word[16];
    for (int i = 0; text.size() < (1u << 20) + 1000; ++i) {
        std::snprintf(word, sizeof word, "w%07d\r\n", (i * 7919) % 1000003);
        text += word;
    }
    return text;
}

TEST_F(WindowsBuild, AgreesWithTheNativeBuildOnEveryOutcome) {
    const std::string big = WordsAcrossTheFirstBlock();
    ASSERT_EQ(big.substr((1u << 20) - 1, 2), "\r\n");
    Scenario scenario{{
        {kRoaming + "~tilde/en/tilde.dic", "tilde\n"},
        {kRoaming + "_under/en/under.dic", "under\n"},
        {kRoaming + "Zed/en/zed.dic", "zed\n"},
        {kRoaming + "alpha/en/alpha.dic", "alpha\n"},
        {kRoaming + "Fran\xC3\xA7"
                    "ais/Qu\xC3\xA9"
                    "bec/W\xC3\xB6rter.dic",
         "\xC3\xA9t\xC3\xA9\n"},
        {kRoaming + "1033/en/big.dic", big},
        {kRoaming + "1033/en/ctrlz.txt",
         "kept\r\nlone\rcr\x1A"
         "dropped after\n"},
        {kRoaming + "1033/en/noext", "x\n"},
        {kRoaming + "1033/en/Upper.DIC", "B b A a\n"},
        {"AppData/LocalLow/Velta/Linguistics/Dictionaries/1033/en/Upper.DIC", "c\r\nb\r\n"},
    }};
    scenario.runs = 2;
    const std::vector<Outcome> native = MakeRunner("native")->Run(scenario);
    const std::vector<Outcome> windows = wine_->Run(scenario);
    ASSERT_EQ(native.size(), 2u);
    ASSERT_EQ(windows.size(), 2u);
    for (std::size_t run = 0; run < native.size(); ++run) {
        SCOPED_TRACE("run " + std::to_string(run + 1));
        EXPECT_EQ(windows[run].console, native[run].console);
        EXPECT_EQ(windows[run].status, native[run].status);
        ASSERT_EQ(native[run].logNames.size(), 1u);
        ASSERT_EQ(windows[run].logNames.size(), 1u);
        EXPECT_TRUE(windows[run].log == native[run].log) << "the log files differ";
        EXPECT_TRUE(windows[run].localLowFiles == native[run].localLowFiles)
            << "the destination files differ";
    }
    EXPECT_EQ(native[0].localLowFiles.size(), 8u);
}

}  // namespace
}  // namespace e2e
