#include "import/word_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "import/wordlist_import.h"
#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {
using testing_support::Op;
using testing_support::TempPrefix;
using Words = std::vector<std::string_view>;
using namespace std::literals;

WordSet SetOf(std::string text) {
    WordSet set;
    set.AssignText(std::move(text));
    return set;
}

// The sort compares the first eight bytes as one number: words that agree there, and NULs
// that look like its zero padding, must still come in byte order, a prefix first.
TEST(WordSet, SplitsOnCLocaleWhiteSpaceOnlyAndOrdersByUnsignedBytes) {
    const Words split{"a", "b", "c", "g\xA0h", "i\x85j", "k\0l"sv};
    EXPECT_EQ(SetOf(" a\tb\v\fc\r\n g\xA0h i\x85j k\0l"s).Words(), split);

    const Words ordered{"ab",        "ab\0"sv,    "abcdefgh", "abcdefgh\0"sv,
                        "abcdefghZ", "abcdefgha", "\x7F",     "\xC3\xA4"};
    EXPECT_EQ(
        SetOf("abcdefgha \xC3\xA4 abcdefgh\0 \x7F abcdefgh abcdefghZ ab\0 ab abcdefgha"s).Words(),
        ordered);
}

TEST(WordSet, MergedWordsOutliveTheSourceSet) {
    WordSet destination = SetOf("m c x");
    std::vector<std::string> added;
    {
        const WordSet source = SetOf("z a c m b z");
        EXPECT_EQ(destination.MergeFrom(
                      source, [&added](std::string_view word) { added.emplace_back(word); }),
                  2u);
    }
    EXPECT_EQ(added, (std::vector<std::string>{"a", "b", "z"}));
    EXPECT_EQ(destination.ToText(), "a\nb\nc\nm\nx\nz\n");
}

TEST(WordListFiles, ReadInTextModeAndReplacedWholeOrNotAtAll) {
    TempPrefix prefix;
    // A folder of its own: under Wine, drive C holds the system's folders too.
    const auto folder = prefix.DriveC() / "words";
    TempPrefix::WriteFile(folder / "d.dic",
                          "\xEF\xBB\xBFone two\r\nold\x1A"
                          "after");
    WordSet set;
    ASSERT_TRUE(ReadWordList(L"C:\\words\\d.dic", set));
    EXPECT_EQ(set.Words(), (Words{"old", "two", "\xEF\xBB\xBFone"}));

    testing_support::FaultPlatform system;
    testing_support::ScopedPlatform use(system);
    const std::string before = TempPrefix::ReadFile(folder / "d.dic");
    set = SetOf("new word");
    for (const Op op : {Op::kOpenStream, Op::kStreamWrite, Op::kReplace}) {
        system.FailNth(op, 1);
        EXPECT_FALSE(ReplaceWordList(L"C:\\words\\d.dic", set));
        system.ClearFaults();
        EXPECT_EQ(TempPrefix::ReadFile(folder / "d.dic"), before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1)
            << "a replacement file was left behind";
    }
    ASSERT_TRUE(ReplaceWordList(L"C:\\words\\d.dic", set));
    EXPECT_EQ(TempPrefix::ReadFile(folder / "d.dic"), "new\nword\n");
}

}  // namespace
