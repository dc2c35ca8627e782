#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "store_fixture.h"

namespace store_test {
namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector Encode(const char* prev, const char* key, std::uint32_t value) {
    ByteVector out(kClamMaxRecordSize, 0xEE);
    const std::uint8_t* end = ClamEncodeRecord(out.data(), value, prev, key);
    out.resize(static_cast<std::size_t>(end - out.data()));
    EXPECT_EQ(out.size(), ClamEncodedRecordSize(prev, key));
    return out;
}

TEST_F(StoreTest, NewFileIsTheSentinelBlockAndHoldsNoWord) {
    ClamHandle* handle = Create("new.clam");
    EXPECT_TRUE(ReadAll(handle).empty());
    EXPECT_EQ(ClamClose(handle), 1);
    std::string expected(kClamBlockSize, '\0');
    const char head[] = {6, 1, 0x0A, static_cast<char>(0x80), 0, 0, 0, 'A', 'A', 0};
    expected.replace(0, sizeof head, head, sizeof head);
    EXPECT_EQ(Bytes("new.clam"), expected);
    EXPECT_TRUE(Verify("new.clam").problems.empty());
}

TEST(ClamRecordTest, FrontCodingWithPadAndPrefixKeys) {
    // One tail byte and its NUL: an even tail, so a pad byte follows.
    EXPECT_EQ(Encode("AA", "AAx", 0x1234), (ByteVector{0x34, 0x12, 0, 'x', 0, 0}));
    // A prefix of the previous key: an empty tail and a drop of the difference.
    EXPECT_EQ(Encode("AAxyz", "AAx", 7), (ByteVector{7, 0, 2, 0}));
    // No previous key: the whole key; only the low 16 bits of the value are kept.
    EXPECT_EQ(Encode(nullptr, "BCd", 0x10005), (ByteVector{5, 0, 0, 'B', 'C', 'd', 0, 0}));
}

// A root leaf whose records after the sentinel are the given raw bytes.
std::string RootWith(const ByteVector& records, std::size_t used = 0) {
    std::string block(kClamBlockSize, '\0');
    const char sentinel[] = {0, 0, 0, 'A', 'A', 0};
    block.replace(4, sizeof sentinel, sentinel, sizeof sentinel);
    block.replace(10, records.size(), reinterpret_cast<const char*>(records.data()),
                  records.size());
    if (used == 0) used = 10 + records.size();
    block[0] = 6;
    block[1] = 1;
    block[2] = static_cast<char>(used & 0xFF);
    block[3] = static_cast<char>(((used >> 8) & 0x7F) | 0x80);
    return block;
}

TEST_F(StoreTest, DamagedRecordsFailTheHandleInsteadOfStraying) {
    // Value 1, drop 0 and a tail of 197 bytes: with the two bytes kept, a key of 199.
    ByteVector overlong(3 + kClamMaxKeyLength + 1, 'q');
    overlong[0] = 1;
    overlong[1] = 0;
    overlong[2] = 0;
    overlong.back() = 0;
    const std::vector<std::string> files = {
        RootWith({1, 0, 9, 'x', 0, 0}),                  // drops more than the key holds
        RootWith(overlong),                              // key longer than 197 bytes
        RootWith({1, 0, 0, 'B', 'B', 'c'}),              // tail without its NUL
        RootWith({1, 0, 0, 'B', 'B', 0}, 1024 + 2),      // used length past the block
        RootWith({1, 0, 0, 'B', 'B', 'c', 0, 0}, 1023),  // records run to an odd end
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        WriteBytes("bad.clam", files[i]);
        ClamHandle* handle = Open("bad.clam", kClamReadOnly);
        ASSERT_NE(handle, nullptr);
        ReadAll(handle);
        EXPECT_NE(handle->flags & kClamFailed, 0);
        EXPECT_EQ(ClamInsertStoredKey(handle, "BBz", 1), 0);
        EXPECT_EQ(ClamClose(handle), 0);
        EXPECT_FALSE(Verify("bad.clam").problems.empty());
    }
}

TEST_F(StoreTest, DamagedLinksAndChildrenFailTheHandle) {
    ClamHandle* handle = Create("tree.clam");
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i) Insert(handle, RandomKey(rng, 20), 1);
    ASSERT_EQ(ClamClose(handle), 1);
    const std::string good = Bytes("tree.clam");
    ASSERT_GE(good.size(), 4 * kClamBlockSize);
    struct Damage {
        std::size_t block;
        std::uint16_t link;
        bool child;  // patch the first index record's child instead of the link
    };
    // A leaf chain that leads back, a link to the root or past the blocks in use, a child that
    // is the root or past the end: each must end in a failed handle, not a loop or a stray read.
    const std::vector<Damage> damages = {
        {2, 2, false}, {2, 0, false}, {2, 999, false}, {0, 0, true}, {0, 999, true}};
    for (const Damage& d : damages) {
        std::string bytes = good;
        const std::size_t at = d.block * kClamBlockSize + (d.child ? 4 : 0);
        bytes[at] = static_cast<char>(d.link & 0xFF);
        bytes[at + 1] = static_cast<char>(d.link >> 8);
        WriteBytes("bad.clam", bytes);
        handle = Open("bad.clam", kClamReadOnly);
        ASSERT_NE(handle, nullptr);
        const auto records = ReadAll(handle);
        for (int i = 0; i < 50 && !(handle->flags & kClamFailed); ++i) {
            Finds(handle, RandomKey(rng, 20));
        }
        EXPECT_NE(handle->flags & kClamFailed, 0) << d.block << " " << d.link;
        EXPECT_LT(records.size(), 300u);
        ClamClose(handle);
    }
}

}  // namespace
}  // namespace store_test
