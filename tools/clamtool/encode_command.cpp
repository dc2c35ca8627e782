// clamtool encode: the class, encoded form and display form of words.
#include <array>

#include "clam/coding/word_class.h"
#include "clam/coding/word_ops.h"
#include "command.h"

namespace clamtool {

int EncodeAsAdded(const std::string& word, int language, std::string& encoded) {
    std::array<char, kClamEncodedCapacity> out{};
    int wordClass = 0;
    encoded.clear();
    // The word addition takes no empty word and none of 64 bytes or more.
    if (word.empty() || word.size() > kClamMaxWordLength) return 0;
    if (word.find(kClamPairSeparator) != std::string::npos) {
        wordClass = ClamEncodePair(word.c_str(), out.data(), out.size(), language);
    } else if (word.find_first_of(std::string{kClamMarker1, kClamMarker2, kClamMarker3}) !=
               std::string::npos) {
        wordClass = ClamEncodeMarkedWord(word.c_str(), out.data(), out.size(), language);
    } else {
        wordClass = ClamEncodeWord(word.c_str(), out.data(), out.size(), language);
    }
    encoded = wordClass != 0 ? std::string(out.data()) : std::string();
    return wordClass;
}

namespace {

int RunEncode(const Args& args) {
    const int language = args.IntOption("--lang", 1, 39);
    for (const std::string& word : Words(args)) {
        std::string encoded;
        const int wordClass = EncodeAsAdded(word, language, encoded);
        std::array<char, kClamDisplayCapacity> display{};
        if (wordClass != 0) {
            ClamDisplayForm(encoded.c_str(), static_cast<std::uint32_t>(wordClass), display.data(),
                            display.size(), language);
        }
        WriteLine({Hex(word), std::to_string(wordClass), Field(wordClass != 0, encoded),
                   Field(wordClass != 0, display.data())});
    }
    return kExitOk;
}

}  // namespace

extern const Command kEncodeCommand;
const Command kEncodeCommand = {
    "encode",
    "--lang N [--words-file F] [WORD...]",
    "classify and encode words as the word addition does",
    "For each word, one line: the word, its class (0 when it cannot be encoded), its\n"
    "encoded form and its display form (capacity 256). A word with byte 8 is encoded as a\n"
    "pair, one with a marker byte 4, 5 or 6 as a marked word, any other as a plain word.\n",
    {"--lang", "--words-file"},
    {},
    RunEncode,
};

}  // namespace clamtool
