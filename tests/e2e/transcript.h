// What the scenarios expect of a run, built message by message as the tool writes them,
// and the fixture that runs a scenario with each runner of this build.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/tool_runner.h"

namespace e2e {

inline const std::string kRoaming = "AppData/Roaming/Velta/Linguistics/Dictionaries/";
inline const std::string kLocalLow = "AppData/LocalLow/";
inline const std::string kDestination = "Velta/Linguistics/Dictionaries/";
inline const std::string kBanner =
    "Velta (R) Wordhaul - Version 1.0.0\nCopyright (C) Velta. All rights reserved.";
inline const std::string kContinuing = "Continuing to process next dictionary ...";

// The console text and the log bytes of a run.
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

inline std::string WindowsFolder(const std::string& user, const std::string& under) {
    return "C:\\users\\" + user + "\\AppData\\" + under + "\\Velta\\Linguistics\\Dictionaries";
}

inline Transcript StartedRun(const std::string& user) {
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

inline void FinishRun(Transcript& t) {
    t.Log("\nProcessing complete.");
    t.console += "\nProcessing complete.\n";
}

// A word-list import up to the merge; `place` is "first\second\file".
inline void ImportHeading(Transcript& t, const std::string& user, const std::string& place) {
    t.Log("\nImporting words from dictionary:");
    t.Log("-----------------------------");
    t.Log(WindowsFolder(user, "Roaming") + "\\" + place);
}

inline void Totals(Transcript& t, std::size_t imported, std::size_t present) {
    t.Log("\nTotal count of imported words: ");
    t.Log(std::to_string(imported));
    t.Log(
        "\nTotal count of words to be imported being already present in destination "
        "dictionary: ");
    t.Log(std::to_string(present));
}

inline void ImportedWords(Transcript& t, const std::vector<std::string>& added, int present) {
    for (const auto& word : added) {
        t.Log("Succesfully imported word:");
        t.Log(word);
    }
    Totals(t, added.size(), static_cast<std::size_t>(present));
}

// Runs the scenarios of a suite with every runner of this build.
class ScenarioTest : public ::testing::TestWithParam<std::string> {
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

}  // namespace e2e
