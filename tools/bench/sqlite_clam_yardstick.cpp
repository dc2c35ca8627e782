#include "sqlite_clam_yardstick.h"

#include <cstdio>
#include <fstream>

#include "bench.h"

#ifdef WORDHAUL_BENCH_SQLITE
#include <sqlite3.h>

namespace bench {
namespace {

bool Exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    std::fprintf(stderr, "sqlite: %s: %s\n", sql, message != nullptr ? message : "?");
    sqlite3_free(message);
    return false;
}

// Lookup, then insertion of a missing word, for every word; the time from the transaction's
// start to its commit.
bool Run(sqlite3* db, const std::vector<std::string>& words, double& seconds) {
    if (!Exec(db, "PRAGMA page_size=1024") || !Exec(db, "PRAGMA cache_size=10") ||
        !Exec(db, "PRAGMA journal_mode=OFF") ||
        !Exec(db, "CREATE TABLE IF NOT EXISTS words(word TEXT PRIMARY KEY) WITHOUT ROWID")) {
        return false;
    }
    sqlite3_stmt* find = nullptr;
    sqlite3_stmt* add = nullptr;
    bool ok =
        sqlite3_prepare_v2(db, "SELECT 1 FROM words WHERE word=?1", -1, &find, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, "INSERT INTO words VALUES(?1)", -1, &add, nullptr) == SQLITE_OK;
    const double start = Now();
    ok = ok && Exec(db, "BEGIN");
    for (const std::string& word : words) {
        if (!ok) break;
        sqlite3_bind_text(find, 1, word.data(), static_cast<int>(word.size()), SQLITE_STATIC);
        const int found = sqlite3_step(find);
        sqlite3_reset(find);
        if (found == SQLITE_ROW) continue;
        sqlite3_bind_text(add, 1, word.data(), static_cast<int>(word.size()), SQLITE_STATIC);
        ok = sqlite3_step(add) == SQLITE_DONE;
        sqlite3_reset(add);
    }
    ok = ok && Exec(db, "COMMIT");
    seconds = Now() - start;
    sqlite3_finalize(find);
    sqlite3_finalize(add);
    return ok;
}

}  // namespace

bool SqliteLookupInsert(const std::vector<std::string>& words, const std::filesystem::path& path,
                        double& seconds) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.string().c_str(), &db) == SQLITE_OK && Run(db, words, seconds);
    sqlite3_close(db);
    return ok;
}

bool MakeSqliteFull(const std::filesystem::path& wordFile, const std::filesystem::path& db) {
    std::vector<std::string> words;
    std::ifstream in(wordFile);
    for (std::string line; std::getline(in, line);) words.push_back(line);
    std::filesystem::remove(db);
    double ignored = 0;
    return SqliteLookupInsert(words, db, ignored);
}

}  // namespace bench

#else

namespace bench {

bool SqliteLookupInsert(const std::vector<std::string>&, const std::filesystem::path&, double&) {
    std::fprintf(stderr, "built without SQLite (libsqlite3-dev)\n");
    return false;
}

bool MakeSqliteFull(const std::filesystem::path&, const std::filesystem::path&) {
    return true;
}

}  // namespace bench

#endif
