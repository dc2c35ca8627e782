#include "clam/coding/env_compiler.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "clam/coding/char_tables.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pair = std::array<std::uint8_t, 2>;

constexpr std::uint8_t kStartMark = 'Y';
constexpr std::uint8_t kEndMark = 'Z';
constexpr std::uint8_t kCodeOffset = 0x58;
constexpr std::uint8_t kNoRule = 127;
constexpr std::uint8_t kNoLetter = 11;
constexpr std::uint8_t kRepeat = 9;
constexpr std::uint8_t kDirectTagBase = 16;
constexpr int kMaxBase = 255;
constexpr int kCodes = 256;
constexpr std::uint32_t kMaxSymbols = 255;
constexpr std::uint32_t kMaxField = 0xFFFF;
constexpr std::uint8_t kLowestClassByte = 5;  // 0 ends a key, 1 to 4 are marker codes

struct CompileError {
    int line;
    std::string message;
};

std::uint8_t CodeOf(std::uint8_t b) {
    return static_cast<std::uint8_t>(b - kCodeOffset);
}

int DirectValues(int version) {
    return version == 1 ? 10 : 16;
}

// ---- Rule automaton --------------------------------------------------------------------

struct TrieNode {
    std::map<std::uint8_t, int> children;  // code -> node
    int rule = -1;
    int line = 0;  // first rule through this node, for messages
    int cell = -1;
    int base = 0;
};

struct Automaton {
    Bytes base, check, value;
};

std::vector<TrieNode> BuildTrie(const std::vector<ClamEnvRule>& rules) {
    std::vector<TrieNode> nodes(1);
    for (std::size_t r = 0; r < rules.size(); ++r) {
        int node = 0;
        for (const char c : rules[r].pattern) {
            const std::uint8_t code = CodeOf(static_cast<std::uint8_t>(c));
            auto it = nodes[node].children.find(code);
            if (it == nodes[node].children.end()) {
                nodes.push_back(TrieNode{});
                nodes.back().line = rules[r].line;
                it = nodes[node].children.emplace(code, static_cast<int>(nodes.size() - 1)).first;
            }
            node = it->second;
        }
        nodes[node].rule = static_cast<int>(r);
    }
    return nodes;
}

// Gives every state with children a base of its own whose child cells are all free.
void PlaceStates(std::vector<TrieNode>& nodes, std::vector<bool>& used) {
    std::vector<bool> baseTaken(kMaxBase + 1, false);
    nodes[0].cell = 0;
    used[0] = true;
    std::vector<int> queue{0};
    for (std::size_t q = 0; q < queue.size(); ++q) {
        TrieNode& node = nodes[queue[q]];
        if (node.children.empty()) continue;
        int chosen = 0;
        for (int b = 1; b <= kMaxBase && chosen == 0; ++b) {
            if (baseTaken[b]) continue;
            const bool fits =
                std::all_of(node.children.begin(), node.children.end(),
                            [&](const auto& child) { return !used[b + child.first]; });
            if (fits) chosen = b;
        }
        if (chosen == 0) {
            throw CompileError{node.line, "too many rule states for one-byte automaton bases"};
        }
        baseTaken[chosen] = true;
        node.base = chosen;
        for (const auto& [code, child] : node.children) {
            nodes[child].cell = chosen + code;
            used[chosen + code] = true;
            queue.push_back(child);
        }
    }
}

// A check byte for an unused cell that no state's walk can take for a match.
std::uint8_t DeadCheck(std::size_t cell, const std::vector<TrieNode>& nodes) {
    std::vector<bool> excluded(kCodes, false);
    for (const TrieNode& n : nodes) {
        if (n.base != 0 && cell >= static_cast<std::size_t>(n.base) &&
            cell - n.base < static_cast<std::size_t>(kCodes)) {
            excluded[cell - n.base] = true;
        }
    }
    const auto it = std::find(excluded.begin(), excluded.end(), false);
    return static_cast<std::uint8_t>(it - excluded.begin());
}

// Proves that from every state, every code lands either on that state's own child or on no
// match at all.
void ProveNoForeignMatch(const std::vector<TrieNode>& nodes, const Automaton& a) {
    for (const TrieNode& n : nodes) {
        if (n.base == 0) {
            if (!n.children.empty()) throw CompileError{n.line, "automaton state without base"};
            continue;
        }
        for (int code = 0; code < kCodes; ++code) {
            const std::size_t t = static_cast<std::size_t>(n.base + code);
            if (t >= a.check.size() || a.check[t] != code) continue;
            const auto child = n.children.find(static_cast<std::uint8_t>(code));
            if (child == n.children.end() || nodes[child->second].cell != static_cast<int>(t)) {
                throw CompileError{n.line, "automaton cell matches for a foreign state"};
            }
        }
    }
}

