// Clam dictionaries and phonetic environments for the scenarios, made and read with our
// own clamtool and the environments the build compiled from data/env. Both come from the
// build folder (WORDHAUL_CLAMTOOL, WORDHAUL_ENV_DIR), whichever runner the tool is run by.
#pragma once

#include <string>
#include <vector>

namespace e2e {

// The compiled environment of one of our languages (1, 2, 10, 14, 18, 22 or 39).
std::string EnvBytes(int language);

// A new dictionary of the language holding the words, added one by one as the import adds
// them. Every word must be stored.
std::string MakeClam(int language, const std::vector<std::string>& words);

// The words of a dictionary in key order, as the import reads them (`clamtool list`).
std::vector<std::string> ListClam(const std::string& bytes, int language);

// What `clamtool verify` finds wrong with a dictionary; empty when the tree is sound.
// `depth` receives the tree's depth when it is.
std::string VerifyClam(const std::string& bytes, int language, int* depth = nullptr);

// The dictionary with a version-5 header: the language id first, then a byte outside 1..39.
std::string AsVersion5(std::string bytes);

}  // namespace e2e
