// The Windows platform layer against the system it runs on (Wine in our builds).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/platform.h"

namespace {
namespace fs = std::filesystem;
using platform::StreamMode;

// A fresh folder under the system's temporary folder, removed at the end.
class Win32Platform : public testing::Test {
  protected:
    Win32Platform() {
        std::random_device seed;
        root_ = fs::temp_directory_path() / ("wordhaul-win32-" + std::to_string(seed()));
        fs::create_directories(root_);
    }
    ~Win32Platform() override {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root_, ignored)) {
            _wchmod(entry.path().c_str(), _S_IREAD | _S_IWRITE);
        }
        fs::remove_all(root_, ignored);
    }

    std::wstring At(const std::wstring& name) const { return (root_ / name).wstring(); }
    void Put(const std::wstring& name, const std::string& bytes) const {
        fs::create_directories((root_ / name).parent_path());
        std::ofstream out(root_ / name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Get(const std::wstring& name) const {
        std::ifstream in(root_ / name, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }

    platform::Platform& p = platform::NativePlatform();
    fs::path root_;
};

// The POSIX stand-in lists in this same order; both must agree with the system.
TEST_F(Win32Platform, ListsDotEntriesFirstThenUpperCasedOrder) {
    for (const wchar_t* name : {L"b.txt", L"_x", L"A", L"~y", L"a.clam", L"Zed"}) Put(name, "");
    std::vector<std::wstring> names;
    ASSERT_TRUE(p.ListFolder(At(L"*"), names));
    const std::vector<std::wstring> expected{L".",     L"..",  L"A",  L"a.clam",
                                             L"b.txt", L"Zed", L"_x", L"~y"};
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(p.ListFolder(At(L"missing\\*"), names));
    EXPECT_FALSE(p.ListFolder(At(L"b.txt\\*"), names));
}

TEST_F(Win32Platform, NonAsciiNamesSurviveFolderAndFileCalls) {
    const std::wstring name = L"gr\u00FC\u00DF \u20AC\U0001F600.txt";
    auto out = p.OpenOutputStream(At(name), StreamMode::kBinary);
    ASSERT_TRUE(out);
    ASSERT_TRUE(out->Write("x"));
    ASSERT_TRUE(out->Close());
    std::vector<std::wstring> names;
    ASSERT_TRUE(p.ListFolder(At(L"*"), names));
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[2], name);
    EXPECT_TRUE(p.CanOpenForReading(At(name)));
}

TEST_F(Win32Platform, TextStreamsWriteCrLfAndStaySharedWhileOpen) {
    auto text = p.OpenOutputStream(At(L"t.log"), StreamMode::kText);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->Write("a\nb\r\n"));
    std::string seen;
    EXPECT_TRUE(p.ReadFile(At(L"t.log"), StreamMode::kBinary, seen)) << "not shared for reading";
    EXPECT_TRUE(text->Close());
    EXPECT_EQ(Get(L"t.log"), "a\r\nb\r\r\n");

    auto binary = p.OpenOutputStream(At(L"t.log"), StreamMode::kBinary);
    ASSERT_TRUE(binary);
    EXPECT_TRUE(binary->Write("a\nb\n"));
    EXPECT_TRUE(binary->Close());
    EXPECT_EQ(Get(L"t.log"), "a\nb\n");
    EXPECT_FALSE(p.OpenOutputStream(At(L"no\\such\\t.log"), StreamMode::kText));
}

// The reads go in large blocks; a CR LF split between two blocks must still read as LF.
TEST_F(Win32Platform, TextReadsJoinCrLfAcrossBlocksAndStopAtCtrlZ) {
    const std::string head((1u << 20) - 1, 'x');
    Put(L"w.txt", head +
                      "\r\nlone\rcr\r\n\x1A"
                      "after");
    std::string text;
    ASSERT_TRUE(p.ReadFile(At(L"w.txt"), StreamMode::kText, text));
    EXPECT_EQ(text, head + "\nlone\rcr\n");
    std::string raw;
    ASSERT_TRUE(p.ReadFile(At(L"w.txt"), StreamMode::kBinary, raw));
    EXPECT_EQ(raw, Get(L"w.txt"));
    EXPECT_FALSE(p.ReadFile(At(L"missing.txt"), StreamMode::kText, raw));
    EXPECT_FALSE(p.ReadFile(root_.wstring(), StreamMode::kText, raw));
}

TEST_F(Win32Platform, DescriptorCallsTakeTheRuntimeFlags) {
    using namespace platform;
    const int flags = kOpenReadWrite | kOpenCreate | kOpenExclusive | kOpenBinary;
    const int fd = p.Open(At(L"d.bin"), flags, kPermRead | kPermWrite);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(p.Write(fd, "a\nb", 3), 3);
    EXPECT_EQ(p.Seek(fd, 0, kSeekEnd), 3);
    EXPECT_EQ(p.Seek(fd, 1, kSeekSet), 1);
    char byte = 0;
    EXPECT_EQ(p.Read(fd, &byte, 1), 1);
    EXPECT_EQ(byte, '\n');
    EXPECT_EQ(p.Close(fd), 0);
    EXPECT_EQ(Get(L"d.bin"), "a\nb");
    EXPECT_EQ(p.Open(At(L"d.bin"), flags, kPermRead | kPermWrite), -1);
    EXPECT_EQ(p.Open(At(L"missing.bin"), kOpenReadOnly | kOpenBinary, kPermRead), -1);
    EXPECT_FALSE(p.CanOpenForReading(At(L"missing.bin")));
}

