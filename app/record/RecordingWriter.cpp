// RecordingWriter: the recording file, written through a stdio buffer so
// that a frame costs one formatted line and no allocation.
#include "app/record/RecordingWriter.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

RecordingWriter::~RecordingWriter() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool RecordingWriter::open(const char* path, uint64_t modelHash, uint64_t groundHash, bool damage,
                           int trucks) {
    filePath = path;
    file = std::fopen(path, "w");
    if (file == nullptr) {
        reason = filePath + ": cannot create: " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "dravonel recording 2\nmodel %016" PRIx64 "\nground %016" PRIx64 "\n",
                 modelHash, groundHash);
    if (damage) {
        std::fputs("damage on\n", file);
    }
    if (trucks > 1) {
        std::fprintf(file, "trucks %d\n", trucks);
    }
    return true;
}

void RecordingWriter::frame(float time) {
    if (file != nullptr) {
        std::fprintf(file, "frame %.9g\n", static_cast<double>(time));
    }
}

void RecordingWriter::input(const InputEvent& event) {
    if (file == nullptr) {
        return;
    }
    switch (event.kind) {
    case InputKind::key:
        std::fprintf(file, "key %d %s\n", event.code, event.down ? "down" : "up");
        break;
    case InputKind::grab:
        std::fprintf(file, "grab %d %.9g %.9g %.9g\n", event.particle,
                     static_cast<double>(event.target.x), static_cast<double>(event.target.y),
                     static_cast<double>(event.target.z));
        break;
    case InputKind::release:
        std::fprintf(file, "release\n");
        break;
    case InputKind::analog:
        std::fprintf(file, "analog %s %.9g\n", analogControlName(event.control),
                     static_cast<double>(event.value));
        break;
    case InputKind::rewind:
        std::fprintf(file, "rewind %.9g\n", static_cast<double>(event.value));
        break;
    case InputKind::truck:
        std::fprintf(file, "truck %d\n", event.particle);
        break;
    }
}

bool RecordingWriter::finish(uint64_t endHash) {
    if (file != nullptr) {
        std::fprintf(file, "end %016" PRIx64 "\n", endHash);
    }
    return close();
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
