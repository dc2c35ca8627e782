// Long and odd inputs: no coding function may touch a byte past the capacity
// it was given, and what it writes always ends in a NUL within it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "clam/coding/word_class.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
constexpr size_t kGuardBytes = 32;

// An output buffer of exactly capacity bytes (so the sanitizer sees overruns)
// followed by guard bytes checked after the call.
class GuardedBuffer {
  public:
    explicit GuardedBuffer(size_t capacity)
        : capacity_(capacity), bytes_(capacity + kGuardBytes, kGuard) {}

    char* data() { return reinterpret_cast<char*>(bytes_.data()); }

    bool GuardIntact() const {
        for (size_t i = capacity_; i < bytes_.size(); ++i) {
            if (bytes_[i] != kGuard) return false;
        }
        return true;
    }

    bool TerminatedWithin(size_t limit) const {
        return std::memchr(bytes_.data(), 0, std::min(limit, capacity_)) != nullptr;
    }

  private:
    size_t capacity_;
    std::vector<unsigned char> bytes_;
};

// Random text biased to the bytes with a meaning in the coding.
std::string OddText(std::mt19937& random, size_t maxLength) {
    static const std::string special = "\x04\x05\x06\x07\x08.iIjJAeOU\xC8\xC9\x8E\x99\x9A\xE1";
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<size_t> which(0, special.size() - 1);
    std::string text(length(random), 'x');
    for (char& c : text)
        c = random() % 2 ? special[which(random)] : static_cast<char>(byte(random));
    return text;
}

using Encoder = std::function<int(const char*, char*, size_t, int)>;

void ExpectEncoderStaysInside(const Encoder& encode, size_t bound, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> capacities(0, 300);
    std::uniform_int_distribution<int> languages(-1, 41);
    for (int n = 0; n < 4000; ++n) {
        const std::string word = OddText(random, n % 10 == 0 ? 2000 : 140);
        const size_t capacity = capacities(random);
        const int language = languages(random);
        const size_t limit = std::min(capacity, bound);
        GuardedBuffer out(limit);
        const int wordClass = encode(word.c_str(), out.data(), capacity, language);
        ASSERT_TRUE(out.GuardIntact()) << "capacity " << capacity << " language " << language;
        if (wordClass != 0) {
            ASSERT_TRUE(out.TerminatedWithin(limit)) << capacity;
            ASSERT_TRUE(wordClass == 1 || wordClass == 2 || wordClass == 3 || wordClass == 5 ||
                        wordClass == 6 || wordClass == 7 || wordClass == 9 || wordClass == 10 ||
                        wordClass == 11 || wordClass == 16 || wordClass == 20)
                << wordClass;
        }
    }
}

TEST(WordBounds, EncodersNeverWritePastTheirBuffer) {
    ExpectEncoderStaysInside(ClamEncodeWord, SIZE_MAX, 1);
    // These two never write more than their 128-byte buffer.
    ExpectEncoderStaysInside(ClamEncodeMarkedWord, kClamEncodedCapacity, 2);
    ExpectEncoderStaysInside(ClamEncodePair, kClamEncodedCapacity, 3);
}

TEST(WordBounds, DisplayNeverWritesPastTheCapacity) {
    std::mt19937 random(4);
    std::uniform_int_distribution<size_t> capacities(0, 300);
    std::uniform_int_distribution<int> languages(-1, 41);
    std::uniform_int_distribution<uint32_t> classes(0, 0xFFFF);
    for (int n = 0; n < 20000; ++n) {
        const std::string encoded = OddText(random, n % 10 == 0 ? 1000 : 200);
        const size_t capacity = capacities(random);
        const uint32_t wordClass = n % 2 ? classes(random) : classes(random) % 32;
        const int language = languages(random);
        GuardedBuffer display(capacity);
        ClamDisplayForm(encoded.c_str(), wordClass, display.data(), capacity, language);
        ASSERT_TRUE(display.GuardIntact()) << capacity << " class " << wordClass;
        if (capacity > 0) {
            ASSERT_TRUE(display.TerminatedWithin(capacity));
        }
        GuardedBuffer applied(capacity);
        ClamApplyClass(encoded.c_str(), wordClass, applied.data(), capacity, language);
        ASSERT_TRUE(applied.GuardIntact()) << capacity << " class " << wordClass;
        if (capacity > 0) {
            ASSERT_TRUE(applied.TerminatedWithin(capacity));
        }
    }
}

TEST(WordBounds, OutputIsCutAtTheCapacity) {
    char out[8];
    EXPECT_EQ(ClamEncodeWord("abcdefg", out, 8, 1), 1);
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(ClamEncodeWord("abcdefgh", out, 8, 1), 0);
    EXPECT_EQ(ClamEncodeWord("\x04\x04\x04", out, 3, 1), 0);  // markers fill it
    EXPECT_EQ(ClamEncodeWord("abcdefgh", out, 8, 0), 1);      // unknown language: cut
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(ClamEncodeWord("", out, 0, 1), 0);

    // A pair's first half that does not fit leaves the display empty.
    const std::string pair = std::string("abc") + kClamPairSeparator + "def";
    ClamDisplayForm(pair.c_str(), 1, out, 4, 1);
    EXPECT_STREQ(out, "");
    ClamDisplayForm(pair.c_str(), 1, out, 6, 1);
    EXPECT_EQ(std::string(out), std::string("abc") + kClamPairSeparator + "d");

    ClamApplyClass("usa", 11, out, 6, 1);  // U.S.A. cut to five bytes
    EXPECT_STREQ(out, "U.S.A");
    ClamApplyClass("str\xE1", 3, out, 5, 2);
    EXPECT_STREQ(out, "STRS");
}

TEST(WordBounds, AVeryLongWordIsRefusedOrCutNeverOverrun) {
    const std::string digraphs(5000, static_cast<char>(0xC8));  // each folds to two bytes
    std::vector<char> out(6000);
    EXPECT_EQ(ClamEncodeWord(digraphs.c_str(), out.data(), out.size(), 10), 0);
    std::vector<char> large(20000);
    EXPECT_EQ(ClamEncodeWord(digraphs.c_str(), large.data(), large.size(), 10), 1);
    EXPECT_EQ(std::strlen(large.data()), 10000u);
    const std::string periods(3000, '.');
    EXPECT_EQ(ClamEncodeWord(periods.c_str(), out.data(), out.size(), 1), 20);
}

}  // namespace
