// A program started in the background, whose standard output is read as it comes and whose
// standard input stays open until it is closed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace e2e {

class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& words);
    // Kills a child that still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads its output until it holds `text`, it ends its output, or the time is up.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit);
    void CloseInput();
    void Kill();
    // Reads the rest of its output and waits for it to end: its exit status, -1 after a signal.
    int Wait();
    const std::string& Output() const { return output_; }

  private:
    // Reads what comes within the time: 1 when something came, 0 when nothing, -1 at the
    // end of the output.
    int ReadSome(int milliseconds);

    pid_t pid_ = -1;
    int input_ = -1;
    int outputFd_ = -1;
    int status_ = -1;
    std::string output_;
};

}  // namespace e2e
