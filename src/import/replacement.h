// The way both imports change a destination: the new contents go to a temporary file
// beside it, which reaches the disk whole before it takes the destination's place, so
// that at every instant the destination is either as it was or complete.
#pragma once

#include <cstddef>
#include <string>

// A descriptor, closed when dropped.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) Adopt(other.Release());
        return *this;
    }
    ~Descriptor() { static_cast<void>(Close()); }

    bool IsOpen() const { return fd_ != -1; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Takes a descriptor; one held before is closed.
    void Adopt(int fd) {
        static_cast<void>(Close());
        fd_ = fd;
    }
    int Get() const { return fd_; }
    // True when there was nothing to close or the close succeeded.
    [[nodiscard]] bool Close();

  private:
    int fd_ = -1;
};

// Opens a destination held against other writers while the import works on it: read and
// write when `write`, else read only. Not open when it is missing or cannot be held.
Descriptor HoldDestination(const std::wstring& path, bool write);

// Whether a destination's temporary file is there: one that a run left behind, or that a
// run is still writing.
bool HasTemporaryFile(const std::wstring& target);

// The temporary file of one destination, removed when dropped uncommitted.
class Replacement {
  public:
    explicit Replacement(std::wstring target);
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement();

    // Creates the file exclusively, held against other writers. One of that name that
    // another run holds is left alone and the creation fails; one that nobody holds was
    // left by a run that ended, and is replaced.
    bool Create();
    int Fd() const { return file_.Get(); }
    // Writes all the bytes at the current position.
    bool Write(const char* bytes, std::size_t count);
    // Copies the whole of another file from its start.
    bool CopyFrom(int fd);
    // Flushes the file to disk, closes it and the held destination, and puts the file in the
    // destination's place. False when that did not happen for good: the file is removed and
    // the destination is as it was (or, when only the folder's flush failed, already new).
    bool Commit(Descriptor& heldTarget);

  private:
    void Discard();

    std::wstring target_;
    std::wstring path_;
    Descriptor file_;
    bool created_ = false;
};
