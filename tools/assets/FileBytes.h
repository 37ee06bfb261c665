// Writing a finished file image to disk, with a one-line reason on failure.
#pragma once

#include <string>
#include <vector>

// Writes bytes to path, replacing the file. On failure returns false and sets
// reason to "<path>: cannot open for writing" or "<path>: write failed".
bool writeFileBytes(const char* path, const std::vector<unsigned char>& bytes, std::string& reason);
