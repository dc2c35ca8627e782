#include "import/word_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/wordlist_import.h"
#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace {
using testing_support::FaultPlatform;
using testing_support::Op;
using testing_support::ScopedPlatform;
using testing_support::TempPrefix;
using Words = std::vector<std::string_view>;
using namespace std::literals;

WordSet SetOf(std::string text) {
    WordSet set;
    set.AssignText(std::move(text));
    return set;
}

TEST(WordSet, SplitsOnCLocaleWhiteSpaceOnly) {
    const WordSet set = SetOf(" a\tb\nc\vd\fe\rf  g\xA0h i\x85j k\0l"s);
    const Words expected{
        "a", "b", "c", "d", "e", "f", "g\xA0h", "i\x85j", std::string_view("k\0l", 3)};
    EXPECT_EQ(set.Words(), expected);
    EXPECT_TRUE(SetOf(" \r\n\t\v\f").Empty());
}

TEST(WordSet, OrdersByUnsignedBytesWithPrefixesFirstAndKeepsEachWordOnce) {
    const WordSet set = SetOf("b a \xC3\xA4 ab B a Ab \x7F b");
    const Words expected{"Ab", "B", "a", "ab", "b", "\x7F", "\xC3\xA4"};
    EXPECT_EQ(set.Words(), expected);
    EXPECT_EQ(set.ToText(), "Ab\nB\na\nab\nb\n\x7F\n\xC3\xA4\n");
    EXPECT_TRUE(set.Contains("ab"));
    EXPECT_FALSE(set.Contains("A"));

    // Words that agree in their first eight bytes, and a NUL that looks like padding.
    const WordSet longWords = SetOf("abcdefgha abcdefgh\0 abcdefgh abcdefghZ ab\0 ab abcdefgha"s);
    const Words expectedLong{"ab", "ab\0"sv, "abcdefgh", "abcdefgh\0"sv, "abcdefghZ", "abcdefgha"};
    EXPECT_EQ(longWords.Words(), expectedLong);
}

TEST(WordSet, MergeReportsAddedWordsInOrderAndOutlivesTheSource) {
    WordSet destination = SetOf("m c x");
    std::vector<std::string> added;
    std::uint32_t present;
    {
        const WordSet source = SetOf("z a c m b z");
        present = destination.MergeFrom(
            source, [&added](std::string_view word) { added.emplace_back(word); });
    }
    // The source and its buffer are gone; the merged views must still be good.
    EXPECT_EQ(present, 2u);
    EXPECT_EQ(added, (std::vector<std::string>{"a", "b", "z"}));
    EXPECT_EQ(destination.ToText(), "a\nb\nc\nm\nx\nz\n");
    EXPECT_EQ(SetOf("").ToText(), "");
}

TEST(WordListFiles, ReadsInTextModeAndLeavesTheSetWhenTheFileIsMissing) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "w.dic",
                          "\xEF\xBB\xBFone two\r\nthree\x1A"
                          "four");
    WordSet set;
    ASSERT_TRUE(ReadWordList(L"C:\\w.dic", set));
    const Words expected{"three", "two", "\xEF\xBB\xBFone"};
    EXPECT_EQ(set.Words(), expected);

    EXPECT_FALSE(ReadWordList(L"C:\\missing.dic", set));
    EXPECT_EQ(set.Words(), expected);
}

TEST(WordListFiles, ReplacementLeavesTheOldFileWholeWhenAnyStepFails) {
    TempPrefix prefix;
    FaultPlatform system;
    ScopedPlatform use(system);
    const auto file = prefix.DriveC() / "d.dic";
    TempPrefix::WriteFile(file, "old\n");
    const WordSet set = SetOf("new word");

    for (const Op op : {Op::kOpenStream, Op::kStreamWrite, Op::kReplace}) {
        system.FailNth(op, 1);
        EXPECT_FALSE(ReplaceWordList(L"C:\\d.dic", set));
        system.ClearFaults();
        EXPECT_EQ(TempPrefix::ReadFile(file), "old\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefix.DriveC()),
                                std::filesystem::directory_iterator()),
                  1)
            << "a replacement file was left behind";
    }

    ASSERT_TRUE(ReplaceWordList(L"C:\\d.dic", set));
    EXPECT_EQ(TempPrefix::ReadFile(file), "new\nword\n");
    ASSERT_TRUE(ReplaceWordList(L"C:\\fresh.dic", set));
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "fresh.dic"), "new\nword\n");
}

}  // namespace