Automaton BuildAutomaton(const std::vector<ClamEnvRule>& rules, const Bytes& ruleValues) {
    std::vector<TrieNode> nodes = BuildTrie(rules);
    std::vector<bool> used(kMaxBase + kCodes, false);
    PlaceStates(nodes, used);
    std::size_t size = 1;
    for (const TrieNode& n : nodes) size = std::max(size, static_cast<std::size_t>(n.cell) + 1);
    Automaton a{Bytes(size, 0), Bytes(size, 0), Bytes(size, kNoRule)};
    for (std::size_t cell = 0; cell < size; ++cell) {
        if (!used[cell]) a.check[cell] = DeadCheck(cell, nodes);
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const TrieNode& n = nodes[i];
        a.base[n.cell] = static_cast<std::uint8_t>(n.base);
        if (n.rule >= 0) a.value[n.cell] = ruleValues[n.rule];
    }
    // Children of inner states: their check is their own code.
    for (const TrieNode& n : nodes) {
        for (const auto& [code, child] : n.children) a.check[nodes[child].cell] = code;
    }
    ProveNoForeignMatch(nodes, a);
    return a;
}

// ---- Rule outputs ----------------------------------------------------------------------

// Output strings of rules that match two bytes, and of all others (read past the
// right-context offset). Section 9 is the first area then the second; a value is only read
// as the match length of its rule says, so neither area is padded for the other reading.
struct OutputAreas {
    std::string twoByte;
    std::string other;
};

std::size_t PlaceOutput(std::string& area, const std::string& text, int directValues, int line) {
    const std::size_t unusable = kNoRule - directValues;  // its value byte means "no rule"
    const std::size_t limit = 255 - directValues;
    const std::string withNul = text + '\0';
    // A tail of the last output may start past what a value byte can name.
    const std::size_t found = area.find(withNul);
    if (found != std::string::npos && found != unusable && found <= limit) return found;
    if (area.size() == unusable) area.push_back('\0');
    const std::size_t offset = area.size();
    if (offset > limit) throw CompileError{line, "too many rule outputs for one-byte values"};
    area += withNul;
    return offset;
}

Bytes RuleValues(const ClamEnvDefinition& d, OutputAreas& areas) {
    const int directValues = DirectValues(d.version);
    Bytes values;
    for (const ClamEnvRule& rule : d.rules) {
        if (rule.kind == ClamRuleKind::kDirect) {
            values.push_back(static_cast<std::uint8_t>(rule.directValue));
            continue;
        }
        const bool twoByte = rule.pattern.size() == 2;
        const std::size_t offset = PlaceOutput(twoByte ? areas.twoByte : areas.other, rule.output,
                                               directValues, rule.line);
        values.push_back(static_cast<std::uint8_t>(directValues + offset));
    }
    return values;
}

// ---- Symbols ---------------------------------------------------------------------------

void AddRulePairs(const ClamEnvRule& rule, std::set<Pair>& pairs) {
    std::string letters;
    for (char c : rule.pattern) {
        if (c != static_cast<char>(kStartMark) && c != static_cast<char>(kEndMark)) {
            letters.push_back(c);
        }
    }
    const auto u = [](char c) { return static_cast<std::uint8_t>(c); };
    switch (rule.kind) {
        case ClamRuleKind::kDirect:
            pairs.insert(
                {u(letters[0]), static_cast<std::uint8_t>(kDirectTagBase + rule.directValue)});
            break;
        case ClamRuleKind::kCodes:
            for (std::size_t i = 0; i < letters.size(); ++i) {
                pairs.insert({u(letters[i]), u(rule.output[i])});
            }
            break;
        case ClamRuleKind::kString:
            for (std::size_t i = 0; i + 1 < rule.output.size(); i += 2) {
                pairs.insert({u(rule.output[i]), u(rule.output[i + 1])});
            }
            break;
    }
}

// Letters that reach the automaton and can find no rule: the language's valid characters
// that are not upper-case letters (a folded text holds none), and digits.
void AddUncoveredPairs(const ClamEnvDefinition& d, std::set<Pair>& pairs) {
    std::set<std::uint8_t> alwaysCovered;
    for (const ClamEnvRule& rule : d.rules) {
        if (rule.pattern.size() == 1)
            alwaysCovered.insert(static_cast<std::uint8_t>(rule.pattern[0]));
    }
    const std::uint8_t* alphabet = ClamAlphabetTable(d.language);
    const std::uint8_t* types = ClamLetterTypeTable(d.language);
    for (int b = 1; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        const bool valid = (alphabet[b] & kClamValidWordChar) && !(types[b] & kClamUpperCaseLetter);
        const bool digit = b >= '0' && b <= '9';
        const bool marker = b >= 4 && b <= 6;
        if ((valid || digit) && !marker && !alwaysCovered.count(byte)) {
            pairs.insert({byte, kNoLetter});
        }
    }
}

std::vector<Pair> SymbolTable(const ClamEnvDefinition& d) {
    std::vector<Pair> table = {
        {0, 0},         {4, kNoLetter},         {5, kNoLetter},      {6, kNoLetter},
        {8, kNoLetter}, {kNoLetter, kNoLetter}, {kRepeat, kNoLetter}};
    std::set<Pair> pairs;
    for (const ClamEnvRule& rule : d.rules) AddRulePairs(rule, pairs);
    AddUncoveredPairs(d, pairs);
    for (const Pair& p : table) pairs.erase(p);
    table.insert(table.end(), pairs.begin(), pairs.end());
    if (table.size() > kMaxSymbols) {
        throw CompileError{d.languageLine, "the rules and letters need " +
                                               std::to_string(table.size()) +
                                               " symbols; at most 255 fit in a key byte"};
    }
    return table;
}

