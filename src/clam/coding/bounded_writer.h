// Appends bytes to a caller's buffer without ever passing its capacity; the
// last byte is always kept for the NUL.
#pragma once

#include <cstddef>
#include <string_view>

class ClamBoundedWriter {
  public:
    // capacity must be at least 1.
    ClamBoundedWriter(char* out, size_t capacity) : out_(out), capacity_(capacity) {}

    // False, and nothing written, when only the NUL's room is left.
    bool Put(char c) {
        if (size_ + 1 >= capacity_) return false;
        out_[size_++] = c;
        return true;
    }

    // Copies text up to its NUL; false if it did not fit whole.
    bool PutText(const char* text) {
        for (; *text != 0; ++text) {
            if (!Put(*text)) return false;
        }
        return true;
    }

    bool PutText(std::string_view text) {
        for (char c : text) {
            if (!Put(c)) return false;
        }
        return true;
    }

    size_t size() const { return size_; }
    char Last() const { return size_ == 0 ? 0 : out_[size_ - 1]; }
    void Truncate(size_t size) {
        if (size < size_) size_ = size;
    }
    void Finish() { out_[size_] = 0; }

  private:
    char* out_;
    size_t capacity_;
    size_t size_ = 0;
};
