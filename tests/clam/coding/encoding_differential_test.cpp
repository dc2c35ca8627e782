// The coding's fast ways against plain references kept in the tests: random words of every
// defined language must give the same classes, encoded bytes and phonetic keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "clam/coding/phonetic_keys.h"
#include "clam/coding/word_class.h"
#include "clam/store/phon_env.h"
#include "reference_phonetic_key.h"
#include "reference_transcribe.h"
#include "reference_word_class.h"
#include "reference_word_display.h"
#include "support/env_files.h"

namespace {

// Mostly simple words (lower case, perhaps a capital first), the rest anything a word may
// hold: other cases, periods, high bytes, markers, digits.
std::string RandomWord(std::mt19937& random) {
    static const std::string kLower = "abcdefghijklmnopqrstuvwxyzeeiijj";
    static const std::string kOther = "ABCDEIJOUZ.'-0\x04\x05\x06\x07\x08";
    const int kind = static_cast<int>(random() % 4);
    const std::size_t length = 1 + random() % 14;
    std::string word;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned pick = random() % 16;
        if (kind == 3 && pick < 4) {
            word += static_cast<char>(0x80 + random() % 128);
        } else if (kind >= 2 && pick < 7) {
            word += kOther[random() % kOther.size()];
        } else {
            word += kLower[random() % kLower.size()];
        }
    }
    if (kind == 1) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    return word;
}

void ExpectSameEncoding(const std::string& word, int language) {
    for (std::size_t capacity = 1; capacity <= word.size() + 2; ++capacity) {
        std::array<char, 2 * kClamEncodedCapacity> ours{};
        std::array<char, 2 * kClamEncodedCapacity> plain{};
        const int ourClass = ClamEncodeWord(word.c_str(), ours.data(), capacity, language);
        const int plainClass =
            reference_encoding::EncodeWord(word.c_str(), plain.data(), capacity, language);
        ASSERT_EQ(ourClass, plainClass) << word << " language " << language << " in " << capacity;
        if (ourClass != 0) {
            ASSERT_STREQ(ours.data(), plain.data()) << word;
        }
    }
}

TEST(EncodingDifferential, RandomWordsOfEveryLanguageEncodeAsTheReference) {
    std::mt19937 random(7);
    for (int language : testing_support::DefinedLanguages()) {
        for (int i = 0; i < 20000; ++i) ExpectSameEncoding(RandomWord(random), language);
        for (const char* word : {"a", "A", "Ab", "aB", "ij", "Ij", "IJ", "Aepfel", "a.", "Ab."}) {
            ExpectSameEncoding(word, language);
        }
    }
}

// Keys of encoded forms and raw texts, in every language and in outputs from one byte to
// the full key, with the last class tried first and without, in random and in key order
// (where neighbours mostly share a class).
TEST(EncodingDifferential, PhoneticKeysMatchTheReference) {
    std::mt19937 random(19);
    for (int language : testing_support::DefinedLanguages()) {
        const testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
        ASSERT_TRUE(env->classesAscend) << language;
        std::vector<std::string> texts;
        for (int i = 0; i < 3000; ++i) {
            std::array<char, kClamEncodedCapacity> form{};
            std::string text = RandomWord(random);
            if (i % 3 != 0 && ClamEncodeWord(text.c_str(), form.data(), form.size(), language)) {
                text = form.data();
            }
            texts.push_back(text);
        }
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1) std::sort(texts.begin(), texts.end());
            for (std::size_t i = 0; i < texts.size(); ++i) {
                const std::string& text = texts[i];
                env->classesAscend = i % 4 != 0;
                for (const std::size_t capacity : {std::size_t{1}, std::size_t{2}, std::size_t{3},
                                                   std::size_t{9}, kClamPhoneticKeyCapacity}) {
                    std::array<char, kClamPhoneticKeyCapacity> ours{};
                    std::array<char, kClamPhoneticKeyCapacity> reference{};
                    ClamPhoneticKey(text.c_str(), ours.data(), capacity, env.get());
                    reference_key::PhoneticKey(text.c_str(), reference.data(), capacity, env.get());
                    ASSERT_EQ(std::string(ours.data()), std::string(reference.data()))
                        << text << " language " << language << " in " << capacity;
                }
            }
        }
    }
}

