// ClamCompareKeys: the order of stored keys in a clam file.
#include <cstddef>
#include <cstdint>

#include "clam/coding/phonetic_keys.h"

namespace {

constexpr std::uint8_t kLastMarkerCode = 3;
constexpr std::uint8_t kPairExactCode = 3;  // counts when it stands right before the separator
constexpr std::uint8_t kFirstRawMarker = 4;
constexpr std::uint8_t kLastRawMarker = 7;
constexpr std::uint8_t kFirstPlainByte = kClamKeySeparator + 1;

// Yields the bytes of a key that take part in the order.
class SignificantBytes {
  public:
    explicit SignificantBytes(const char* key) : p_(reinterpret_cast<const std::uint8_t*>(key)) {}

    std::uint8_t Next() {
        for (;;) {
            const std::uint8_t c = *p_;
            if (c == 0) return 0;
            ++p_;
            if (afterSeparator_) {
                if (c >= kFirstRawMarker && c <= kLastRawMarker) continue;
                return c;
            }
            if (c == kClamKeySeparator) {
                afterSeparator_ = true;
                return c;
            }
            if (c >= 1 && c <= kLastMarkerCode) {
                if (c == kPairExactCode && *p_ == kClamKeySeparator) return c;
                continue;
            }
            return c;
        }
    }

  private:
    const std::uint8_t* p_;
    bool afterSeparator_ = false;
};

}  // namespace

int ClamCompareKeys(const char* a, const char* b) {
    // Up to the first marker code or separator every byte counts, so a difference there decides.
    const auto* x = reinterpret_cast<const std::uint8_t*>(a);
    const auto* y = reinterpret_cast<const std::uint8_t*>(b);
    std::size_t i = 0;
    while (x[i] == y[i] && x[i] >= kFirstPlainByte) ++i;
    if ((x[i] >= kFirstPlainByte || x[i] == 0) && (y[i] >= kFirstPlainByte || y[i] == 0)) {
        return static_cast<int>(x[i]) - static_cast<int>(y[i]);
    }
    SignificantBytes left(a);
    SignificantBytes right(b);
    for (;;) {
        const std::uint8_t x = left.Next();
        const std::uint8_t y = right.Next();
        if (x != y) return static_cast<int>(x) - static_cast<int>(y);
        if (x == 0) return 0;
    }
}
