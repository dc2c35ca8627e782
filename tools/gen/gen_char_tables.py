#!/usr/bin/env python3
"""Writes src/clam/coding/char_tables_data.cpp: the case maps, letter types and
base letters of the ten character sets of clam words, and the 32 alphabets of
the 39 languages.

The code-page character sets are derived from the code pages themselves and
Unicode's case mappings and canonical decompositions, then corrected by the
listed differences; sets 1 and 9 have layouts of their own and are listed in
full. Every listed difference is checked to really differ from the rule, so a
change in the derivation cannot silently swallow one.

Usage: python3 tools/gen/gen_char_tables.py [--output PATH]
"""

import argparse
import codecs
import os
import sys
import unicodedata

LOWER_BIT = 0x04
UPPER_BIT = 0x08
VALID_BIT = 0x01

# Character set of each language id (index 0 unused).
CHARSET_LANGUAGES = {
    1: "1-17 27 29",
    2: "18-21",
    3: "22-24 28 30 32 37",
    4: "25",
    5: "26",
    6: "31",
    7: "34",
    8: "38",
    9: "39",
    10: "33 35 36",
}

ASCII_PAIRS = [(u, u + 0x20) for u in range(0x41, 0x5B)]

# Character set 1: its own layout (case pairs upper/lower, base letters).
SET1_PAIRS = """80/87 8E/84 8F/86 90/82 92/91 99/94 9A/81 9D/EC A5/A4 B0/85 B1/8A
B2/8D B3/95 B4/97 B5/A0 B6/A1 B7/A2 B8/A3 B9/89 BA/8B BB/83 BC/88 BD/8C BE/93
BF/96 C0/C1 C3/C2 C7/C6 C9/C8 CB/CA D1/D0 E8/E7 E9/ED"""
SET1_BASE = """80>43 81>75 82>65 83>61 84>61 85>61 86>61 87>63 88>65 89>65 8A>65
8B>69 8C>69 8D>69 8E>41 8F>41 90>45 91>65 92>45 93>6F 94>6F 95>6F 96>75 97>75
99>4F 9A>55 9D>59 A0>61 A1>69 A2>6F A3>75 A4>6E A5>4E B0>41 B1>45 B2>49 B3>4F
B4>55 B5>41 B6>49 B7>4F B8>55 B9>45 BA>49 BB>41 BC>45 BD>49 BE>4F BF>55 C0>45
C1>65 C2>61 C3>41 C5>6E C6>6F C7>4F C8>79 C9>59 CA>6C CB>4C E1>73 E9>4F EC>79
ED>6F"""

# Character set 9: its own layout, with letters also at some control bytes.
SET9_PAIRS = """02/C6 11/C7 12/E7 13/E6 14/D6 19/DB 1E/DC 80/D5 81/A1 82/A2 83/A3
84/A4 85/A5 86/A6 87/A7 88/A8 89/A9 8A/AA 8B/AB 8C/AC 8D/AD 8E/AE 8F/AF 90/B0
91/B1 92/B2 93/B5 94/FE 95/BE 96/B6 97/B7 98/B8 99/F6 9A/F7 9B/EF 9C/FC 9D/FB
9E/F8 9F/CF A0/F5 B3/DE B4/BD B9/F1 BA/D1 BB/D7 BC/D8 BF/DF C0/E0 C1/E1 C2/E2
C3/E3 C4/E4 C5/E5 C8/E8 C9/E9 CA/EA CB/EB CC/EC CD/ED CE/EE D0/F0 D2/F2 D3/F3
D4/F4 D9/F9 DA/FA DD/FD"""
SET9_BASE = """02>41 11>41 12>41 13>55 14>59 19>59 1E>59 80-87>41 88-8E>45
8F-97>4F 98>49 99>4F 9A>4F 9B>49 9C-9E>55 9F>59 A0>4F A1-A7>61 A8-AE>65
AF-B2>6F B3>4F B4>4F B5-B7>6F B8>69 B9-BC>55 BD>6F BE>6F BF>55 C0-C5>41 C6>61
C7>61 C8-CB>45 CC-CE>49 CF>79 D0>44 D1>75 D2-D4>4F D5>61 D6>79 D7>75 D8>75
D9>55 DA>55 DB>79 DC>79 DD>59 DE>6F DF>75 E0-E5>61 E6>75 E7>61 E8-EB>65
EC-EF>69 F0>64 F1>75 F2-F7>6F F8-FC>75 FD>79 FE>6F"""

