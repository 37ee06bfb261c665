// StateFile: writing and checking saved moments.
#include "app/history/StateFile.h"

#include "app/TruckApp.h"
#include "app/history/AppMoment.h"
#include "physics/PositionHash.h"

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
const char magic[16] = {'D', 'R', 'A', 'V', 'O', 'N', 'E', 'L',
                        ' ', 'S', 'T', 'A', 'T', 'E', ' ', '1'};
const size_t headBytes = 16 + 4 + 4 + 8 + 8 + 8;
// Names dravonel-001.state to dravonel-999.state.
const int mostFiles = 999;

std::string hex(uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof(text), "%016" PRIx64, hash);
    return text;
}

template <typename T> T readAt(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}
} // namespace

bool StateFile::saveNew(TruckApp& app) {
    const size_t capacity = AppMoment::capacity(app);
    if (capacity == 0) {
        reason = "no truck to save";
        return false;
    }
    // Allocated here: a save is a key press, not part of every frame.
    std::vector<unsigned char> bytes(headBytes + capacity);
    const size_t payload = AppMoment::save(app, bytes.data() + headBytes, capacity);
    if (payload == 0) {
        reason = "the moment could not be taken";
        return false;
    }
    unsigned char* head = bytes.data();
    std::memcpy(head, magic, sizeof(magic));
    const uint32_t size = static_cast<uint32_t>(payload);
    const uint32_t reserved = 0;
    const uint64_t sum = bytesHash(bytes.data() + headBytes, payload);
    std::memcpy(head + 16, &size, 4);
    std::memcpy(head + 20, &reserved, 4);
    std::memcpy(head + 24, &app.modelHash, 8);
    std::memcpy(head + 32, &app.groundHash, 8);
    std::memcpy(head + 40, &sum, 8);
    for (int n = 1; n <= mostFiles; ++n) {
        char name[32];
        std::snprintf(name, sizeof(name), "dravonel-%03d.state", n);
        // "x": created new, never over a file that is there.
        std::FILE* file = std::fopen(name, "wbx");
        if (file == nullptr) {
            if (errno == EEXIST) {
                continue;
            }
            reason = std::string(name) + ": cannot create: " + std::strerror(errno);
            return false;
        }
        const bool written =
            std::fwrite(bytes.data(), 1, headBytes + payload, file) == headBytes + payload;
        const bool closed = std::fclose(file) == 0;
        if (!written || !closed) {
            reason = std::string(name) + ": cannot write: " + std::strerror(errno);
            std::remove(name);
            return false;
        }
        saved = name;
        return true;
    }
    reason = "dravonel-001.state to dravonel-999.state are all taken";
    return false;
}

bool StateFile::load(TruckApp& app, const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        reason = std::string(path) + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::vector<unsigned char> bytes;
    unsigned char block[65536];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof(block), file)) > 0) {
        if (bytes.size() + got > maxBytes) {
            std::fclose(file);
            reason = std::string(path) + ": not a saved state (larger than any)";
            return false;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        reason = std::string(path) + ": cannot read";
        return false;
    }
    return parse(app, bytes.data(), bytes.size(), path);
}

bool StateFile::parse(TruckApp& app, const unsigned char* bytes, size_t size, const char* path) {
    const std::string name = path;
    if (size < sizeof(magic) || std::memcmp(bytes, magic, sizeof(magic)) != 0) {
        reason = name + ": not a saved state (it does not begin with \"DRAVONEL STATE 1\")";
        return false;
    }
    if (size < headBytes) {
        reason = name + ": cut short: " + std::to_string(size) + " bytes, the head alone has " +
                 std::to_string(headBytes);
        return false;
    }
    const uint32_t payload = readAt<uint32_t>(bytes + 16);
    const uint64_t model = readAt<uint64_t>(bytes + 24);
    const uint64_t ground = readAt<uint64_t>(bytes + 32);
    const uint64_t sum = readAt<uint64_t>(bytes + 40);
    if (size - headBytes != payload) {
        reason = name + ": " + (size - headBytes < payload ? "cut short" : "too long") + ": " +
                 std::to_string(size - headBytes) + " bytes of a moment of " +
                 std::to_string(payload);
        return false;
    }
    if (readAt<uint32_t>(bytes + 20) != 0 || bytesHash(bytes + headBytes, payload) != sum) {
        reason = name + ": damaged: its bytes do not add up to the sum it was saved with";
        return false;
    }
    if (model != app.modelHash) {
        reason = name + ": saved with the model " + hex(model) + ", but Modell.txt here is " +
                 hex(app.modelHash) + ": a different truck";
        return false;
    }
    if (ground != app.groundHash) {
        reason = name + ": saved on the ground " + hex(ground) + ", but this world's ground is " +
                 hex(app.groundHash) + ": load it with the --map it was saved on";
        return false;
    }
    if (!AppMoment::restore(app, bytes + headBytes, payload)) {
        reason = name + ": holds a moment this truck cannot be in";
        return false;
    }
    return true;
}
