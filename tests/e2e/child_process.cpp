#include "e2e/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace e2e {

ChildProcess::ChildProcess(const std::vector<std::string>& words) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipe");
    }
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    outputFd_ = out[0];
    if (pid_ < 0) throw std::runtime_error("no fork");
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        Kill();
        Wait();
    }
    CloseInput();
}

int ChildProcess::ReadSome(int milliseconds) {
    if (outputFd_ < 0) return -1;
    pollfd ready{outputFd_, POLLIN, 0};
    if (::poll(&ready, 1, milliseconds) <= 0) return 0;
    char chunk[4096];
    const ssize_t n = ::read(outputFd_, chunk, sizeof chunk);
    if (n > 0) {
        output_.append(chunk, static_cast<std::size_t>(n));
        return 1;
    }
    ::close(outputFd_);
    outputFd_ = -1;
    return -1;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (output_.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ReadSome(static_cast<int>(left.count())) < 0) break;
    }
    return output_.find(text) != std::string::npos;
}

void ChildProcess::CloseInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

void ChildProcess::Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
}

// A process that the child left behind may keep the output open: it is read while the
// child runs, and what is left once the child has ended.
int ChildProcess::Wait() {
    while (pid_ > 0) {
        if (ReadSome(20) < 0) ::usleep(20000);
        int wait = 0;
        const pid_t ended = ::waitpid(pid_, &wait, WNOHANG);
        if (ended == 0 || (ended < 0 && errno == EINTR)) continue;
        status_ = ended == pid_ && WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
        pid_ = -1;
    }
    while (ReadSome(0) > 0) {
    }
    if (outputFd_ >= 0) ::close(outputFd_);
    outputFd_ = -1;
    return status_;
}

}  // namespace e2e
