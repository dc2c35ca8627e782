// Shared set-up of the store tests: a scratch folder, a minimal environment (language 1,
// class base 'A', so the sentinel key is "AA"), a block cache, and readers of the results.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "clam/store/block_cache.h"
#include "clam/store/clam_store.h"
#include "clam/store/clam_verify.h"
#include "clam/store/phon_env.h"

namespace store_test {

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path File(const std::string& name) const { return dir_ / name; }
    std::wstring Path(const std::string& name) const { return File(name).wstring(); }
    ClamHandle* Create(const std::string& name);
    ClamHandle* Open(const std::string& name, std::uint32_t mode = 0, int* status = nullptr);
    std::string Bytes(const std::string& name) const;
    void WriteBytes(const std::string& name, const std::string& bytes) const;
    ClamVerifyReport Verify(const std::string& name) const;
    // The live records of the file in key order, as key -> value.
    std::map<std::string, std::uint16_t> Contents(const std::string& name);

    ClamPhonEnv env_{};
    ClamBlockCache* cache_ = nullptr;

  private:
    std::filesystem::path dir_;
};

// The live records a handle reads from the sentinel on, in order.
inline std::vector<std::pair<std::string, std::uint16_t>> ReadAll(ClamHandle* handle);
// Inserts with a check; returns what ClamInsertStoredKey returned.
inline int Insert(ClamHandle* handle, const std::string& key, std::uint16_t value);
// A key of the given length: two class bytes from 'B' on, then lower-case letters.
inline std::string RandomKey(std::mt19937& rng, std::size_t length);
// Whether the handle finds the key and reads the value.
inline bool Finds(ClamHandle* handle, const std::string& key, std::uint16_t* value = nullptr);

inline void StoreTest::SetUp() {
    std::random_device seed;
    dir_ = std::filesystem::temp_directory_path() /
           ("wordhaul-store-" + std::to_string(seed()) + std::to_string(seed()));
    std::filesystem::create_directories(dir_);
    env_.language = 1;
    env_.languageCode = 1;
    env_.classBase = 'A';
    cache_ = ClamNewBlockCache(5, 10);
    ASSERT_NE(cache_, nullptr);
}

inline void StoreTest::TearDown() {
    ClamFreeBlockCache(cache_);
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir_, ignored);
}

inline ClamHandle* StoreTest::Create(const std::string& name) {
    int status = 0;
    ClamHandle* handle = ClamOpenFile(Path(name), kClamCreate, cache_, &env_, &status);
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(status, 0);
    return handle;
}

inline ClamHandle* StoreTest::Open(const std::string& name, std::uint32_t mode, int* status) {
    int ignored = 0;
    return ClamOpenFile(Path(name), mode, cache_, &env_, status != nullptr ? status : &ignored);
}

inline std::string StoreTest::Bytes(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

inline void StoreTest::WriteBytes(const std::string& name, const std::string& bytes) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline ClamVerifyReport StoreTest::Verify(const std::string& name) const {
    const std::string bytes = Bytes(name);
    return ClamVerifyImage({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                           env_);
}

inline std::map<std::string, std::uint16_t> StoreTest::Contents(const std::string& name) {
    std::map<std::string, std::uint16_t> contents;
    ClamHandle* handle = Open(name, kClamReadOnly);
    if (handle == nullptr) return contents;
    for (const auto& [key, value] : ReadAll(handle)) contents[key] = value;
    ClamClose(handle);
    return contents;
}

inline std::vector<std::pair<std::string, std::uint16_t>> ReadAll(ClamHandle* handle) {
    std::vector<std::pair<std::string, std::uint16_t>> records;
    const char sentinel[3] = {'A', 'A', '\0'};
    if (ClamSeekKey(handle, sentinel, 0) != 1) return records;
    while (ClamNextRecord(handle) == 1) {
        records.emplace_back(handle->key.data(), static_cast<std::uint16_t>(handle->value));
    }
    return records;
}

inline int Insert(ClamHandle* handle, const std::string& key, std::uint16_t value) {
    return ClamInsertStoredKey(handle, key.c_str(), value);
}

inline std::string RandomKey(std::mt19937& rng, std::size_t length) {
    std::string key;
    key.push_back(static_cast<char>('B' + rng() % 4));
    key.push_back(static_cast<char>('B' + rng() % 4));
    while (key.size() < length) key.push_back(static_cast<char>('a' + rng() % 26));
    return key;
}

inline bool Finds(ClamHandle* handle, const std::string& key, std::uint16_t* value) {
    if (ClamSeekKey(handle, key.c_str(), 0) != 1) return false;
    if (value != nullptr) *value = static_cast<std::uint16_t>(handle->value);
    return true;
}

}  // namespace store_test
