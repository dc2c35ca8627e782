// An output stream that keeps what is written in memory, byte for byte.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace testing_support {

class MemoryStream final : public platform::OutputStream {
  public:
    // The bytes stay readable after the stream has been handed over and destroyed.
    explicit MemoryStream(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
    bool Write(std::string_view bytes) override {
        bytes_->append(bytes);
        return true;
    }
    bool Close() override { return true; }

  private:
    std::shared_ptr<std::string> bytes_;
};

}  // namespace testing_support
