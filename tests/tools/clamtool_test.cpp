// clamtool run as a user runs it, through a POSIX shell.
#include <gtest/gtest.h>

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

std::string Read(const fs::path& path) {
    std::ostringstream all;
    all << std::ifstream(path, std::ios::binary).rdbuf();
    return all.str();
}

std::string Quote(const fs::path& path) {
    return "'" + path.string() + "'";
}

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    std::istringstream s(text);
    for (std::string part; std::getline(s, part, at);) parts.push_back(part);
    return parts;
}

struct Result {
    int status;
    std::string out, err;
};

class Clamtool : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "runs clamtool through a POSIX shell";
#endif
        ASSERT_FALSE(build_.empty()) << "run through ctest";
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
    }

    // Arguments as shell words, quoted as needed.
    Result Run(const std::string& arguments) {
        const std::string command = Quote(build_ / "tools" / "clamtool") + " " + arguments + " >" +
                                    Q("out") + " 2>" + Q("err") + " </dev/null";
        const int raw = std::system(command.c_str());
        // A POSIX wait status: the exit status, or -1 for a process ended by a signal.
        return {raw & 0x7F ? -1 : (raw >> 8) & 0xFF, Read(dir_ / "out"), Read(dir_ / "err")};
    }
    std::string Q(const std::string& name) const {
        return Quote(dir_ / name);
    }
    std::string Env(int language) const {
        return Quote(build_ / "env" / (testing_support::DefinitionName(language) + ".env"));
    }

    const char* binary_ = std::getenv("WORDHAUL_BINARY_DIR");
    fs::path build_ = binary_ != nullptr ? binary_ : "";
    fs::path dir_ =
        fs::temp_directory_path() / ("clamtool-test-" + std::to_string(std::random_device{}()));
};

