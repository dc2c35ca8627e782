// clamtool key: transcription, phonetic key and stored key of words.
#include <array>

#include "clam/coding/phonetic_keys.h"
#include "clam/store/phon_env.h"
#include "command.h"

namespace clamtool {
namespace {

void PrintKeys(const std::string& word, ClamPhonEnv* env) {
    std::string encoded;
    if (EncodeAsAdded(word, env->language, encoded) == 0) {
        WriteLine({Hex(word), "-", "-", "-", "-", "-"});
        return;
    }
    std::array<char, kClamTranscriptionCapacity> transcription{};
    ClamTranscribe(encoded.c_str(), transcription.data(), transcription.size(), env);
    std::array<char, kClamPhoneticKeyCapacity> phoneticKey{};
    ClamPhoneticKey(encoded.c_str(), phoneticKey.data(), phoneticKey.size(), env);
    std::array<char, kClamStoredKeyCapacity> storedKey{};
    const bool stored = ClamBuildStoredKeyWithEnv(encoded.c_str(), storedKey.data(), env) != 0;
    std::array<char, kClamKeyWordCapacity> back{};
    if (stored) ClamKeyToWordWithEnv(storedKey.data(), back.data(), env);
    WriteLine({Hex(word), Hex(encoded), Hex(transcription.data()), Hex(phoneticKey.data()),
               Field(stored, storedKey.data()), Field(stored, back.data())});
}

int RunKey(const Args& args) {
    const Environment env(args.Option("--env"));
    for (const std::string& word : Words(args)) PrintKeys(word, env.get());
    return kExitOk;
}

}  // namespace

extern const Command kKeyCommand;
const Command kKeyCommand = {
    "key",
    "--env FILE [--words-file F] [WORD...]",
    "show the phonetic coding of words under an environment",
    "Each word is encoded as the word addition does, in the environment's language. One\n"
    "line per word: the word, its encoded form, the transcription, the phonetic key, the\n"
    "stored key and the encoded form read back from the stored key. A word that cannot be\n"
    "encoded, or whose stored key cannot be built, shows '-' for what is missing.\n",
    {"--env", "--words-file"},
    {},
    RunKey,
};

}  // namespace clamtool
