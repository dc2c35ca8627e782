// clamtool mkenv: compiles an environment definition into a phonetic environment file.
#include "clam/coding/env_compiler.h"
#include "command.h"

namespace clamtool {
namespace {

int RunMkenv(const Args& args) {
    if (args.positional.size() != 2) throw Failure("mkenv takes DEFINITION and OUT");
    const std::string& source = args.positional[0];
    const std::string text = ReadWholeFile(source);
    ClamCompiledEnv compiled;
    ClamEnvError error;
    if (!ClamCompileEnvText(text, compiled, error)) {
        const std::string where = error.line > 0 ? ":" + std::to_string(error.line) : "";
        throw Failure(source + where + ": " + error.message);
    }
    const std::string& out = args.positional[1];
    WriteWholeFile(out, std::string_view(reinterpret_cast<const char*>(compiled.file.data()),
                                         compiled.file.size()));
    return kExitOk;
}

}  // namespace

extern const Command kMkenvCommand;
const Command kMkenvCommand = {
    "mkenv",
    "DEFINITION OUT",
    "compile a phonetic environment definition into a phon.env file",
    "A definition holds one directive a line ('#' starts a comment):\n"
    "  language N            the language id, 1 to 39\n"
    "  version N             1 (direct codes 0-9) or 2 (0-15, the default)\n"
    "  class-base N          first value of the class bytes of keys\n"
    "  classes-per-row N     divisor of class numbers; 0: the symbol count\n"
    "  class TOKENS...       a class string; numbers are bytes, other tokens letters\n"
    "  rule PATTERN = V      direct code V for the first letter\n"
    "  rule PATTERN : C...   one code per letter of the pattern\n"
    "  rule PATTERN > L:T... the pairs (L, T) as they stand; '_' no letter, '+' repeat\n"
    "Patterns are letters (\\xHH for any byte), '^' first for a word start, '$' last for\n"
    "a word end. Errors name the line of the definition.\n",
    {},
    {},
    RunMkenv,
};

}  // namespace clamtool
