// A platform that passes every call to another and counts the whole-block reads and writes.
#pragma once

#include <cstdint>

#include "clam/store/clam_store.h"
#include "platform/forwarding_platform.h"

namespace bench {

class CountingPlatform : public platform::ForwardingPlatform {
  public:
    using ForwardingPlatform::ForwardingPlatform;

    std::uint64_t BlockReads() const { return reads_; }
    std::uint64_t BlockWrites() const { return writes_; }

    int Read(int fd, void* buffer, unsigned int count) override {
        if (count == kClamBlockSize) ++reads_;
        return inner_.Read(fd, buffer, count);
    }
    int Write(int fd, const void* buffer, unsigned int count) override {
        if (count == kClamBlockSize) ++writes_;
        return inner_.Write(fd, buffer, count);
    }

  private:
    std::uint64_t reads_ = 0;
    std::uint64_t writes_ = 0;
};

}  // namespace bench
