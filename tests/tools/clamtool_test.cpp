#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/env_files.h"

namespace {
namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string field; std::getline(s, field, '\t');) fields.push_back(field);
    return fields;
}

class Clamtool : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "runs clamtool through a POSIX shell";
#endif
        const char* binary = std::getenv("WORDHAUL_BINARY_DIR");
        ASSERT_NE(binary, nullptr) << "run through ctest";
        build_ = binary;
        folder_ =
            fs::temp_directory_path() / ("clamtool-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        fs::remove_all(folder_);
    }

    // Runs clamtool with arguments given as shell words (quote them as needed).
    Result Run(const std::string& arguments) {
        const fs::path out = folder_ / "stdout";
        const fs::path err = folder_ / "stderr";
        const std::string command = "'" + (build_ / "tools" / "clamtool").string() + "' " +
                                    arguments + " >'" + out.string() + "' 2>'" + err.string() +
                                    "' </dev/null";
        const int raw = std::system(command.c_str());
#ifdef _WIN32
        const int status = raw;
#else
        const int status = WEXITSTATUS(raw);
#endif
        return {status, ReadFile(out), ReadFile(err)};
    }

    std::string Env(int language) const {
        return (build_ / "env" / (testing_support::DefinitionName(language) + ".env")).string();
    }

    fs::path build_;
    fs::path folder_;
};

TEST_F(Clamtool, GivesHelpOnItselfAndEveryCommand) {
    const Result tool = Run("--help");
    EXPECT_EQ(tool.status, 0);
    for (const char* command : {"mkenv", "encode", "key"}) {
        EXPECT_NE(tool.out.find(std::string("  ") + command), std::string::npos) << command;
        const Result help = Run(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: clamtool ") + command, 0), 0u) << help.out;
    }
}

TEST_F(Clamtool, RefusesBadArgumentsWithOneLineAndStatus2) {
    WriteFile(folder_ / "bad.env", std::string("\x02\x01PX") + std::string(40, '\0'));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "no command"},
        {"frob", "unknown command"},
        {"encode --lang 1 --colour x", "unknown option --colour"},
        {"encode hello", "missing option --lang"},
        {"encode --lang 40 hello", "--lang must be a number from 1 to 39"},
        {"encode --lang", "--lang needs a value"},
        {"encode --lang 1 --words-file '" + (folder_ / "missing").string() + "'", "cannot read"},
        {"key hello", "missing option --env"},
        {"key --env '" + (folder_ / "missing.env").string() + "' a", "cannot open environment"},
        {"key --env '" + (folder_ / "bad.env").string() + "' a",
         "status 4 (not a phonetic environment file)"},
        {"mkenv only-one", "mkenv takes DEFINITION and OUT"},
    };
    for (const auto& [arguments, message] : cases) {
        const Result r = Run(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_TRUE(r.out.empty()) << arguments;
        ASSERT_EQ(Lines(r.err).size(), 1u) << arguments << ": " << r.err;
        EXPECT_EQ(r.err.rfind("clamtool: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << arguments << ": " << r.err;
    }
}

TEST_F(Clamtool, MkenvWritesTheCompiledEnvironmentOrNamesTheFaultyLine) {
    const fs::path definition = folder_ / "lang.def";
    const fs::path env = folder_ / "lang.env";
    const std::string text = testing_support::ReadSourceFile("data/env/lang22.def");
    WriteFile(definition, text);
    const Result ok = Run("mkenv '" + definition.string() + "' '" + env.string() + "'");
    EXPECT_EQ(ok.status, 0) << ok.err;
    const std::vector<std::uint8_t> expected = testing_support::CompileText(text);
    EXPECT_EQ(ReadFile(env), std::string(expected.begin(), expected.end()));

    WriteFile(definition, "language 1\nclass-base 32\n\nrule ab = 3\nclass\n");
    const Result bad = Run("mkenv '" + definition.string() + "' '" + env.string() + "'");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("lang.def:4: a two-letter direct rule"), std::string::npos) << bad.err;
}

TEST_F(Clamtool, EncodesAsTheWordAdditionDoes) {
    WriteFile(folder_ / "words", std::string("a\x08") +
                                     "Bc\nx\x04y\na\x08"
                                     "b\x08"
                                     "c\n");
    const Result r =
        Run("encode --lang 1 hello HeLLo --words-file '" + (folder_ / "words").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(Fields(lines[0]),
              (std::vector<std::string>{"68656c6c6f", "1", "68656c6c6f", "68656c6c6f"}));
    EXPECT_EQ(Fields(lines[1]), (std::vector<std::string>{"48654c4c6f", "16",
                                                          "68656c6c6f0848654c4c6f", "48654c4c6f"}));
    EXPECT_EQ(Fields(lines[2]),
              (std::vector<std::string>{"61084263", "2", "61086263", "61084263"}));
    EXPECT_EQ(Fields(lines[3])[1], "1");  // a marked word
    EXPECT_EQ(Fields(lines[3])[2], "780479");
    EXPECT_EQ(Fields(lines[4]), (std::vector<std::string>{"6108620863", "0", "-", "-"}));
}

TEST_F(Clamtool, RefusesTheWordsTheWordAdditionRefuses) {
    const std::string longest(63, 'x');
    const Result r = Run("encode --lang 1 '' " + longest + " " + longest + "x");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(Fields(lines[0]), (std::vector<std::string>{"", "0", "-", "-"}));
    EXPECT_EQ(Fields(lines[1])[1], "1");
    EXPECT_EQ(Fields(lines[2])[1], "0");
    std::string longHex;
    for (int i = 0; i < 64; ++i) longHex += "78";
    const Result key = Run("key --env '" + Env(1) + "' '' " + longest + "x");
    EXPECT_EQ(Lines(key.out),
              (std::vector<std::string>{"\t-\t-\t-\t-\t-", longHex + "\t-\t-\t-\t-\t-"}));
}

TEST_F(Clamtool, KeyShowsTheCodingOfEachWordAndReadsItBack) {
    // Lines split at line feeds only: the carriage return belongs to the word.
    WriteFile(folder_ / "words",
              "bach\r\nschule\n\nstra\xe1"
              "e");
    const Result r =
        Run("key --env '" + Env(2) + "' Hallo --words-file '" + (folder_ / "words").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(Fields(lines[1])[0], "626163680d");
    EXPECT_EQ(Fields(lines[3])[0], "");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> f = Fields(lines[i] + "\t.");
        ASSERT_EQ(f.size(), 7u) << lines[i];
        EXPECT_EQ(f[4].substr(0, 4), f[3].substr(0, 4)) << lines[i];  // the same class bytes
        // The stored key reads back as the encoded form, except the carriage return, which
        // has no symbol and comes back as byte 11.
        EXPECT_EQ(f[5], i == 1 ? "626163680b08626163680d" : f[1]) << lines[i];
    }
    EXPECT_EQ(Fields(lines[0])[1], "68616c6c6f");  // Hallo, folded
}

}  // namespace