# Code-page character sets and how they differ from the rules. "base" is
# "rule" (derived) or "listed" (only the listed entries); "add_pairs" and
# "drop_pairs" name (upper, lower) pairs, "unpaired" bytes whose rule pair is
# dropped, "base_identity" rule entries that map to themselves instead.
CODE_PAGE_SETS = {
    2: dict(codec="cp1251", drop_pairs="DF/FF", add_pairs="DF/88",
            base="listed", base_extra="A5>C3 A8>AA B4>E3 B8>BA"),
    3: dict(codec="cp1250", base="rule",
            base_extra="A3>4C B3>6C D0>44 DF>73 F0>64"),
    4: dict(codec="cp1253", base="rule", base_identity="A1"),
    5: dict(codec="cp1254", drop_pairs="49/69", add_pairs="49/FD",
            unpaired="8A 8C 9F", base="rule", base_identity="8A 9A 9F FF",
            base_extra="8F>79 C6>45 D8>4F DF>73 E6>65 F8>6F FD>69"),
    6: dict(codec="cp1256", unpaired="8C", base="listed",
            base_extra="C2>C7 C3>C7 C5>C7 C4>E8 C6>EA"),
    7: dict(codec="cp1255", base="listed"),
    8: dict(codec="cp874", base="listed", base_extra="D3>D2"),
    10: dict(codec="cp1257", base="rule",
             base_extra="A8>4F B8>6F D9>4C F9>6C"),
}

COMMON_VALID = "04-06 27 2D-2E 41-5A 61-7A"

# Alphabets: languages, space valid, bytes of the common set that are not
# valid, further valid bytes. One row is one table.
ALPHABETS = [
    ("1 6 29", True, "", ""),
    ("2 14", False, "", "81 84 8E 94 99-9A E1"),
    ("3 13", False, "", "80-85 87-8E 90 93-97 99-9A B0-B4 B9-BF"),
    ("4", True, "", "81-82 90 9A A0-A5 B5-B8"),
    ("5", True, "", "82 85 8A 8D 90 95 97 B0-B4"),
    ("7", True, "", "82 84 86 8E-90 94 99"),
    ("8", True, "", "82 86 8F-92 E9 ED"),
    ("9 15", True, "", "80-82 86-8A 8F-93 9A B1 B9 BC BE E9 ED"),
    ("10", True, "", "81-82 85 89-8B 8D 90 94-95 97 99-9A A0-A3 B0-BA C8-C9"),
    ("11 12", True, "",
     "80-83 85 87-88 8A 90 93 9A A0-A3 B0-B1 B5-B8 BB-BC BE C2-C3 C6-C7"),
    ("16", True, "", "81-86 88-8A 8E-92 94 99-9A A0 B0-B1 B5 B9 BB-BC"),
    ("17", True, "", "80-82 85 87 8A-8B 90 95 9A A1-A3 B0-B1 B3 B6-B8 BA FA"),
    ("18", True, "41-5A 61-7A", "88 A8 B8 C0-FE"),
    ("19", True, "41-5A 61-7A", "88 A5 AA AF B2-B4 BA BF-D9 DC DE-F9 FC FE"),
    ("20", True, "41-5A 61-7A", "88 A8 B8 C0-DA DC DE-FA FC FE"),
    ("21", True, "41-5A 61-7A",
     "80 8A 8C 8E 90 9A 9C 9E A3 BC-BE C0-C8 CA-D8 E0-E8 EA-F8"),
    ("22 30", True, "51 57-58 71 77-78",
     "8A 8D-8E 9A 9D-9E BC BE C0-C1 C4 C8-C9 CC-CD CF D2-D4 D8-DA DD E0-E1 E4 "
     "E8-E9 EC-ED EF F2-F4 F8-FA FD"),
    ("23", True, "51 56 58 71 76 78",
     "8C 8F 9C 9F A3 A5 AF B3 B9 BF C6 CA D1 D3 E6 EA F1 F3"),
    ("24", True, "", "AA BA C2-C3 CE DE E2-E3 EE FE"),
    ("25", True, "41-5A 61-7A", "80-81 A2 B8-BA BC BE-D1 D3-FE"),
    ("26", True, "51 57-58 71 77-78", "C2 C7 D0 D6 DB-DE E2 E7 F0 F6 FB-FE"),
    ("27", True, "43 51 57 63 71 77",
     "82 90-92 94 99 9D A0-A3 B5-B8 D0-D1 E7-E8 EC"),
    ("28", True, "51 57-58 71 77-78",
     "C1 C9 CD D3 D5-D6 DA-DC E1 E9 ED F3 F5-F6 FA-FC"),
    ("31", False, COMMON_VALID, "C1-DA E0-F2"),
    ("32", True, "", "8A 8E 9A 9E C6 C8 D0 E6 E8 F0"),
    ("33", True, "", "C4 C8 D0 D5-D6 DC DE E4 E8 F0 F5-F6 FC FE"),
    ("34", False, COMMON_VALID, "A0 A2-BE DF-FA"),
    ("35", True, "51 57-58 71 77-78",
     "AA BA C2 C7-C8 CC-D0 D2 D4 DB DE E2 E7-E8 EC-F0 F2 F4 FB FE"),
    ("36", True, "",
     "C0-C1 C6 C8 CB D0 D8 DB DE E0-E1 E6 E8 EB F0 F8 FB FE"),
    ("37", True, "51 57-58 71 77-78", "8A 8E 9A 9E C8 E8"),
    ("38", False, COMMON_VALID, "A1-DA E0-EE"),
    ("39", True, "", "02 11-14 19 1E 80-FE"),
]


