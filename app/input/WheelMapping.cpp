// WheelMapping: reading the mapping file and shaping raw axis values.
#include "app/input/WheelMapping.h"

#include "app/CommandLine.h"
#include "app/record/KeyScript.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace {

bool readInteger(const std::string& word, long low, long high, int* value) {
    if (word.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

bool readFraction(const std::string& word, float low, float high, float* value) {
    if (word.empty()) {
        return false;
    }
    char* end = nullptr;
    const float v = std::strtof(word.c_str(), &end);
    if (*end != '\0' || !(v >= low && v <= high)) {
        return false;
    }
    *value = v;
    return true;
}

} // namespace

bool WheelMapping::fail(const char* name, int line, const std::string& what) {
    reason = std::string(name) + ":" + std::to_string(line) + ": " + what;
    return false;
}

bool WheelMapping::load(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        reason = std::string(path) + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::vector<char> bytes(largestFile + 1);
    const size_t size = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool broken = std::ferror(file) != 0;
    std::fclose(file);
    if (broken) {
        reason = std::string(path) + ": cannot be read";
        return false;
    }
    if (size > largestFile) {
        reason = std::string(path) + ": larger than " + std::to_string(largestFile) + " bytes";
        return false;
    }
    return parse(bytes.data(), size, path);
}

bool WheelMapping::parse(const char* text, size_t size, const char* name) {
    *this = WheelMapping();
    bool mapped[analogControlCount] = {false, false, false};
    bool headerSeen = false;
    int lineNumber = 0;
    size_t at = 0;
    while (at < size) {
        size_t end = at;
        while (end < size && text[end] != '\n') {
            ++end;
        }
        std::string line(text + at, end - at);
        at = end + 1;
        ++lineNumber;
        if (line.find('\0') != std::string::npos) {
            return fail(name, lineNumber, "a zero byte: not a text file");
        }
        const size_t comment = line.find('#');
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        std::istringstream words(line);
        std::vector<std::string> word;
        for (std::string w; words >> w;) {
            word.push_back(w);
        }
        if (word.empty()) {
            continue;
        }
        if (!headerSeen) {
            if (word.size() != 3 || word[0] != "dravonel" || word[1] != "wheel") {
                return fail(name, lineNumber, "not a wheel mapping: it starts 'dravonel wheel 1'");
            }
            if (word[2] != "1") {
                return fail(name, lineNumber,
                            "version '" + printableText(word[2].c_str()) + "' is not known (1 is)");
            }
            headerSeen = true;
            continue;
        }
        const std::string& what = word[0];
        if (what == "device") {
            // The rest of the line as written, inner spaces kept.
            const size_t start = line.find("device") + 6;
            const size_t first = line.find_first_not_of(" \t\r", start);
            const size_t last = line.find_last_not_of(" \t\r");
            device = line.substr(first, last - first + 1);
            continue;
        }
        if (what == "button") {
            int button = 0;
            if (word.size() != 3 || !readInteger(word[1], 0, maxButtons - 1, &button)) {
                return fail(name, lineNumber,
                            "'button' takes a number 0.." + std::to_string(maxButtons - 1) +
                                " and a key name");
            }
            const int code = KeyScript::codeForName(word[2]);
            if (code < 0) {
                return fail(name, lineNumber,
                            "unknown key '" + printableText(word[2].c_str()) + "'");
            }
            buttonKey[button] = code;
            continue;
        }
        AnalogControl control;
        if (!analogControlFromName(what.c_str(), &control)) {
            return fail(name, lineNumber,
                        "unknown setting '" + printableText(what.c_str()) +
                            "' (steer, throttle, brake, button, device)");
        }
        Axis axis;
        bool invert = false;
        if (word.size() < 3 || word[1] != "axis" || !readInteger(word[2], 0, maxAxis, &axis.axis)) {
            return fail(name, lineNumber,
                        what + " needs 'axis N' with N 0.." + std::to_string(maxAxis));
        }
        for (size_t k = 3; k < word.size(); ++k) {
            if (word[k] == "range" && k + 2 < word.size() &&
                readInteger(word[k + 1], -32768, 32767, &axis.rest) &&
                readInteger(word[k + 2], -32768, 32767, &axis.full)) {
                if (axis.rest == axis.full) {
                    return fail(name, lineNumber, "the range's two ends are the same");
                }
                k += 2;
            } else if (word[k] == "invert") {
                invert = true;
            } else if (word[k] == "deadzone" && k + 1 < word.size() &&
                       readFraction(word[k + 1], 0.0f, 0.9f, &axis.deadZone)) {
                k += 1;
            } else {
                return fail(name, lineNumber,
                            "'" + printableText(word[k].c_str()) +
                                "' is not 'range MIN MAX' (-32768..32767), 'invert' or "
                                "'deadzone F' (0..0.9)");
            }
        }
        if (invert) {
            const int rest = axis.rest;
            axis.rest = axis.full;
            axis.full = rest;
        }
        const int index = static_cast<int>(control);
        if (mapped[index]) {
            return fail(name, lineNumber, what + " is mapped twice");
        }
        mapped[index] = true;
        axes[index] = axis;
    }
    if (!headerSeen) {
        return fail(name, lineNumber, "empty: a wheel mapping starts 'dravonel wheel 1'");
    }
    if (!mapped[0] && !mapped[1] && !mapped[2]) {
        return fail(name, lineNumber, "no axis is mapped (steer, throttle, brake)");
    }
    return true;
}

float WheelMapping::value(AnalogControl control, int raw) const {
    const Axis& a = axes[static_cast<int>(control)];
    if (a.axis < 0) {
        return 0.0f;
    }
    // Where the raw value lies from rest (0) to full (1).
    float t = static_cast<float>(raw - a.rest) / static_cast<float>(a.full - a.rest);
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    if (control == AnalogControl::steer) {
        const float v = 2.0f * t - 1.0f;
        const float magnitude = std::fabs(v);
        if (magnitude <= a.deadZone) {
            return 0.0f;
        }
        const float shaped =
            magnitude >= 1.0f ? 1.0f : (magnitude - a.deadZone) / (1.0f - a.deadZone);
        return v > 0.0f ? shaped : -shaped;
    }
    if (t <= a.deadZone) {
        return 0.0f;
    }
    return t >= 1.0f ? 1.0f : (t - a.deadZone) / (1.0f - a.deadZone);
}
