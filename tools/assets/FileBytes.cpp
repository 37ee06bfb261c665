// File output for the asset writers.
#include "tools/assets/FileBytes.h"

#include <cstdio>

bool writeFileBytes(const char* path, const std::vector<unsigned char>& bytes,
                    std::string& reason) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        reason = std::string(path) + ": cannot open for writing";
        return false;
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool closed = std::fclose(file) == 0;
    if (written != bytes.size() || !closed) {
        reason = std::string(path) + ": write failed";
        return false;
    }
    return true;
}