def fail(message):
    sys.exit("gen_char_tables: " + message)


def parse_values(text, base=16):
    """'04-06 27' -> [4, 5, 6, 0x27]; ranges are inclusive."""
    values = []
    for item in text.split():
        low, _, high = item.partition("-")
        first = int(low, base)
        last = int(high, base) if high else first
        values.extend(range(first, last + 1))
    return values


def parse_pairs(text):
    return [tuple(int(x, 16) for x in item.split("/")) for item in text.split()]


def parse_base(text):
    entries = {}
    for item in text.split():
        source, target = item.split(">")
        for byte in parse_values(source):
            entries[byte] = int(target, 16)
    return entries


def code_page_chars(codec):
    chars = {}
    for byte in range(256):
        try:
            chars[byte] = bytes([byte]).decode(codec)
        except UnicodeDecodeError:
            pass  # undefined in the code page: no character, maps to itself
    return chars


def simple_lower(char):
    """Unicode's simple lower-case mapping; str.lower() gives the full one,
    which differs only by trailing combining marks (U+0130)."""
    full = char.lower()
    if len(full) > 1 and all(unicodedata.category(c).startswith("M") for c in full[1:]):
        return full[0]
    return full


def rule_pairs(chars):
    byte_of = {c: b for b, c in chars.items()}
    pairs = []
    for byte, char in sorted(chars.items()):
        if unicodedata.category(char) != "Lu":
            continue
        lower = simple_lower(char)
        if lower != char and lower in byte_of:
            pairs.append((byte, byte_of[lower]))
    return pairs


def rule_base(chars):
    byte_of = {c: b for b, c in chars.items()}
    entries = {}
    for byte, char in chars.items():
        decomposed = unicodedata.normalize("NFD", char)
        if len(decomposed) < 2 or decomposed[0] not in byte_of:
            continue
        if all(unicodedata.category(c).startswith("M") for c in decomposed[1:]):
            entries[byte] = byte_of[decomposed[0]]
    return entries


def code_page_set(number, layout):
    chars = code_page_chars(layout["codec"])
    pairs = rule_pairs(chars)
    unpaired = parse_values(layout.get("unpaired", ""))
    for upper in unpaired:
        if not any(u == upper for u, _ in pairs):
            fail(f"set {number}: {upper:02X} has no pair to drop")
    pairs = [p for p in pairs if p[0] not in unpaired]
    for pair in parse_pairs(layout.get("drop_pairs", "")):
        if pair not in pairs:
            fail(f"set {number}: pair {pair} is not made by the rule")
        pairs.remove(pair)
    for pair in parse_pairs(layout.get("add_pairs", "")):
        if pair in pairs:
            fail(f"set {number}: pair {pair} is already made by the rule")
        pairs.append(pair)

    base = rule_base(chars) if layout["base"] == "rule" else {}
    for byte in parse_values(layout.get("base_identity", "")):
        if byte not in base:
            fail(f"set {number}: base letter of {byte:02X} is no rule entry")
        del base[byte]
    for byte, target in parse_base(layout.get("base_extra", "")).items():
        if byte in base:
            fail(f"set {number}: base letter of {byte:02X} is already a rule entry")
        base[byte] = target
    return pairs, base


def character_sets():
    sets = {
        1: (ASCII_PAIRS + parse_pairs(SET1_PAIRS), parse_base(SET1_BASE)),
        9: (ASCII_PAIRS + parse_pairs(SET9_PAIRS), parse_base(SET9_BASE)),
    }
    for number, layout in CODE_PAGE_SETS.items():
        sets[number] = code_page_set(number, layout)
    return [sets[n] for n in range(1, 11)]


def case_tables(number, pairs):
    lower = list(range(256))
    upper = list(range(256))
    types = [0] * 256
    for up, low in pairs:
        if types[up] or types[low]:
            fail(f"set {number}: byte in more than one case pair ({up:02X}/{low:02X})")
        lower[up] = low
        upper[low] = up
        types[up] = UPPER_BIT
        types[low] = LOWER_BIT
    return lower, upper, types


