#include "clam/store/clam_verify.h"

#include <cstring>
#include <optional>

#include "clam/coding/phonetic_keys.h"
#include "clam/store/clam_store.h"
#include "clam/store/phon_env.h"

namespace {

using Key = std::array<char, kClamKeyBufferSize>;

constexpr std::uint32_t kMaxDepth = 32;

struct Record {
    std::uint16_t value;
    Key key;
};

class Verifier {
  public:
    Verifier(std::span<const std::uint8_t> file, const ClamPhonEnv& env) : file_(file), env_(env) {}

    ClamVerifyReport Run() {
        if (file_.size() < kClamBlockSize) {
            Problem("file shorter than one block (" + std::to_string(file_.size()) + " bytes)");
            return std::move(report_);
        }
        report_.blocks = CountBlocksInUse();
        CheckHeader();
        reached_.assign(report_.blocks, false);
        Visit(0, std::nullopt, std::nullopt, 1);
        CheckChain();
        CheckSentinel();
        for (std::uint32_t n = 0; n < report_.blocks; ++n) {
            if (!reached_[n]) Problem("block " + std::to_string(n) + " is in use but not reached");
        }
        return std::move(report_);
    }

  private:
    const std::uint8_t* Block(std::uint32_t n) const { return file_.data() + n * kClamBlockSize; }

    void Problem(const std::string& text) { report_.problems.push_back(text); }
    void Problem(std::uint32_t block, const std::string& text) {
        Problem("block " + std::to_string(block) + ": " + text);
    }

    std::uint32_t CountBlocksInUse() const {
        std::size_t n = std::min<std::size_t>(file_.size() / kClamBlockSize, kClamMaxBlocks);
        while (n > 0 && Block(static_cast<std::uint32_t>(n - 1))[0] == 0 &&
               Block(static_cast<std::uint32_t>(n - 1))[1] == 0) {
            --n;
        }
        return static_cast<std::uint32_t>(n);
    }

    void CheckHeader() {
        const std::uint8_t* root = Block(0);
        int version = root[0];
        int language = root[1];
        if (language < kClamMinLanguage || language > kClamMaxLanguage) {
            version = kClamOldVersion;
            language = root[0];
        }
        if (version != kClamVersion && version != kClamOldVersion) {
            Problem("header: version " + std::to_string(version) + " is neither 5 nor 6");
        }
        if (language != env_.language) {
            Problem("header: language " + std::to_string(language) +
                    " differs from the environment's " + std::to_string(env_.language));
        }
    }

    // Decodes every record of a block; false (with a problem) when a record is damaged.
    bool ReadRecords(std::uint32_t n, std::vector<Record>& records) {
        const std::uint8_t* block = Block(n);
        const std::size_t used = ClamUsedLength(block);
        if (used < kClamHeaderSize || used > kClamBlockSize || used % 2 != 0) {
            Problem(n, "used length " + std::to_string(used) + " out of range or odd");
            return false;
        }
        Key key{};
        std::size_t keyLength = 0;
        std::size_t offset = kClamHeaderSize;
        for (;;) {
            const std::size_t start = offset;
            std::uint16_t value = 0;
            const auto step =
                ClamDecodeRecord({block, kClamBlockSize}, used, offset, key, keyLength, value);
            if (step == ClamRecordStep::kEnd) return true;
            if (step == ClamRecordStep::kDamaged) {
                Problem(n, "damaged record at offset " + std::to_string(start));
                return false;
            }
            if (start % 2 != 0) Problem(n, "record at odd offset " + std::to_string(start));
            if (records.empty() && block[start + 2] != 0) {
                Problem(n, "first record has drop " + std::to_string(block[start + 2]));
            }
            if (!records.empty() && ClamCompareKeys(records.back().key.data(), key.data()) >= 0) {
                Problem(n, "key at offset " + std::to_string(start) + " not above the one before");
            }
            records.push_back({value, key});
        }
    }

    void CheckBounds(std::uint32_t n, const std::vector<Record>& records,
                     const std::optional<Key>& lower, const std::optional<Key>& upper) {
        if (records.empty()) return;
        if (lower && ClamCompareKeys(records.front().key.data(), lower->data()) != 0) {
            Problem(n, "first key differs from its index key");
        }
        if (upper && ClamCompareKeys(records.back().key.data(), upper->data()) >= 0) {
            Problem(n, "last key not below the next index key");
        }
    }

    void Visit(std::uint32_t n, const std::optional<Key>& lower, const std::optional<Key>& upper,
               std::uint32_t depth) {
        if (n >= report_.blocks) {
            Problem(n, "referenced but not in use");
            return;
        }
        if (reached_[n]) {
            Problem(n, "reached more than once");
            return;
        }
        reached_[n] = true;
        if (depth > kMaxDepth) {
            Problem(n, "deeper than " + std::to_string(kMaxDepth) + " levels");
            return;
        }
        std::vector<Record> records;
        if (!ReadRecords(n, records)) return;
        CheckBounds(n, records, lower, upper);
        if (ClamIsLeaf(Block(n))) {
            VisitLeaf(n, records, depth);
            return;
        }
        if (records.empty()) Problem(n, "index block without records");
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::optional<Key> next =
                i + 1 < records.size() ? std::optional<Key>(records[i + 1].key) : upper;
            if (records[i].value == 0) {
                Problem(n, "index record " + std::to_string(i) + " leads to block 0");
                continue;
            }
            Visit(records[i].value, records[i].key, next, depth + 1);
        }
    }

    void VisitLeaf(std::uint32_t n, const std::vector<Record>& records, std::uint32_t depth) {
        if (report_.depth == 0) report_.depth = depth;
        if (depth != report_.depth) {
            Problem(n, "leaf at depth " + std::to_string(depth) + ", others at " +
                           std::to_string(report_.depth));
        }
        for (const Record& r : records) report_.liveRecords += r.value != 0 ? 1 : 0;
        leaves_.push_back(n);
        if (firstLeafRecord_ == std::nullopt && !records.empty()) firstLeafRecord_ = records[0];
        if (leaves_.size() == 1 && records.empty()) Problem(n, "leftmost leaf is empty");
    }

    void CheckChain() {
        if (leaves_.size() <= 1 || leaves_.front() == 0) return;
        for (std::size_t i = 0; i < leaves_.size(); ++i) {
            const std::uint32_t expected = i + 1 < leaves_.size() ? leaves_[i + 1] : kClamNoLink;
            const std::uint32_t link = ClamGetU16(Block(leaves_[i]));
            if (link != expected) {
                Problem(leaves_[i], "leaf link " + std::to_string(link) + ", expected " +
                                        std::to_string(expected));
            }
        }
    }

    void CheckSentinel() {
        const char base = static_cast<char>(env_.classBase & 0xFF);
        const char sentinel[3] = {base, base, '\0'};
        if (!firstLeafRecord_) return;
        if (firstLeafRecord_->value != 0 || std::strcmp(firstLeafRecord_->key.data(), sentinel)) {
            Problem("the first record of the leftmost leaf is not the sentinel");
        }
    }

    std::span<const std::uint8_t> file_;
    const ClamPhonEnv& env_;
    ClamVerifyReport report_;
    std::vector<bool> reached_;
    std::vector<std::uint32_t> leaves_;
    std::optional<Record> firstLeafRecord_;
};

}  // namespace

ClamVerifyReport ClamVerifyImage(std::span<const std::uint8_t> file, const ClamPhonEnv& env) {
    return Verifier(file, env).Run();
}
