// Recording: reading the recording file and playing it back.
#include "app/record/Recording.h"

#include "app/TruckApp.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {
const char* const firstLineVersion1 = "dravonel recording 1";
const char* const firstLineVersion2 = "dravonel recording 2";
// Frame times are seconds since the drive started; a day is far beyond any
// drive and keeps a replay from waiting for ever on a damaged time.
const float longestTime = 86400.0f;

// A whole token as a float within minimum..maximum, or false.
bool readFloat(const std::string& token, float minimum, float maximum, float* value) {
    char* end = nullptr;
    const float v = std::strtof(token.c_str(), &end);
    if (token.empty() || *end != '\0' || !std::isfinite(v) || v < minimum || v > maximum) {
        return false;
    }
    *value = v;
    return true;
}

// A whole token as an integer within minimum..maximum, or false.
bool readInteger(const std::string& token, long minimum, long maximum, int* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (token.empty() || *end != '\0' || errno != 0 || v < minimum || v > maximum) {
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

// A whole token of 16 hex digits, or false.
bool readHash(const std::string& token, uint64_t* hash) {
    if (token.size() != 16 || token.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return false;
    }
    *hash = std::strtoull(token.c_str(), nullptr, 16);
    return true;
}

std::string hex(uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof(text), "%016" PRIx64, hash);
    return text;
}
} // namespace

bool Recording::readLine(const std::string& line, int version, Entry* entry, std::string* why) {
    std::istringstream words(line);
    std::string kind;
    std::string w[5];
    words >> kind >> w[0] >> w[1] >> w[2] >> w[3] >> w[4];
    entry->isFrame = false;
    entry->time = 0.0f;
    if (kind == "frame") {
        entry->isFrame = true;
        // Below a day: the time a day long is refused too.
        if (!w[1].empty() || !readFloat(w[0], 0.0f, longestTime, &entry->time) ||
            !(entry->time < longestTime)) {
            *why = "expected \"frame SECONDS\" with SECONDS finite, from 0 and below a day";
            return false;
        }
        if (entry->time < lastTime) {
            *why = "frame time " + w[0] + " is earlier than the frame before";
            return false;
        }
        return true;
    }
    if (kind == "key") {
        int code = 0;
        const bool down = w[1] == "down";
        if (!w[2].empty() || (!down && w[1] != "up") || !readInteger(w[0], 0, 511, &code)) {
            *why = "expected \"key CODE down|up\" with CODE 0 to 511";
            return false;
        }
        entry->event = InputEvent::makeKey(code, down);
        return true;
    }
    if (version >= 2 && kind == "grab") {
        int particle = 0;
        float xyz[3] = {0.0f, 0.0f, 0.0f};
        bool ok = w[4].empty() && readInteger(w[0], 0, 1000000000L, &particle);
        for (int k = 0; k < 3 && ok; ++k) {
            ok = readFloat(w[1 + k], -1.0e6f, 1.0e6f, &xyz[k]);
        }
        if (!ok) {
            *why = "expected \"grab PARTICLE X Y Z\" with X, Y, Z within 1000 km";
            return false;
        }
        entry->event = InputEvent::makeGrab(particle, Vec3(xyz[0], xyz[1], xyz[2]));
        return true;
    }
    if (version >= 2 && kind == "release") {
        if (!w[0].empty()) {
            *why = "expected \"release\" alone";
            return false;
        }
        entry->event = InputEvent::makeRelease();
        return true;
    }
    if (version >= 2 && kind == "analog") {
        AnalogControl control;
        float value = 0.0f;
        if (!w[2].empty() || !analogControlFromName(w[0].c_str(), &control) ||
            !readFloat(w[1], analogMinimum(control), 1.0f, &value)) {
            *why = "expected \"analog steer|throttle|brake VALUE\" with VALUE -1 to 1 (brake 0 "
                   "to 1)";
            return false;
        }
        entry->event = InputEvent::makeAnalog(control, value);
        return true;
    }
    if (version >= 2 && kind == "rewind") {
        float seconds = 0.0f;
        if (!w[1].empty() || !readFloat(w[0], 0.0f, maxRewindSeconds, &seconds)) {
            *why = "expected \"rewind SECONDS\" with SECONDS from 0 to a day";
            return false;
        }
        entry->event = InputEvent::makeRewind(seconds);
        return true;
    }
    // Which truck the events after it are for; a file without one drives
    // truck 0 throughout.
    if (version >= 2 && kind == "truck") {
        int truck = 0;
        if (!w[1].empty() || !readInteger(w[0], 0, 15, &truck)) {
            *why = "expected \"truck K\" with K 0 to 15";
            return false;
        }
        entry->event = InputEvent::makeTruck(truck);
        return true;
    }
    *why = version >= 2 ? "expected a frame, key, grab, release, analog, rewind, truck or end line"
                        : "expected \"frame SECONDS\" or \"key CODE down|up\" with CODE 0 to 511";
    return false;
}

