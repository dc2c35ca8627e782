// clamtool's dictionary commands, run as a user runs them.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

class ClamtoolStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "runs clamtool through a POSIX shell";
#endif
        const char* build = std::getenv("WORDHAUL_BINARY_DIR");
        if (build == nullptr) GTEST_SKIP() << "WORDHAUL_BINARY_DIR is not set";
        tool_ = fs::path(build) / "tools" / "clamtool";
        env_ = (fs::path(build) / "env" / "lang01.env").string();
        other_ = (fs::path(build) / "env" / "lang02.env").string();
        std::random_device seed;
        dir_ = fs::temp_directory_path() / ("wordhaul-clamtool-" + std::to_string(seed()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
    }

    Result Run(const std::string& args) {
        const fs::path out = dir_ / "out.txt";
        const fs::path err = dir_ / "err.txt";
        const std::string command =
            tool_.string() + " " + args + " >" + out.string() + " 2>" + err.string();
        const int raw = std::system(command.c_str());
#ifdef _WIN32
        const int status = raw;
#else
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
        return {status, ReadFile(out), ReadFile(err)};
    }
    std::string File(const std::string& name) const {
        return (dir_ / name).string();
    }

    fs::path tool_;
    std::string env_;
    std::string other_;
    fs::path dir_;
};

TEST_F(ClamtoolStoreTest, NewAddFindAndListWorkTogether) {
    const std::string dict = File("d.clam");
    EXPECT_EQ(Run("new " + dict + " --env " + env_).status, 0);
    EXPECT_EQ(fs::file_size(dict), 1024u);
    const Result again = Run("new " + dict + " --env " + env_);
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("--force"), std::string::npos);
    EXPECT_EQ(Run("new " + dict + " --env " + env_ + " --force").status, 0);

    std::ofstream(File("words.txt")) << "Paris\nbread\n" << std::string(64, 'x') << "\n";
    const Result added =
        Run("add " + dict + " --env " + env_ + " --words-file " + File("words.txt") + " cheese");
    EXPECT_EQ(added.status, 0);
    EXPECT_EQ(added.out, "added\nadded\nadded\nrefused\n");  // arguments, then the file
    const Result found = Run("find " + dict + " --env " + env_ + " paris Paris BREAD butter");
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out, "absent\npresent\t2\npresent\t1\nabsent\n");
    const Result listed = Run("list " + dict + " --env " + env_);
    EXPECT_EQ(listed.status, 0);
    std::multiset<std::string> words;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) words.insert(line);
    EXPECT_EQ(words, (std::multiset<std::string>{"Paris", "bread", "cheese"}));

    const Result verified = Run("verify " + dict + " --env " + env_);
    EXPECT_EQ(verified.status, 0);
    EXPECT_EQ(verified.out, "1 blocks, depth 1, 3 live records\n");
    const Result dumped = Run("dump " + dict);
    EXPECT_EQ(dumped.status, 0);
    EXPECT_NE(dumped.out.find("block 0\tleaf"), std::string::npos);
}

TEST_F(ClamtoolStoreTest, FilesThatCannotServeExitWithTheirStatus) {
    const std::string dict = File("d.clam");
    ASSERT_EQ(Run("new " + dict + " --env " + env_).status, 0);
    const Result language = Run("add " + dict + " --env " + other_ + " word");
    EXPECT_EQ(language.status, 2);
    EXPECT_NE(language.err.find("status 6"), std::string::npos) << language.err;
    EXPECT_EQ(std::count(language.err.begin(), language.err.end(), '\n'), 1);
    const Result missing = Run("list " + File("none.clam") + " --env " + env_);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("status 2"), std::string::npos) << missing.err;
}

TEST_F(ClamtoolStoreTest, VerifyReportsEveryProblemOfADamagedTree) {
    const std::string dict = File("big.clam");
    ASSERT_EQ(Run("new " + dict + " --env " + env_).status, 0);
    {
        std::ofstream words(File("words.txt"));
        std::mt19937 rng(9);
        for (int i = 0; i < 3000; ++i) {
            std::string w(3 + rng() % 9, 'a');
            for (char& c : w) c = static_cast<char>('a' + rng() % 26);
            words << w << "\n";
        }
    }
    ASSERT_EQ(Run("add " + dict + " --env " + env_ + " --words-file " + File("words.txt")).status,
              0);
    const Result clean = Run("verify " + dict + " --env " + env_);
    ASSERT_EQ(clean.status, 0) << clean.out;
    // Cut the leaf chain after the leftmost leaf (block 2 after the first split).
    std::string bytes = ReadFile(dict);
    bytes[2 * 1024] = static_cast<char>(0xFF);
    bytes[2 * 1024 + 1] = static_cast<char>(0xFF);
    std::ofstream(dict, std::ios::binary | std::ios::trunc) << bytes;
    const Result damaged = Run("verify " + dict + " --env " + env_);
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(damaged.out.find("block 2: leaf link 65535"), std::string::npos) << damaged.out;
}

}  // namespace