def check_ascii(number, lower, upper, base):
    set9_letters = {0x02, 0x11, 0x12, 0x13, 0x14, 0x19, 0x1E}
    for byte in range(0x80):
        letter = 0x41 <= byte <= 0x5A or 0x61 <= byte <= 0x7A
        if letter or (number == 9 and byte in set9_letters):
            continue
        if lower[byte] != byte or upper[byte] != byte or base[byte] != byte:
            fail(f"set {number}: ASCII byte {byte:02X} does not map to itself")


def alphabet_tables():
    tables = []
    language_table = [-1] * 40
    common = set(parse_values(COMMON_VALID))
    for index, (languages, space, without, extra) in enumerate(ALPHABETS):
        valid = (common - set(parse_values(without))) | set(parse_values(extra))
        if space:
            valid.add(0x20)
        if valid & set(range(0x30, 0x3A)) or valid & {7, 8}:
            fail(f"alphabet of {languages}: digits, 7 and 8 are never valid")
        tables.append([VALID_BIT if b in valid else 0 for b in range(256)])
        for language in parse_values(languages, base=10):
            if language_table[language] != -1:
                fail(f"language {language} has two alphabets")
            language_table[language] = index
    if len(set(map(tuple, tables))) != 32 or -1 in language_table[1:]:
        fail("expected 32 distinct alphabets covering languages 1 to 39")
    language_table[0] = 0
    return tables, language_table


def language_charsets():
    table = [0] * 40
    for charset, languages in CHARSET_LANGUAGES.items():
        for language in parse_values(languages, base=10):
            table[language] = charset
    if 0 in table[1:]:
        fail("a language has no character set")
    return table


def format_numbers(values):
    rows = [values[i:i + 20] for i in range(0, len(values), 20)]
    return "\n".join("    " + ", ".join(str(v) for v in row) + "," for row in rows)


def format_table(values, indent="    "):
    lines = []
    for row in range(0, len(values), 16):
        chunk = values[row:row + 16]
        lines.append(indent + ", ".join(f"0x{v:02X}" for v in chunk) + ",")
    return "\n".join(lines)


def format_table_array(name, count_name, tables, labels):
    out = [f"const std::array<ClamByteTable, {count_name}> {name} = {{{{"]
    for label, table in zip(labels, tables):
        out.append(f"    // {label}")
        out.append("    {{")
        out.append(format_table(table, indent="        "))
        out.append("    }},")
    out.append("}};")
    return "\n".join(out)


def generate():
    sets = character_sets()
    lowers, uppers, types, bases = [], [], [], []
    for number, (pairs, base_entries) in enumerate(sets, start=1):
        lower, upper, letter_types = case_tables(number, pairs)
        base = list(range(256))
        for byte, target in base_entries.items():
            base[byte] = target
        check_ascii(number, lower, upper, base)
        lowers.append(lower)
        uppers.append(upper)
        types.append(letter_types)
        bases.append(base)
    alphabets, language_alphabet = alphabet_tables()
    charsets = language_charsets()
    set_labels = [f"character set {n}" for n in range(1, 11)]

    parts = [
        "// generated by tools/gen/gen_char_tables.py; do not edit. Regenerate with:",
        "//   python3 tools/gen/gen_char_tables.py --output src/clam/coding/char_tables_data.cpp",
        "// clang-format off",
        '#include "clam/coding/char_tables_data.h"',
        "",
        "const std::array<uint32_t, kClamLanguageCount + 1> kClamLanguageCharacterSet = {",
        format_numbers(charsets),
        "};",
        "",
        "const std::array<uint8_t, kClamLanguageCount + 1> kClamLanguageAlphabet = {",
        format_numbers(language_alphabet),
        "};",
        "",
        "// Indexed by character set - 1.",
        format_table_array("kClamLowerTables", "kClamCharacterSetCount", lowers, set_labels),
        "",
        format_table_array("kClamUpperTables", "kClamCharacterSetCount", uppers, set_labels),
        "",
        format_table_array("kClamLetterTypeTables", "kClamCharacterSetCount", types, set_labels),
        "",
        format_table_array("kClamBaseLetterTables", "kClamCharacterSetCount", bases, set_labels),
        "",
        "// Indexed by kClamLanguageAlphabet.",
        format_table_array("kClamAlphabets", "kClamAlphabetCount", alphabets,
                           [f"languages {row[0]}" for row in ALPHABETS]),
        "// clang-format on",
        "",
    ]
    return "\n".join(parts)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "src", "clam", "coding", "char_tables_data.cpp")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.normpath(default))
    args = parser.parse_args()
    text = generate()
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with codecs.open(args.output, "w", encoding="ascii") as out:
        out.write(text)


if __name__ == "__main__":
    main()
