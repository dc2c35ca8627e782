// The readable definition of a phonetic environment, from which the environment compiler
// makes a "phon.env" file.
//
// One directive a line; '#' starts a comment; tokens are separated by blanks. In a byte
// token, \xHH is a byte and \\ a backslash.
//
//   language 14              language id, 1 to 39
//   version 2                1: direct codes 0 to 9, 2 (default): 0 to 15
//   class-base 32            first value of the class bytes
//   classes-per-row 16       divisor of class numbers; 0 (default): the symbol count
//   class 17 19              a class string: numbers are bytes (tags), other tokens letters;
//                            "class" alone is the empty class string
//   rule PATTERN = V         direct code V: (letter, 16 + V)
//   rule PATTERN : C...      codes form: one code per letter of the pattern
//   rule PATTERN > L:T...    string form: the pairs (L, T) written as they stand; L is a
//                            letter, '_' no letter (11) or '+' the previous letter again (9)
//
// A pattern is letters, with '^' first for the start of a word and '$' last for its end.
// A direct rule of two letters codes a doubled letter: the second comes out as a repeat.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class ClamRuleKind { kDirect, kCodes, kString };

struct ClamEnvRule {
    std::string pattern;  // as the automaton sees it: 'Y' start mark, 'Z' end mark
    ClamRuleKind kind = ClamRuleKind::kDirect;
    int directValue = 0;  // kDirect
    std::string output;   // kCodes: the code bytes; kString: the pair bytes
    int line = 0;
};

struct ClamEnvDefinition {
    int language = 0;
    int version = 2;
    int classBase = -1;
    int classesPerRow = 0;
    int languageLine = 0;
    int classBaseLine = 0;
    std::vector<std::string> classes;
    std::vector<int> classLines;
    std::vector<ClamEnvRule> rules;
};

struct ClamEnvError {
    int line = 0;  // 0: not tied to a line
    std::string message;
};

// Parses a definition; false with the error (and its line) when the text is not valid.
bool ClamParseEnvDefinition(std::string_view text, ClamEnvDefinition& definition,
                            ClamEnvError& error);
