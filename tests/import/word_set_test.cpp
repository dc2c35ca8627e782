#include "import/word_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "import/word_set_sort.h"
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

// The sort compares seven bytes at a time as one number: words that agree there, and NULs
// that look like its zero padding, must still come in byte order, a prefix first.
TEST(WordSet, SplitsOnCLocaleWhiteSpaceOnlyAndOrdersByUnsignedBytes) {
    const Words split{"a", "b", "c", "g\xA0h", "i\x85j", "k\0l"sv};
    EXPECT_EQ(SetOf(" a\tb\v\fc\r\n g\xA0h i\x85j k\0l"s).Words(), split);

    const Words ordered{"ab",           "ab\0"sv,    "abcdefg",   "abcdefg\0"sv, "abcdefgh",
                        "abcdefgh\0"sv, "abcdefghZ", "abcdefgha", "\x7F",        "\xC3\xA4"};
    EXPECT_EQ(SetOf("abcdefgha \xC3\xA4 abcdefgh\0 \x7F abcdefgh abcdefg\0 abcdefghZ ab\0 ab "
                    "abcdefg abcdefgha"s)
                  .Words(),
              ordered);
}

// Texts whose words stress the sort: few distinct bytes (many repeats), every byte but
// white space (NUL and bytes from 0x80 on among them), lengths around the multiples of
// the sort's seven-byte step, long shared prefixes, and a last word that ends the text.
std::string RandomText(std::mt19937& random, std::size_t words) {
    static constexpr std::string_view kSpace(" \t\n\v\f\r", 6);
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        if (kSpace.find(static_cast<char>(b)) == std::string_view::npos) bytes.push_back(char(b));
    const std::size_t alphabet = std::uniform_int_distribution<std::size_t>(1, 8)(random) == 1
                                     ? bytes.size()
                                     : std::uniform_int_distribution<std::size_t>(1, 4)(random);
    const std::string stem(std::uniform_int_distribution<std::size_t>(0, 40)(random),
                           bytes[random() % bytes.size()]);
    std::string text;
    for (std::size_t i = 0; i < words; ++i) {
        if (i > 0 || random() % 2) text.append(kSpace.substr(random() % 6, 1 + random() % 3));
        if (random() % 2) text += stem.substr(0, random() % (stem.size() + 1));
        const std::size_t length = 1 + random() % (random() % 8 == 0 ? 60 : 16);
        for (std::size_t k = 0; k < length; ++k) text.push_back(bytes[random() % alphabet]);
    }
    return text;
}

// The plain way: every word, then std::sort and std::unique.
std::vector<std::string> Reference(std::string_view text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t\n\v\f\r", at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(" \t\n\v\f\r", at), text.size());
        words.emplace_back(text.substr(at, end - at));
        at = end;
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
}

std::string Lines(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += word + "\n";
    return text;
}

TEST(WordSet, SortsAndMergesAsAPlainReferenceDoes) {
    std::mt19937 random(11);
    for (int round = 0; round < 400; ++round) {
        // Now and then enough words for the radix sort of large groups.
        const std::string sourceText = RandomText(random, random() % (round % 10 ? 300 : 3000));
        const std::string destinationText = RandomText(random, random() % 300);
        const std::vector<std::string> source = Reference(sourceText);
        std::vector<std::string> merged = Reference(destinationText);
        const std::set<std::string> before(merged.begin(), merged.end());
        std::vector<std::string> expectedAdded;
        for (const std::string& word : source)
            if (!before.count(word)) expectedAdded.push_back(word);
        merged.insert(merged.end(), expectedAdded.begin(), expectedAdded.end());
        std::sort(merged.begin(), merged.end());

        // Sorted texts, as this program writes them, take a shorter way.
        const std::string sortedText = Lines(Reference(destinationText));
        ASSERT_EQ(SetOf(sortedText).ToText(), sortedText) << round;
        ASSERT_EQ(SetOf(sortedText + sortedText).ToText(), sortedText) << round;

        // Texts beyond the fast sort's limit take a plain sort.
        const std::size_t size = destinationText.size();
        ASSERT_EQ(SortedDistinctLines(destinationText, size), sortedText) << round;
        if (size > 0) {
            ASSERT_EQ(SortedDistinctLines(destinationText, size - 1), sortedText) << round;
        }

        WordSet destination = SetOf(destinationText);
        ASSERT_EQ(destination.ToText(), sortedText) << round;
        std::vector<std::string> added;
        const std::uint32_t present = destination.MergeFrom(
            SetOf(sourceText), [&added](std::string_view word) { added.emplace_back(word); });
        ASSERT_EQ(added, expectedAdded) << round;
        ASSERT_EQ(present, source.size() - expectedAdded.size()) << round;
        ASSERT_EQ(destination.ToText(), Lines(merged)) << round;
    }
}

// Inputs that make a naive quicksort quadratic; too slow a sort times the test out.
TEST(WordSet, SortsAdversarialInputsInGoodTime) {
    const std::size_t n = 200000;
    std::string equal;
    for (std::size_t i = 0; i < n; ++i) equal += "same\n";
    EXPECT_EQ(SetOf(equal).ToText(), "same\n");

    std::string sorted, shared;
    const std::string prefix(3000, '\x80');
    for (std::size_t i = 0; i < n; ++i) sorted += std::to_string(1000000 + i) + "\n";
    for (std::size_t i = 0; i < 4000; ++i) shared += prefix + std::to_string(i % 2000) + " ";
    std::string reversed;
    for (std::size_t i = n; i-- > 0;) reversed += std::to_string(1000000 + i) + "\n";
    EXPECT_EQ(SetOf(sorted).ToText(), sorted);
    EXPECT_EQ(SetOf(reversed).ToText(), sorted);
    EXPECT_EQ(SetOf(shared).ToText(), Lines(Reference(shared)));
    EXPECT_EQ(SetOf(shared).Size(), 2000u);
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

    // Other failures on the way are the fault loop's; its word lists fit in one piece.
    std::string words;
    for (int i = 0; i < 20000; ++i) words += "new" + std::to_string(i) + " ";
    set = SetOf(words);
    const std::string before = TempPrefix::ReadFile(folder / "d.dic");
    for (const int nth : {1, 2}) {
        testing_support::FaultPlatform system;
        testing_support::ScopedPlatform use(system);
        system.FailNth(Op::kWrite, nth);
        Descriptor notHeld;
        EXPECT_FALSE(ReplaceWordList(L"C:\\words\\d.dic", set, notHeld));
        EXPECT_EQ(TempPrefix::ReadFile(folder / "d.dic"), before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1)
            << "a replacement file was left behind";
    }
    Descriptor notHeld;
    ASSERT_TRUE(ReplaceWordList(L"C:\\words\\d.dic", set, notHeld));
    EXPECT_EQ(TempPrefix::ReadFile(folder / "d.dic"), set.ToText());
}

}  // namespace
