// ChildProcess on fork/exec with two pipes drained through poll.
#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

ChildProcess::ChildProcess() : pid(-1), outFd(-1), errFd(-1), status(-1), normalExit(false) {}

ChildProcess::~ChildProcess() {
    kill();
    if (outFd >= 0) {
        close(outFd);
    }
    if (errFd >= 0) {
        close(errFd);
    }
}

bool ChildProcess::start(const char* path, const char* workingDirectory) {
    return start(path, workingDirectory, std::vector<std::string>());
}

bool ChildProcess::start(const char* path, const char* workingDirectory,
                         const std::vector<std::string>& arguments) {
    // Built before the fork: the child may only make async-signal-safe calls.
    std::vector<char*> argv(1, const_cast<char*>(path));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        reason = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        reason = std::string("pipe: ") + std::strerror(errno);
        close(outPipe[0]);
        close(outPipe[1]);
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        reason = std::string("fork: ") + std::strerror(errno);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        return false;
    }
    if (child == 0) {
        // In the child only async-signal-safe calls until exec.
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        if (chdir(workingDirectory) != 0) {
            _exit(126);
        }
        execv(path, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    pid = child;
    outFd = outPipe[0];
    errFd = errPipe[0];
    status = -1;
    normalExit = false;
    out.clear();
    err.clear();
    return true;
}

void ChildProcess::collect(int timeoutMilliseconds) {
    pollfd fds[2];
    int count = 0;
    if (outFd >= 0) {
        fds[count].fd = outFd;
        fds[count].events = POLLIN;
        fds[count].revents = 0;
        ++count;
    }
    if (errFd >= 0) {
        fds[count].fd = errFd;
        fds[count].events = POLLIN;
        fds[count].revents = 0;
        ++count;
    }
    if (count == 0) {
        if (timeoutMilliseconds > 0) {
            usleep(static_cast<useconds_t>(timeoutMilliseconds) * 1000u);
        }
        return;
    }
    if (poll(fds, static_cast<nfds_t>(count), timeoutMilliseconds) <= 0) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(fds[i].fd, buffer, sizeof(buffer));
        const bool isOut = fds[i].fd == outFd;
        if (got > 0) {
            (isOut ? out : err).append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            // End of file: the writer closed its end.
            close(fds[i].fd);
            (isOut ? outFd : errFd) = -1;
        }
    }
}

bool ChildProcess::reap(bool block) {
    if (pid < 0) {
        return true;
    }
    int raw = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof usage);
    const pid_t done = wait4(pid, &raw, block ? 0 : WNOHANG, &usage);
    if (done != pid) {
        return false;
    }
    pid = -1;
    peak = usage.ru_maxrss;
    if (WIFEXITED(raw)) {
        status = WEXITSTATUS(raw);
        normalExit = true;
    } else if (WIFSIGNALED(raw)) {
        status = 128 + WTERMSIG(raw);
        normalExit = false;
    }
    // Whatever the program wrote before it ended is still in the pipes; a
    // descendant still holding them open must not hang the test.
    for (int attempt = 0; attempt < 50 && (outFd >= 0 || errFd >= 0); ++attempt) {
        collect(100);
    }
    return true;
}

bool ChildProcess::waitForOutput(const std::string& text, double timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    while (out.find(text) == std::string::npos) {
        if (pid < 0 || reap(false)) {
            return out.find(text) != std::string::npos;
        }
        if (secondsSince(start) > timeoutSeconds) {
            return false;
        }
        collect(20);
    }
    return true;
}

bool ChildProcess::waitForExit(double timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    while (!reap(false)) {
        if (secondsSince(start) > timeoutSeconds) {
            return false;
        }
        collect(20);
    }
    return true;
}

bool ChildProcess::running() {
    collect(0);
    return !reap(false);
}

void ChildProcess::kill() {
    if (pid < 0) {
        return;
    }
    ::kill(pid, SIGKILL);
    reap(true);
}