// Class strings of random pairs, with every class tag and the separator, in the languages
// that reduce the transcription as it is (two of them write letters for tags).
TEST(EncodingDifferential, ClassStringsOfAnyPairsMatchTheReference) {
    std::mt19937 random(23);
    for (int language : testing_support::DefinedLanguages()) {
        const testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
        if (reference_key::detail::ClassesIgnoreAccents(language)) continue;
        for (int i = 0; i < 20000; ++i) {
            std::string pairs;
            for (std::size_t n = random() % 40; n > 0; --n) {
                const unsigned pick = random() % 16;
                pairs += static_cast<char>(pick == 0   ? kClamSeparatorByte
                                           : pick == 1 ? kClamNoLetter
                                                       : 'a' + random() % 26);
                pairs += static_cast<char>(pick < 8 ? 16 + random() % 17 : 1 + random() % 40);
            }
            for (const std::size_t capacity : {std::size_t{1}, std::size_t{4}, std::size_t{128}}) {
                std::array<char, 128> ours{};
                std::array<char, 128> reference{};
                ClamClassString(pairs.c_str(), ours.data(), capacity, env.get());
                reference_key::detail::ReduceToClassString(
                    {reinterpret_cast<const std::uint8_t*>(pairs.data()), pairs.size()}, language,
                    reference.data(), capacity);
                ASSERT_EQ(std::string(ours.data()), std::string(reference.data()))
                    << "language " << language << " in " << capacity;
            }
        }
    }
}

// Transcriptions of encoded forms (raw words too, with bytes the rules never see) in every
// output size around their length, and the rules they mark as used.
TEST(EncodingDifferential, TranscriptionsMatchTheReference) {
    std::mt19937 random(13);
    for (int language : testing_support::DefinedLanguages()) {
        const testing_support::PhonEnvPtr env = testing_support::LoadLanguage(language);
        const std::size_t cells = static_cast<std::size_t>(env->trieSize);
        std::vector<std::uint8_t> ours(cells + 1);
        std::vector<std::uint8_t> reference(cells + 1);
        for (int i = 0; i < 4000; ++i) {
            std::array<char, kClamEncodedCapacity> form{};
            std::string text = RandomWord(random);
            if (i % 2 == 0 && ClamEncodeWord(text.c_str(), form.data(), form.size(), language)) {
                text = form.data();
            }
            const std::size_t longest = 2 * text.size() + 8;
            for (const std::size_t capacity : {std::size_t{1}, longest / 2, longest}) {
                std::array<char, kClamTranscriptionCapacity> a{};
                std::array<char, kClamTranscriptionCapacity> b{};
                env->ruleUsed = ours.data();
                const int ourResult = ClamTranscribe(text.c_str(), a.data(), capacity, env.get());
                env->ruleUsed = reference.data();
                const int plainResult = reference_transcription::Transcribe(text.c_str(), b.data(),
                                                                            capacity, env.get());
                env->ruleUsed = nullptr;
                ASSERT_EQ(ourResult, plainResult) << text << " language " << language;
                ASSERT_EQ(std::string(a.data()), std::string(b.data())) << text;
            }
        }
        EXPECT_EQ(ours, reference) << language;
    }
}

// Case restored from every class value up to 63 (stored values may hold any bits), on
// random folded and raw texts, in every output size around their length.
TEST(EncodingDifferential, DisplayedCaseMatchesTheReference) {
    std::mt19937 random(17);
    for (int language : testing_support::DefinedLanguages()) {
        for (int i = 0; i < 3000; ++i) {
            std::array<char, 2 * kClamEncodedCapacity> form{};
            std::string text = RandomWord(random);
            if (i % 2 == 0 && ClamEncodeWord(text.c_str(), form.data(), form.size(), language)) {
                text = form.data();
            }
            const auto wordClass = static_cast<std::uint32_t>(random() % 64);
            for (std::size_t capacity = 1; capacity <= text.size() + 3; ++capacity) {
                std::array<char, kClamDisplayCapacity> ours{};
                std::array<char, kClamDisplayCapacity> plain{};
                ClamApplyClass(text.c_str(), wordClass, ours.data(), capacity, language);
                reference_display::ApplyClass(text.c_str(), wordClass, plain.data(), capacity,
                                              language);
                ASSERT_STREQ(ours.data(), plain.data()) << text << " class " << wordClass;
            }
        }
    }
}

}  // namespace
