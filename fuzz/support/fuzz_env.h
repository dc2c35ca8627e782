// Phonetic environments for the fuzz targets: loaded from bytes through a memory platform,
// our own definitions of data/env compiled once, and the coding of a word under one.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "clam/store/clam_owners.h"

namespace fuzz_support {

// Loads environment bytes as the import does, from a descriptor; null when refused.
ClamPhonEnvPtr LoadEnvBytes(std::span<const std::uint8_t> bytes);

// The compiled bytes of every definition in data/env, in language order.
const std::vector<std::vector<std::uint8_t>>& DefinedEnvBytes();

// Classifies and encodes the word as an addition does, then builds its phonetic and stored
// keys and reads the stored key back to a display form. Traps when a key breaks its bounds
// or the store's order.
void CodeWord(const std::string& word, ClamPhonEnv* env);

}  // namespace fuzz_support
