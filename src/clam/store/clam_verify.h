// A checker of the whole tree of a clam file, for tests and for people who debug a
// dictionary: it reads the file's bytes, never the cache, and reports every broken rule.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct ClamPhonEnv;

struct ClamVerifyReport {
    std::vector<std::string> problems;  // one line each; empty for a well-formed tree
    std::uint32_t blocks = 0;           // blocks in use
    std::uint32_t depth = 0;            // levels, the root included
    std::uint64_t liveRecords = 0;      // leaf records of non-zero value
};

// Checks the header against the environment, used lengths, record bounds and alignment,
// drop 0 in every first record, key order within blocks and along the leaf chain, index
// keys against their children, every block in use reached exactly once, equal leaf depth,
// the chain ending in 0xFFFF, and the sentinel first.
ClamVerifyReport ClamVerifyImage(std::span<const std::uint8_t> file, const ClamPhonEnv& env);
