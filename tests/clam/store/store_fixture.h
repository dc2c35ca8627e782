// Shared set-up of the store tests: a scratch folder, a minimal environment (language 1,
// class base 'A', so the sentinel key is "AA"), a block cache, and readers of the results.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "clam/store/clam_store.h"
#include "clam/store/clam_verify.h"
#include "clam/store/phon_env.h"
#include "support/fault_platform.h"
#include "support/temp_prefix.h"

namespace store_test {

using testing_support::FaultPlatform;
using testing_support::Op;
using Records = std::map<std::string, std::uint16_t>;

// Runs `f` with the platform `p` in place.
template <class F>
auto Through(FaultPlatform& p, F f) {
    testing_support::ScopedPlatform use(p);
    return f();
}

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env_.language = env_.languageCode = 1;
        env_.classBase = 'A';
        ASSERT_NE(cache_, nullptr);
    }
    void TearDown() override { ClamFreeBlockCache(cache_); }

    // A new file: version 6, language 1, one leaf holding the sentinel.
    static std::string NewFile() {
        return std::string("\6\1\x0A\x80\0\0\0AA", 9).append(1015, '\0');
    }
    std::wstring Path(const std::string& name) const {
        return (scratch_.DriveC() / name).wstring();
    }
    ClamHandle* Open(const std::string& name, std::uint32_t mode = 0, int* status = nullptr) {
        int ignored = 0;
        return ClamOpenFile(Path(name), mode, cache_, &env_, status ? status : &ignored);
    }
    std::string FileBytes(const std::string& name) const { return scratch_.ReadFile(Path(name)); }
    void WriteFile(const std::string& name, const std::string& bytes) const {
        scratch_.WriteFile(Path(name), bytes);
    }
    // Checks the tree of the file, which is expected to be well-formed unless `damaged`.
    ClamVerifyReport Verify(const std::string& name, bool damaged = false) const {
        const std::string b = FileBytes(name);
        ClamVerifyReport report =
            ClamVerifyImage({reinterpret_cast<const std::uint8_t*>(b.data()), b.size()}, env_);
        EXPECT_EQ(report.problems.empty(), !damaged)
            << name << ": " << (damaged ? "no problem" : report.problems.front());
        return report;
    }
    // The live records from the sentinel on, through the handle or a new read-only one.
    Records Contents(const std::string& name) {
        ClamHandle* handle = Open(name, kClamReadOnly);
        Records records = ReadAll(handle);
        ClamClose(handle);
        return records;
    }
    static Records ReadAll(ClamHandle* handle) {
        Records records;
        if (handle == nullptr || ClamSeekKey(handle, "AA", 0) != 1) return records;
        while (ClamNextRecord(handle) == 1) records.emplace(handle->key.data(), handle->value);
        return records;
    }
    // The cache slots that hold a block of the descriptor (0: the free ones).
    long SlotsOf(std::int64_t fd) const {
        const ClamCacheSlot* slots = cache_->slots;
        return std::count_if(slots, slots + kClamCacheSlots, [&](auto& s) { return s.fd == fd; });
    }
    static int Insert(ClamHandle* handle, const std::string& key, std::uint16_t value = 1) {
        return ClamInsertStoredKey(handle, key.c_str(), value);
    }
    // A key of the given length: two class bytes from 'B' on, then lower-case letters.
    static std::string RandomKey(std::mt19937& rng, std::size_t length) {
        std::string key = {static_cast<char>('B' + rng() % 4), static_cast<char>('B' + rng() % 4)};
        while (key.size() < length) key.push_back(static_cast<char>('a' + rng() % 26));
        return key;
    }

    testing_support::TempPrefix scratch_;
    ClamPhonEnv env_{};
    ClamBlockCache* cache_ = ClamNewBlockCache(5, 10);
};

}  // namespace store_test
