// RecordingWriter: the recording file, written through a stdio buffer so
// that a frame costs one formatted line and no allocation.
#include "app/RecordingWriter.h"

#include <cerrno>
#include <cstring>

RecordingWriter::~RecordingWriter() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool RecordingWriter::open(const char* path) {
    filePath = path;
    file = std::fopen(path, "w");
    if (file == nullptr) {
        reason = filePath + ": cannot create: " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "dravonel recording 1\n");
    return true;
}

void RecordingWriter::frame(float time) {
    if (file != nullptr) {
        std::fprintf(file, "frame %.9g\n", static_cast<double>(time));
    }
}

void RecordingWriter::key(int code, bool down) {
    if (file != nullptr) {
        std::fprintf(file, "key %d %s\n", code, down ? "down" : "up");
    }
}

bool RecordingWriter::close() {
    if (file == nullptr) {
        return reason.empty();
    }
    // A failed write along the way leaves the stream's error flag set; the
    // close writes what is still buffered and may fail on its own.
    const bool written = std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    const int error = errno;
    file = nullptr;
    if (!closed) {
        reason = filePath + ": cannot write: " + std::strerror(error);
    } else if (!written) {
        reason = filePath + ": cannot write the whole recording";
    }
    return closed && written;
}
