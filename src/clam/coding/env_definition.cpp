#include "clam/coding/env_definition.h"

#include <charconv>
#include <set>

namespace {

constexpr char kStartMark = 'Y';
constexpr char kEndMark = 'Z';
constexpr int kCodesFormLimit = 0x41;
constexpr unsigned char kNoLetter = 11;
constexpr unsigned char kRepeatLetter = 9;

// Bytes that end a string or carry the marker and separator meanings in keys.
bool IsReservedByte(char c) {
    return c == 0 || (c >= 4 && c <= 8);
}

// In a transcription these letters mean the repeat and no letter, whatever the text held.
bool IsTranscriptionLetter(char c) {
    return c == static_cast<char>(kRepeatLetter) || c == static_cast<char>(kNoLetter);
}

struct LineError {
    std::string message;
};

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

bool ParseNumber(std::string_view token, int low, int high, int& value) {
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    return ec == std::errc() && end == token.data() + token.size() && value >= low && value <= high;
}

bool IsNumber(std::string_view token) {
    return !token.empty() && token.find_first_not_of("0123456789") == std::string_view::npos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes \xHH and \\ escapes.
bool DecodeBytes(std::string_view token, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (token[i] != '\\') {
            bytes.push_back(token[i]);
        } else if (i + 1 < token.size() && token[i + 1] == '\\') {
            bytes.push_back('\\');
            ++i;
        } else if (i + 3 < token.size() && token[i + 1] == 'x' && HexDigit(token[i + 2]) >= 0 &&
                   HexDigit(token[i + 3]) >= 0) {
            bytes.push_back(
                static_cast<char>(HexDigit(token[i + 2]) * 16 + HexDigit(token[i + 3])));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

std::string ParsePattern(std::string_view token) {
    std::string letters;
    if (!DecodeBytes(token, letters)) throw LineError{"bad escape in pattern"};
    std::string pattern;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        const char c = letters[i];
        if (c == '^' && i == 0) {
            pattern.push_back(kStartMark);
        } else if (c == '$' && i + 1 == letters.size()) {
            pattern.push_back(kEndMark);
        } else if (c == '^' || c == '$') {
            throw LineError{"'^' may only start a pattern and '$' only end it"};
        } else if (c == kStartMark || c == kEndMark) {
            throw LineError{"'Y' and 'Z' are the word marks: write '^' and '$'"};
        } else if (IsReservedByte(c)) {
            throw LineError{"a pattern cannot hold byte 0 or the marker and separator bytes"};
        } else if (IsTranscriptionLetter(c)) {
            throw LineError{"a pattern cannot hold bytes 9 and 11, the repeat and no letter"};
        } else {
            pattern.push_back(c);
        }
    }
    if (pattern.find_first_not_of(std::string{kStartMark, kEndMark}) == std::string::npos) {
        throw LineError{"a pattern needs at least one letter"};
    }
    return pattern;
}

int LetterCount(const std::string& pattern) {
    int n = 0;
    for (char c : pattern) n += (c != kStartMark && c != kEndMark) ? 1 : 0;
    return n;
}

int Number(std::string_view token, int low, int high, const char* what) {
    int value = 0;
    if (!ParseNumber(token, low, high, value)) {
        throw LineError{std::string(what) + " must be a number from " + std::to_string(low) +
                        " to " + std::to_string(high) + ", not '" + std::string(token) + "'"};
    }
    return value;
}

std::string ParseCodes(const std::vector<std::string_view>& tokens, const std::string& pattern) {
    std::string codes;
    for (std::size_t i = 3; i < tokens.size(); ++i) {
        codes.push_back(static_cast<char>(Number(tokens[i], 1, kCodesFormLimit - 1, "a code")));
    }
    if (static_cast<int>(codes.size()) != LetterCount(pattern)) {
        throw LineError{"a codes rule needs one code per letter of its pattern"};
    }
    return codes;
}

char PairLetter(std::string_view token) {
    if (token == "_") return static_cast<char>(kNoLetter);
    if (token == "+") return static_cast<char>(kRepeatLetter);
    std::string bytes;
    if (!DecodeBytes(token, bytes) || bytes.size() != 1 || IsReservedByte(bytes[0])) {
        throw LineError{"a pair needs one letter before ':', not '" + std::string(token) + "'"};
    }
    return bytes[0];
}

std::string ParsePairs(const std::vector<std::string_view>& tokens) {
    std::string pairs;
    for (std::size_t i = 3; i < tokens.size(); ++i) {
        const std::size_t colon = tokens[i].rfind(':');
        if (colon == std::string_view::npos) throw LineError{"a pair is written LETTER:TAG"};
        pairs.push_back(PairLetter(tokens[i].substr(0, colon)));
        pairs.push_back(static_cast<char>(Number(tokens[i].substr(colon + 1), 1, 255, "a tag")));
    }
    if (pairs.empty()) throw LineError{"a string rule needs at least one pair"};
    if (static_cast<unsigned char>(pairs[0]) < kCodesFormLimit) {
        throw LineError{"a string rule must start with a letter from 0x41 on"};
    }
    return pairs;
}

ClamEnvRule ParseRule(const std::vector<std::string_view>& tokens) {
    if (tokens.size() < 3) throw LineError{"a rule is: rule PATTERN (= V | : CODES | > PAIRS)"};
    ClamEnvRule rule;
    rule.pattern = ParsePattern(tokens[1]);
    if (tokens[2] == "=") {
        if (tokens.size() != 4) throw LineError{"a direct rule takes one value"};
        rule.kind = ClamRuleKind::kDirect;
        rule.directValue = Number(tokens[3], 0, 15, "a direct code");
    } else if (tokens[2] == ":") {
        rule.kind = ClamRuleKind::kCodes;
        rule.output = ParseCodes(tokens, rule.pattern);
    } else if (tokens[2] == ">") {
        rule.kind = ClamRuleKind::kString;
        rule.output = ParsePairs(tokens);
    } else {
        throw LineError{"expected '=', ':' or '>' after the pattern"};
    }
    return rule;
}

std::string ParseClass(const std::vector<std::string_view>& tokens) {
    std::string text;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        if (IsNumber(tokens[i])) {
            text.push_back(static_cast<char>(Number(tokens[i], 1, 255, "a class byte")));
            continue;
        }
        std::string bytes;
        if (!DecodeBytes(tokens[i], bytes) || bytes.find('\0') != std::string::npos) {
            throw LineError{"bad class string '" + std::string(tokens[i]) + "'"};
        }
        text += bytes;
    }
    return text;
}

// The pairs of a string rule must spell the pattern's letters (a repeat standing for a
// doubled letter), each followed by at most one pair without a letter, so that a stored key
// holds one symbol per letter and reads back as the word.
void CheckStringRule(const ClamEnvRule& rule) {
    std::string letters;
    for (char c : rule.pattern) {
        if (c != kStartMark && c != kEndMark) letters.push_back(c);
    }
    std::size_t next = 0;
    bool letterless = true;
    for (std::size_t i = 0; i < rule.output.size(); i += 2) {
        const char letter = rule.output[i];
        if (letter == static_cast<char>(kNoLetter)) {
            if (letterless) throw LineError{"a pair without letter must follow a lettered pair"};
            // A stored key takes the default symbol for a letter of its own.
            if (rule.output[i + 1] == static_cast<char>(kNoLetter)) {
                throw LineError{"'_:11' is the default symbol's pair, not a sound"};
            }
            letterless = true;
            continue;
        }
        const bool repeat = letter == static_cast<char>(kRepeatLetter) && next > 0 &&
                            next < letters.size() && letters[next] == letters[next - 1];
        if (next >= letters.size() || (letter != letters[next] && !repeat)) {
            throw LineError{"the pairs of a string rule must spell the letters of its pattern"};
        }
        ++next;
        letterless = false;
    }
    if (next != letters.size()) {
        throw LineError{"the pairs of a string rule must spell the letters of its pattern"};
    }
}

// A direct rule of two letters writes its second letter as a repeat of the first.
void CheckDirectRule(const ClamEnvRule& rule, int directValues) {
    if (rule.directValue >= directValues) {
        throw LineError{"direct codes of this version run from 0 to " +
                        std::to_string(directValues - 1)};
    }
    std::string rest = rule.pattern;
    if (rest[0] == kStartMark) rest.erase(0, 1);
    if (rest.size() == 2 && rest[1] != kEndMark && rest[0] != rest[1]) {
        throw LineError{"a two-letter direct rule must be a doubled letter"};
    }
    if (rest.size() == 1 && rest[0] == kEndMark) throw LineError{"a direct rule needs a letter"};
}

void ParseLine(const std::vector<std::string_view>& tokens, int lineNumber, ClamEnvDefinition& d) {
    const std::string_view word = tokens[0];
    auto single = [&](const char* what, int low, int high) {
        if (tokens.size() != 2) throw LineError{std::string(word) + " takes one value"};
        return Number(tokens[1], low, high, what);
    };
    if (word == "language") {
        d.language = single("the language id", 1, 39);
        d.languageLine = lineNumber;
    } else if (word == "version") {
        d.version = single("the version", 1, 2);
    } else if (word == "class-base") {
        d.classBase = single("the class base", 0, 255);
        d.classBaseLine = lineNumber;
    } else if (word == "classes-per-row") {
        d.classesPerRow = single("classes-per-row", 0, 255);
    } else if (word == "class") {
        d.classes.push_back(ParseClass(tokens));
        d.classLines.push_back(lineNumber);
    } else if (word == "rule") {
        d.rules.push_back(ParseRule(tokens));
        d.rules.back().line = lineNumber;
    } else {
        throw LineError{"unknown directive '" + std::string(word) + "'"};
    }
}

void CheckWhole(const ClamEnvDefinition& d, ClamEnvError& error) {
    const int directValues = d.version == 1 ? 10 : 16;
    std::set<std::string> patterns;
    for (const ClamEnvRule& rule : d.rules) {
        error.line = rule.line;
        if (!patterns.insert(rule.pattern).second) throw LineError{"the pattern is defined twice"};
        if (rule.kind == ClamRuleKind::kDirect) CheckDirectRule(rule, directValues);
        if (rule.kind == ClamRuleKind::kString) CheckStringRule(rule);
    }
    error.line = 0;
    if (d.language == 0) throw LineError{"the definition names no language"};
    if (d.classBase < 0) throw LineError{"the definition has no class-base"};
    if (d.classes.empty()) throw LineError{"the definition has no class"};
}

}  // namespace

bool ClamParseEnvDefinition(std::string_view text, ClamEnvDefinition& definition,
                            ClamEnvError& error) {
    definition = ClamEnvDefinition{};
    error = ClamEnvError{};
    try {
        int lineNumber = 0;
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            const std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            ++lineNumber;
            error.line = lineNumber;
            const auto tokens = Tokens(line);
            if (!tokens.empty()) ParseLine(tokens, lineNumber, definition);
        }
        CheckWhole(definition, error);
    } catch (const LineError& e) {
        error.message = e.message;
        return false;
    }
    error.line = 0;
    return true;
}
