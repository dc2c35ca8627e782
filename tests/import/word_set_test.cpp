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

TEST(WordListFiles, ReadInTextModeAndWrittenSorted) {
    TempPrefix prefix;
    // A folder of its own: under Wine, drive C holds the system's folders too.
    const auto folder = prefix.DriveC() / "words";
    TempPrefix::WriteFile(folder / "d.dic",
                          "\xEF\xBB\xBFone two\r\nold\x1A"
                          "after");
    WordSet set;
    ASSERT_TRUE(ReadWordList(L"C:\\words\\d.dic", set));
    EXPECT_EQ(set.Words(), (Words{"old", "two", "\xEF\xBB\xBFone"}));

    // Failures on the way are the fault loop's.
    set = SetOf("new word");
    Descriptor notHeld;
    ASSERT_TRUE(ReplaceWordList(L"C:\\words\\d.dic", set, notHeld));
    EXPECT_EQ(TempPrefix::ReadFile(folder / "d.dic"), "new\nword\n");
}

}  // namespace
