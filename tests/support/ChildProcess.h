// ChildProcess: runs a program as a user would from a console, in a chosen
// working directory, with its standard output and standard error captured,
// so tests can watch what it prints, whether it keeps running and how it ends.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
  public:
    ChildProcess();
    // Kills the program if it is still running and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `path` with no arguments in `workingDirectory`. False (with
    // failureReason set) when the pipes or the fork fail; a program that
    // cannot be executed exits with status 127.
    bool start(const char* path, const char* workingDirectory);
    // The same with `arguments` after the program's name.
    bool start(const char* path, const char* workingDirectory,
               const std::vector<std::string>& arguments);

    // Collects output until stdout contains `text` or the program ends or
    // `timeoutSeconds` pass; true when the text arrived.
    bool waitForOutput(const std::string& text, double timeoutSeconds);
    // Collects output for up to `timeoutSeconds` while the program runs;
    // true once it has ended (then exitStatus() is valid).
    bool waitForExit(double timeoutSeconds);
    // Whether the program is still running (collects pending output first).
    bool running();

    // SIGKILL, then waits for the program to end.
    void kill();

    // The exit status when the program exited normally; 128 + the signal
    // number when a signal ended it; -1 while it runs.
    int exitStatus() const { return status; }
    bool exitedNormally() const { return normalExit; }
    const std::string& standardOutput() const { return out; }
    const std::string& standardError() const { return err; }
    const char* failureReason() const { return reason.c_str(); }
    pid_t processId() const { return pid; }
    // The most memory the program held at once (its peak resident set), KB;
    // 0 until it has ended.
    long peakKilobytes() const { return peak; }

  private:
    // Reads whatever the pipes hold, waiting at most `timeoutMilliseconds`
    // for the first byte.
    void collect(int timeoutMilliseconds);
    bool reap(bool block);

    pid_t pid;
    int outFd;
    int errFd;
    int status;
    bool normalExit;
    long peak = 0;
    std::string out;
    std::string err;
    std::string reason;
};
