// ProgramLock: one test at a time runs the program on the shared X display,
// even when ctest runs test processes in parallel: windows are told apart by
// title only, and keys typed for one window must not reach another.
#pragma once

class ProgramLock {
  public:
    // Waits for and takes the lock (a file lock in the build folder).
    ProgramLock();
    ~ProgramLock();
    ProgramLock(const ProgramLock&) = delete;
    ProgramLock& operator=(const ProgramLock&) = delete;

  private:
    int fd;
};
