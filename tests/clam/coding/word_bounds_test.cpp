// Long and odd inputs: no coding function touches a byte past the capacity it
// was given, and what it writes ends in a NUL within it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "clam/coding/word_class.h"

namespace {

constexpr unsigned char kGuard = 0xA5;

// Exactly capacity bytes for the sanitizer, then guard bytes for the check.
struct Guarded {
    explicit Guarded(size_t capacity) : capacity(capacity), bytes(capacity + 32, kGuard) {}
    char* data() { return reinterpret_cast<char*>(bytes.data()); }
    bool Sound(bool terminated) const {
        for (size_t i = capacity; i < bytes.size(); ++i) {
            if (bytes[i] != kGuard) return false;
        }
        return !terminated || std::memchr(bytes.data(), 0, capacity) != nullptr;
    }
    size_t capacity;
    std::vector<unsigned char> bytes;
};

// Random text, half of it the bytes that mean something to the coding.
std::string OddText(std::mt19937& random, size_t maxLength) {
    static const std::string special = "\x04\x05\x06\x07\b.iIjJAeOU\xC8\xC9\x8E\x99\x9A\xE1";
    std::string text(std::uniform_int_distribution<size_t>(0, maxLength)(random), 'x');
    for (char& c : text) {
        c = random() % 2 ? special[random() % special.size()]
                         : static_cast<char>(random() % 255 + 1);
    }
    return text;
}

TEST(WordBounds, EncodersStayInsideTheirBuffers) {
    const std::set<int> classes = {0, 1, 2, 3, 5, 6, 7, 9, 10, 11, 16, 20};
    std::mt19937 random(1);
    for (int n = 0; n < 12000; ++n) {
        const std::string word = OddText(random, n % 10 == 0 ? 2000 : 140);
        const size_t capacity = random() % 300;
        const int language = static_cast<int>(random() % 43) - 1;
        auto encode = n % 3 == 0   ? ClamEncodeWord
                      : n % 3 == 1 ? ClamEncodeMarkedWord
                                   : ClamEncodePair;
        // The marked word and pair encoders never write past 128 bytes.
        Guarded out(n % 3 == 0 ? capacity : std::min(capacity, kClamEncodedCapacity));
        const int wordClass = encode(word.c_str(), out.data(), capacity, language);
        ASSERT_TRUE(out.Sound(wordClass != 0)) << n << " capacity " << capacity;
        ASSERT_TRUE(classes.count(wordClass)) << wordClass;
    }
}

TEST(WordBounds, DisplayStaysInsideTheCapacity) {
    std::mt19937 random(2);
    for (int n = 0; n < 20000; ++n) {
        const std::string encoded = OddText(random, n % 10 == 0 ? 1000 : 200);
        const size_t capacity = random() % 300;
        const uint32_t wordClass = random() % (n % 2 ? 0x10000 : 32);
        const int language = static_cast<int>(random() % 43) - 1;
        Guarded display(capacity), applied(capacity);
        ClamDisplayForm(encoded.c_str(), wordClass, display.data(), capacity, language);
        ClamApplyClass(encoded.c_str(), wordClass, applied.data(), capacity, language);
        ASSERT_TRUE(display.Sound(capacity > 0)) << n;
        ASSERT_TRUE(applied.Sound(capacity > 0)) << n;
    }
}

TEST(WordBounds, WhatDoesNotFitIsRefusedOrCut) {
    char out[8];
    EXPECT_EQ(ClamEncodeWord("abcdefgh", out, 8, 1), 0);
    EXPECT_EQ(ClamEncodeWord("\x04\x04\x04", out, 3, 1), 0);
    EXPECT_EQ(ClamEncodeWord("abcdefgh", out, 8, 0), 1);
    EXPECT_STREQ(out, "abcdefg");
    ClamDisplayForm("abc\bdef", 1, out, 4, 1);  // first half does not fit
    EXPECT_STREQ(out, "");
    ClamDisplayForm("abc\bdef", 1, out, 6, 1);
    EXPECT_STREQ(out, "abc\bd");
    ClamApplyClass("str\xE1", 3, out, 5, 2);
    EXPECT_STREQ(out, "STRS");
    // Far beyond any word, but the buffer is large enough.
    const std::string digraphs(5000, '\xC8');
    std::vector<char> large(10001);
    EXPECT_EQ(ClamEncodeWord(digraphs.c_str(), large.data(), large.size() - 1, 10), 0);
    EXPECT_EQ(ClamEncodeWord(digraphs.c_str(), large.data(), large.size(), 10), 1);
}

}  // namespace