// ---- Classes ---------------------------------------------------------------------------

std::vector<std::string> SortedClasses(const ClamEnvDefinition& d) {
    std::map<std::string, int> lines;
    for (std::size_t i = 0; i < d.classes.size(); ++i) {
        if (!lines.emplace(d.classes[i], d.classLines[i]).second) {
            throw CompileError{d.classLines[i], "the class string is defined twice"};
        }
    }
    std::vector<std::string> sorted;
    for (const auto& entry : lines) sorted.push_back(entry.first);
    return sorted;
}

void CheckClassBytes(const ClamEnvDefinition& d, std::size_t classCount, std::size_t symbolCount) {
    const std::size_t divisor = d.classesPerRow > 0 ? d.classesPerRow : symbolCount;
    for (std::size_t n = 0; n < classCount; ++n) {
        for (const std::size_t byte :
             {(d.classBase + n / divisor) % 256, (d.classBase + n % divisor) % 256}) {
            if (byte < kLowestClassByte) {
                throw CompileError{d.classBaseLine,
                                   "class " + std::to_string(n) + " gets the class byte " +
                                       std::to_string(byte) + " (it must be 5 or more)"};
            }
        }
    }
}

// ---- File ------------------------------------------------------------------------------

void PutU16(Bytes& out, std::size_t value, const char* what) {
    if (value > kMaxField) throw CompileError{0, std::string(what) + " does not fit 16 bits"};
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

Bytes AssembleFile(const ClamEnvDefinition& d, const std::vector<std::string>& classes,
                   const std::vector<Pair>& symbols, const Automaton& a,
                   const std::string& ruleOutput, std::size_t rightContextOffset) {
    Bytes classBytes;
    for (const std::string& c : classes) {
        classBytes.insert(classBytes.end(), c.begin(), c.end());
        classBytes.push_back(0);
    }
    Bytes symbolBytes;
    for (const Pair& p : symbols) symbolBytes.insert(symbolBytes.end(), p.begin(), p.end());

    Bytes out = {static_cast<std::uint8_t>(d.version), static_cast<std::uint8_t>(d.language), 'P',
                 'H'};
    PutU16(out, classes.size(), "the class count");
    PutU16(out, symbols.size(), "the symbol count");
    PutU16(out, d.classBase, "the class base");
    PutU16(out, d.classesPerRow, "classes-per-row");
    PutU16(out, kClamEnvDefaultSymbol, "the default symbol");
    PutU16(out, a.base.size(), "the automaton size");
    PutU16(out, rightContextOffset, "the right-context offset");
    const std::vector<std::size_t> sizes = {
        classBytes.size(), symbolBytes.size(), 0, 0, 0, a.base.size(), a.check.size(),
        a.value.size(),    ruleOutput.size()};
    for (const std::size_t size : sizes) PutU16(out, size, "a section");
    const std::array<const Bytes*, 5> sections = {&classBytes, &symbolBytes, &a.base, &a.check,
                                                  &a.value};
    for (const Bytes* section : sections) {
        out.insert(out.end(), section->begin(), section->end());
    }
    out.insert(out.end(), ruleOutput.begin(), ruleOutput.end());
    return out;
}

void Compile(const ClamEnvDefinition& d, ClamCompiledEnv& compiled) {
    if (ClamAlphabetTable(d.language) == nullptr) {
        throw CompileError{d.languageLine, "the language id must lie within 1 to 39"};
    }
    const std::vector<std::string> classes = SortedClasses(d);
    const std::vector<Pair> symbols = SymbolTable(d);
    CheckClassBytes(d, classes.size(), symbols.size());
    OutputAreas areas;
    compiled.ruleValues = RuleValues(d, areas);
    const Automaton automaton = BuildAutomaton(d.rules, compiled.ruleValues);
    const std::size_t rightContextOffset = areas.twoByte.size();
    const std::string ruleOutput = areas.twoByte + areas.other;
    compiled.symbols = symbols;
    compiled.file = AssembleFile(d, classes, symbols, automaton, ruleOutput, rightContextOffset);
}

}  // namespace

bool ClamCompileEnv(const ClamEnvDefinition& definition, ClamCompiledEnv& compiled,
                    ClamEnvError& error) {
    compiled = ClamCompiledEnv{};
    error = ClamEnvError{};
    try {
        Compile(definition, compiled);
    } catch (const CompileError& e) {
        error.line = e.line;
        error.message = e.message;
        return false;
    }
    return true;
}

bool ClamCompileEnvText(std::string_view text, ClamCompiledEnv& compiled, ClamEnvError& error) {
    ClamEnvDefinition definition;
    return ClamParseEnvDefinition(text, definition, error) &&
           ClamCompileEnv(definition, compiled, error);
}