TEST_F(Win32Platform, FolderCreationReportsErrno) {
    EXPECT_EQ(p.MakeFolder(At(L"new")), 0);
    EXPECT_EQ(p.MakeFolder(At(L"new")), platform::kErrExists);
    EXPECT_EQ(p.MakeFolder(At(L"no\\such")), platform::kErrNotFound);
}

TEST_F(Win32Platform, ReplaceRenamesKeepsAttributesAndRefusesReadOnlyTargets) {
    Put(L"d.tmp", "first");
    ASSERT_TRUE(p.ReplaceFile(At(L"d.txt"), At(L"d.tmp")));
    EXPECT_EQ(Get(L"d.txt"), "first");
    EXPECT_FALSE(fs::exists(root_ / L"d.tmp"));

    Put(L"d.tmp", "second");
    ASSERT_EQ(_wchmod(At(L"d.txt").c_str(), _S_IREAD), 0);
    EXPECT_FALSE(p.ReplaceFile(At(L"d.txt"), At(L"d.tmp")));
    EXPECT_EQ(Get(L"d.txt"), "first");
    EXPECT_EQ(Get(L"d.tmp"), "second");

    ASSERT_EQ(_wchmod(At(L"d.txt").c_str(), _S_IREAD | _S_IWRITE), 0);
    ASSERT_TRUE(p.ReplaceFile(At(L"d.txt"), At(L"d.tmp")));
    EXPECT_EQ(Get(L"d.txt"), "second");
    EXPECT_TRUE(p.DeleteFile(At(L"d.txt")));
    EXPECT_FALSE(p.DeleteFile(At(L"d.txt")));
}

// Standard output sent to a file, as when the tool's output is redirected.
class RedirectedOutput {
  public:
    explicit RedirectedOutput(const std::wstring& file) {
        std::fflush(stdout);
        saved_ = _dup(1);
        const int fd =
            _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
        _dup2(fd, 1);
        _close(fd);
    }
    ~RedirectedOutput() {
        std::fflush(stdout);
        _dup2(saved_, 1);
        _close(saved_);
    }

  private:
    int saved_;
};

TEST_F(Win32Platform, RedirectedWideConsoleTextIsUtf8InOrderWithNarrowText) {
    {
        RedirectedOutput redirect(At(L"out.txt"));
        p.ConsoleWrite("narrow\n");
        p.ConsoleWriteWide(L"gr\u00FC\u00DF \u20AC \U0001F600 \u0416\n");
        p.ConsoleWrite("end");
        p.ConsoleWriteWide(L"!\n");
        p.ConsoleFlush();
    }
    EXPECT_EQ(Get(L"out.txt"),
              "narrow\r\ngr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80 \xD0\x96\r\nend!\r\n");
}

TEST(Win32Utf8, ConvertsWholeTextsAndRejectsInvalidInput) {
    const std::string utf8("a\0\xC3\xBC\xF0\x9F\x98\x80", 8);
    std::wstring wide;
    ASSERT_TRUE(platform::Utf8ToWideChars(utf8, wide));
    EXPECT_EQ(wide, std::wstring(L"a\0\u00FC\U0001F600", 5));
    std::string back;
    ASSERT_TRUE(platform::WideToUtf8Chars(wide, back));
    EXPECT_EQ(back, utf8);
    EXPECT_TRUE(platform::Utf8ToWideChars("", wide));
    EXPECT_TRUE(wide.empty());
    EXPECT_FALSE(platform::Utf8ToWideChars("ok\xC0\xAF", wide));  // overlong
    EXPECT_FALSE(platform::Utf8ToWideChars("ok\xE2\x82", wide));  // truncated
    EXPECT_FALSE(platform::Utf8ToWideChars("\xFF", wide));
}

TEST(Win32System, ShellFoldersAndVersionComeFromTheSystem) {
    auto& p = platform::NativePlatform();
    std::wstring path;
    ASSERT_EQ(p.GetKnownFolderLocalLow(path), platform::kHresultOk);
    EXPECT_TRUE(path.ends_with(L"\\AppData\\LocalLow")) << path.size();
    ASSERT_TRUE(p.GetSpecialFolderPath(platform::kCsidlAppData, path));
    EXPECT_TRUE(path.ends_with(L"\\AppData\\Roaming")) << path.size();
    ASSERT_TRUE(p.GetSpecialFolderPath(platform::kCsidlProgramFilesCommon, path));
    EXPECT_EQ(path, L"C:\\Program Files\\Common Files");
    platform::OsVersion version;
    ASSERT_TRUE(p.GetOsVersion(version));
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_GE(version.majorVersion, 6u);
}

}  // namespace