TEST_F(Clamtool, GivesHelpAndRefusesWithOneLineAndStatus2) {
    const Result tool = Run("--help");
    EXPECT_EQ(tool.status, 0);
    for (const std::string command :
         {"mkenv", "encode", "key", "new", "add", "find", "list", "verify", "dump"}) {
        EXPECT_NE(tool.out.find("  " + command), std::string::npos) << command;
        const Result help = Run(command + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_TRUE(help.out.starts_with("usage: clamtool " + command)) << help.out;
    }
    std::ofstream(dir_ / "bad.env", std::ios::binary) << "\x02\x01PX" << std::string(40, '\0');
    std::ofstream(dir_ / "bad.def") << "language 1\nclass-base 32\n\nrule ab = 3\nclass\n";
    ASSERT_EQ(Run("new " + Q("d.clam") + " --env " + Env(1)).status, 0);
    const std::pair<std::string, std::string> kCases[] = {
        {"", "no command"},
        {"frob", "unknown command"},
        {"encode --lang 1 --colour x", "unknown option --colour"},
        {"encode hello", "missing option --lang"},
        {"encode --lang 40 hello", "--lang must be a number from 1 to 39"},
        {"encode --lang", "--lang needs a value"},
        {"encode --lang 1 --words-file " + Q("missing"), "cannot read"},
        {"key hello", "missing option --env"},
        {"key --env " + Q("missing.env") + " a", "cannot open environment"},
        {"key --env " + Q("bad.env") + " a", "status 4 (not a phonetic environment file)"},
        {"mkenv only-one", "mkenv takes DEFINITION and OUT"},
        {"mkenv " + Q("bad.def") + " " + Q("bad.env"), "bad.def:4: a two-letter direct rule"},
        {"new " + Q("d.clam") + " --env " + Env(1), "exists; --force replaces it"},
        {"add " + Q("d.clam") + " --env " + Env(2) + " word", "status 6"},
        {"list " + Q("none.clam") + " --env " + Env(1), "status 2"},
    };
    for (const auto& [arguments, message] : kCases) {
        const Result r = Run(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_EQ(r.out, "") << arguments;
        EXPECT_TRUE(r.err.starts_with("clamtool: ") && r.err.find(message) != std::string::npos &&
                    r.err.find('\n') == r.err.size() - 1)
            << arguments << ": " << r.err;
    }
}

// Word additions refuse the empty word and words of 64 bytes or more: so do encode and key.
TEST_F(Clamtool, EncodesAsTheWordAdditionDoes) {
    std::ofstream(dir_ / "words", std::ios::binary) << "a\bBc\nx\x04y\na\bb\bc\n";
    const std::string w63(63, 'w'), hex63(126, '7');  // w is 77 in hex
    const Result r =
        Run("encode --lang 1 hello HeLLo '' " + w63 + " " + w63 + "w --words-file " + Q("words"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "68656c6c6f\t1\t68656c6c6f\t68656c6c6f\n"
              "48654c4c6f\t16\t68656c6c6f0848654c4c6f\t48654c4c6f\n"
              "\t0\t-\t-\n" +
                  hex63 + "\t1\t" + hex63 + "\t" + hex63 + "\n" + hex63 +
                  "77\t0\t-\t-\n"
                  "61084263\t2\t61086263\t61084263\n"  // a pair
                  "780479\t1\t780479\t780479\n"        // a marked word
                  "6108620863\t0\t-\t-\n");
}

TEST_F(Clamtool, KeyShowsTheCodingOfEachWordAndReadsItBack) {
    // Lines split at line feeds only: the carriage return belongs to the word.
    std::ofstream(dir_ / "words", std::ios::binary) << "bach\r\nschule\n\nstra\xe1"
                                                       "e";
    const Result r = Run("key --env " + Env(2) + " Hallo '' " + std::string(64, 'w') +
                         " --words-file " + Q("words"));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Split(r.out, '\n');
    ASSERT_EQ(lines.size(), 7u) << r.out;
    EXPECT_EQ(Split(lines[0], '\t')[1], "68616c6c6f");  // Hallo, folded
    // The build made the environment with clamtool mkenv.
    const std::vector<std::uint8_t> env = testing_support::CompiledDefinition("lang02");
    EXPECT_EQ(Read(build_ / "env" / "lang02.env"), std::string(env.begin(), env.end()));
    for (std::size_t i : {1, 5}) EXPECT_EQ(lines[i], "\t-\t-\t-\t-\t-");
    EXPECT_EQ(lines[2], std::string(128, '7') + "\t-\t-\t-\t-\t-");
    for (std::size_t i : {0, 3, 4, 6}) {
        const std::vector<std::string> f = Split(lines[i], '\t');
        ASSERT_EQ(f.size(), 6u) << lines[i];
        EXPECT_EQ(f[4].substr(0, 4), f[3].substr(0, 4)) << lines[i];  // the same class bytes
        // The stored key reads back as the encoded form, but the carriage return has no symbol
        // and comes back as byte 11.
        EXPECT_EQ(f[5], i == 3 ? "626163680b08626163680d" : f[1]) << lines[i];
    }
}

TEST_F(Clamtool, DictionaryCommandsWorkTogetherAndVerifyNamesProblems) {
    const std::string dict = Q("d.clam") + " --env " + Env(1);
    EXPECT_EQ(Run("new " + dict).status, 0);
    EXPECT_EQ(Run("new " + dict + " --force").status, 0);
    std::ofstream(dir_ / "words") << "Paris\nbread\n" << std::string(64, 'x') << "\n";
    EXPECT_EQ(Run("add " + dict + " --words-file " + Q("words") + " cheese").out,
              "added\nadded\nadded\nrefused\n");  // arguments, then the file
    EXPECT_EQ(Run("find " + dict + " paris Paris BREAD butter").out,
              "absent\npresent\t2\npresent\t1\nabsent\n");
    const Result verified = Run("verify " + dict);
    EXPECT_EQ(verified.status, 0);
    EXPECT_EQ(verified.out, "1 blocks, depth 1, 3 live records\n");
    EXPECT_TRUE(
        Run("dump " + Q("d.clam")).out.starts_with("header\tversion 6\tlanguage 1\nblock 0\tleaf"));

    std::ofstream words(dir_ / "many");
    for (int i = 0; i < 3000; ++i) words << "w" << i << "\n";
    words.close();
    ASSERT_EQ(Run("add " + dict + " --words-file " + Q("many")).status, 0);
    ASSERT_EQ(Run("verify " + dict).status, 0);
    // Cut the leaf chain after the leftmost leaf (block 2 after the first split).
    std::fstream file(dir_ / "d.clam", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(2 * 1024);
    file.write("\xFF\xFF", 2);
    file.close();
    const Result damaged = Run("verify " + dict);
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.out.find("block 2: leaf link 65535"), std::string::npos) << damaged.out;
}

}  // namespace
