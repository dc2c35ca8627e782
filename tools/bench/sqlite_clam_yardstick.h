// The clam import's yardstick: SQLite, one table of words (the key only, no row ids), 1024-byte
// pages, a cache of 10 pages, no journal, one transaction; for each word a lookup and, when
// it is missing, an insertion. Only the benchmark links SQLite, never the product.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Looks up and inserts the words in their order into the database file; false (with a
// message) when SQLite fails or the benchmark was built without it.
bool SqliteLookupInsert(const std::vector<std::string>& words, const std::filesystem::path& db,
                        double& seconds);
// A new database of the words of the file, one a line.
bool MakeSqliteFull(const std::filesystem::path& wordFile, const std::filesystem::path& db);

}  // namespace bench
