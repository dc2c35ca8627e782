// Encoding and display as the word operations use them, for the tests.
#pragma once

#include <array>
#include <cstdio>
#include <string>

#include "clam/coding/word_class.h"

struct CodedWord {
    int wordClass = 0;
    std::string form;
};

// By kind, into 128 bytes, as a word is added to a dictionary.
inline CodedWord EncodeByKind(const std::string& word, int language) {
    std::array<char, kClamEncodedCapacity> out{};
    auto encode = ClamEncodeWord;
    if (word.find(kClamPairSeparator) != std::string::npos) {
        encode = ClamEncodePair;
    } else if (word.find_first_of("\x04\x05\x06") != std::string::npos) {
        encode = ClamEncodeMarkedWord;
    }
    const int wordClass = encode(word.c_str(), out.data(), out.size(), language);
    return {wordClass, wordClass ? std::string(out.data()) : std::string()};
}

inline std::string Display(const CodedWord& coded, int language) {
    std::array<char, kClamDisplayCapacity> out{};
    ClamDisplayForm(coded.form.c_str(), coded.wordClass, out.data(), out.size(), language);
    return out.data();
}

// Bytes outside printable ASCII as \xNN, for readable failures.
inline std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : hex;
    }
    return out;
}
