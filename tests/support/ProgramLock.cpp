// ProgramLock on flock over the file the program tests share.
#include "tests/support/ProgramLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

ProgramLock::ProgramLock() {
    fd =
        open(DRAVONEL_BINARY_DIR "/dravonel-program-test.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        flock(fd, LOCK_EX);
    }
}

ProgramLock::~ProgramLock() {
    if (fd >= 0) {
        flock(fd, LOCK_UN);
        close(fd);
    }
}