bool Recording::load(const char* path) {
    entries.clear();
    cursor = 0;
    frames = 0;
    filePath = path;
    reason.clear();
    warningText.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = filePath + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::stringstream whole;
    whole << in.rdbuf();
    if (in.bad()) {
        reason = filePath + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return parse(whole.str(), path);
}

bool Recording::parse(const std::string& text, const char* path) {
    entries.clear();
    cursor = 0;
    frames = 0;
    lastTime = 0.0f;
    stamped = false;
    model = 0;
    groundStamped = false;
    ground = 0;
    damageOn = false;
    ended = false;
    finalHash = 0;
    truckTotal = 1;
    filePath = path;
    reason.clear();
    warningText.clear();

    // Whole lines only: a last line without its newline was cut off while it
    // was written. Lines may end in CR LF, as an editor on another system
    // saves them.
    std::vector<std::string> lines;
    bool cut = false;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            cut = true;
            break;
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }

    int version = 0;
    if (!lines.empty() && lines[0] == firstLineVersion1) {
        version = 1;
    } else if (!lines.empty() && lines[0] == firstLineVersion2) {
        version = 2;
    } else {
        reason = filePath + ": not a recording (the first line is not \"" + firstLineVersion2 +
                 "\" or \"" + firstLineVersion1 + "\")";
        return false;
    }
    size_t first = 1;
    if (version >= 2) {
        std::string word;
        std::string hash;
        std::string extra;
        if (lines.size() > 1) {
            std::istringstream words(lines[1]);
            words >> word >> hash >> extra;
        }
        if (word != "model" || !extra.empty() || !readHash(hash, &model)) {
            reason = filePath + ": line 2: expected \"model HASH\" with 16 hex digits";
            return false;
        }
        stamped = true;
        first = 2;
        // The ground stamp came with maps; a file without it replays on any.
        if (lines.size() > 2 && lines[2].rfind("ground ", 0) == 0) {
            std::istringstream words(lines[2]);
            words >> word >> hash >> extra;
            if (!extra.empty() || !readHash(hash, &ground)) {
                reason = filePath + ": line 3: expected \"ground HASH\" with 16 hex digits";
                return false;
            }
            groundStamped = true;
            first = 3;
        }
        // A drive with damage on says so; without the line damage was off.
        if (lines.size() > first && lines[first].rfind("damage", 0) == 0) {
            if (lines[first] != "damage on") {
                reason =
                    filePath + ": line " + std::to_string(first + 1) + ": expected \"damage on\"";
                return false;
            }
            damageOn = true;
            ++first;
        }
        // Several trucks came later still; without the line there is one.
        if (lines.size() > first && lines[first].rfind("trucks ", 0) == 0) {
            std::istringstream words(lines[first]);
            std::string count;
            words >> word >> count >> extra;
            int value = 0;
            if (!extra.empty() || !readInteger(count, 1, 16, &value)) {
                reason = filePath + ": line " + std::to_string(first + 1) +
                         ": expected \"trucks N\" with N 1 to 16";
                return false;
            }
            truckTotal = value;
            ++first;
        }
    }
    for (size_t k = first; k < lines.size(); ++k) {
        const std::string number = std::to_string(k + 1);
        if (ended) {
            reason = filePath + ": line " + number + ": a line after the end line";
            return false;
        }
        if (version >= 2 && lines[k].rfind("end", 0) == 0) {
            std::istringstream words(lines[k]);
            std::string word;
            std::string hash;
            std::string extra;
            words >> word >> hash >> extra;
            if (word != "end" || !extra.empty() || !readHash(hash, &finalHash)) {
                reason = filePath + ": line " + number + ": expected \"end HASH\"";
                return false;
            }
            ended = true;
            continue;
        }
        Entry entry;
        std::string why;
        if (!readLine(lines[k], version, &entry, &why)) {
            reason = filePath + ": line " + number + ": " + why;
            return false;
        }
        entry.line = static_cast<int>(k + 1);
        if (entry.isFrame) {
            ++frames;
            lastTime = entry.time;
        }
        entries.push_back(entry);
    }
    if (cut || (version >= 2 && !ended)) {
        warningText = filePath + ": the recording ends early (cut off after line " +
                      std::to_string(lines.size()) + "); replaying its whole lines";
    } else if (!stamped) {
        warningText = filePath + ": an older recording without a model stamp; it replays as it "
                                 "was made only over the same Modell.txt";
    }
    return true;
}

bool Recording::matchesModel(uint64_t modelHash) {
    if (!stamped || model == modelHash) {
        return true;
    }
    reason = filePath + ": recorded with the model " + hex(model) + ", but Modell.txt here is " +
             hex(modelHash) + ": a different truck";
    return false;
}

bool Recording::matchesDamage(bool damage) {
    if (damage == damageOn) {
        return true;
    }
    reason = filePath + (damageOn ? ": recorded with damage on: replay it with --damage"
                                  : ": recorded with damage off: replay it without --damage");
    return false;
}

bool Recording::matchesGround(uint64_t groundHash) {
    if (!groundStamped || ground == groundHash) {
        return true;
    }
    reason = filePath + ": driven on the ground " + hex(ground) + ", but this world's ground is " +
             hex(groundHash) + ": replay it with the --map it was recorded with";
    return false;
}

bool Recording::matchesParticles(int particleCount) {
    for (const Entry& entry : entries) {
        if (!entry.isFrame && entry.event.kind == InputKind::grab &&
            entry.event.particle >= particleCount) {
            reason = filePath + ": line " + std::to_string(entry.line) + ": grab " +
                     std::to_string(entry.event.particle) + ": no such particle: the model has " +
                     std::to_string(particleCount) + " (0 to " + std::to_string(particleCount - 1) +
                     ")";
            return false;
        }
    }
    return true;
}

bool Recording::nextFrame(TruckApp* app, float* time) {
    while (cursor < entries.size()) {
        const Entry& entry = entries[cursor++];
        if (entry.isFrame) {
            *time = entry.time;
            return true;
        }
        app->input(entry.event);
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

void Recording::seekAfterFrameAt(double time) {
    size_t after = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].isFrame) {
            if (entries[k].time > time) {
                break;
            }
            after = k + 1;
        }
    }
    cursor = after;
}
