// Recording: reading the recording file and playing it back.
#include "app/Recording.h"

#include "app/Application.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {
const char* const firstLine = "dravonel recording 1";

// A whole token as a finite float, or false.
bool readTime(const std::string& token, float* time) {
    char* end = nullptr;
    const float value = std::strtof(token.c_str(), &end);
    if (token.empty() || *end != '\0' || !std::isfinite(value) || value < 0.0f) {
        return false;
    }
    *time = value;
    return true;
}

// A whole token as a key code 0..511, or false.
bool readCode(const std::string& token, int* code) {
    char* end = nullptr;
    const long value = std::strtol(token.c_str(), &end, 10);
    if (token.empty() || *end != '\0' || value < 0 || value > 511) {
        return false;
    }
    *code = static_cast<int>(value);
    return true;
}
} // namespace

bool Recording::load(const char* path) {
    entries.clear();
    cursor = 0;
    frames = 0;
    lastTime = 0.0f;
    reason.clear();
    std::ifstream in(path);
    if (!in) {
        reason = std::string(path) + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::string line;
    if (!std::getline(in, line) || line != firstLine) {
        reason =
            std::string(path) + ": not a recording (the first line is not \"" + firstLine + "\")";
        return false;
    }
    for (long number = 2; std::getline(in, line); ++number) {
        std::istringstream words(line);
        std::string kind;
        std::string first;
        std::string second;
        std::string extra;
        words >> kind >> first >> second >> extra;
        Entry entry = {false, 0.0f, 0, false};
        bool ok = false;
        if (kind == "frame") {
            entry.isFrame = true;
            ok = second.empty() && readTime(first, &entry.time);
        } else if (kind == "key") {
            entry.down = second == "down";
            ok = extra.empty() && (entry.down || second == "up") && readCode(first, &entry.code);
        }
        if (!ok) {
            reason = std::string(path) + ": line " + std::to_string(number) +
                     ": expected \"frame SECONDS\" or \"key CODE down|up\" with CODE 0 to 511";
            return false;
        }
        if (entry.isFrame) {
            ++frames;
            lastTime = entry.time;
        }
        entries.push_back(entry);
    }
    if (in.bad()) {
        reason = std::string(path) + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Recording::nextFrame(Application* app, float* time) {
    while (cursor < entries.size()) {
        const Entry& entry = entries[cursor++];
        if (entry.isFrame) {
            *time = entry.time;
            return true;
        }
        app->key(entry.code, entry.down);
    }
    return false;
}

bool Recording::upcomingFrameTime(float* time) const {
    for (size_t k = cursor; k < entries.size(); ++k) {
        if (entries[k].isFrame) {
            *time = entries[k].time;
            return true;
        }
    }
    return false;
}
