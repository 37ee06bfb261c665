// Parsing and playing of key scripts.
#include "app/record/KeyScript.h"

#include "app/TruckApp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {
struct Named {
    const char* name;
    int code;
};
// Driving keys, cameras and display toggles, time control ('p' pause, '['
// slower, ']' faster, '.' one frame), 'r' recover and 'h' help.
const Named keyNamesTable[] = {
    {"up", 357},  {"down", 359}, {"left", 356},    {"right", 358}, {"space", 32}, {"esc", 27},
    {"q", 'q'},   {"e", 'e'},    {"p", 'p'},       {"[", '['},     {"]", ']'},    {".", '.'},
    {"r", 'r'},   {"h", 'h'},    {"f1", 257},      {"f2", 258},    {"f3", 259},   {"f4", 260},
    {"f5", 261},  {"f6", 262},   {"f7", 263},      {"f8", 264},    {"f9", 265},   {"f10", 266},
    {"f11", 267}, {"f12", 268},  {"backspace", 8}, {"home", 362},  {"end", 363},  {"tab", 9}};

// The whole of `text` as a finite number, or false.
bool readNumber(const std::string& text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0' || !std::isfinite(v)) {
        return false;
    }
    *value = v;
    return true;
}
} // namespace

int KeyScript::codeForName(const std::string& name) {
    for (const Named& entry : keyNamesTable) {
        if (name == entry.name) {
            return entry.code;
        }
    }
    return -1;
}

const char* KeyScript::keyNames() {
    return "up down left right space esc q e p [ ] . r h f1..f12 backspace home end";
}

bool KeyScript::parseWhat(const std::string& what, InputEvent* event) {
    if (what[0] == '+' || what[0] == '-') {
        const int code = codeForName(what.substr(1));
        if (code < 0) {
            reason = "unknown key";
            return false;
        }
        *event = InputEvent::makeKey(code, what[0] == '+');
        return true;
    }
    if (what == "release") {
        *event = InputEvent::makeRelease();
        return true;
    }
    const size_t equals = what.find('=');
    if (equals == std::string::npos) {
        reason = "expected +KEY, -KEY, grab=P@X,Y,Z, release, rewind=S, truck=K or CONTROL=VALUE";
        return false;
    }
    const std::string name = what.substr(0, equals);
    const std::string value = what.substr(equals + 1);
    if (name == "rewind") {
        double seconds = 0.0;
        if (!readNumber(value, &seconds) || seconds < 0.0 || seconds > maxRewindSeconds) {
            reason = "expected rewind=SECONDS with SECONDS from 0 to a day";
            return false;
        }
        *event = InputEvent::makeRewind(static_cast<float>(seconds));
        return true;
    }
    if (name == "truck") {
        double k = 0.0;
        if (!readNumber(value, &k) || k < 0.0 || k > 15.0 || k != std::floor(k)) {
            reason = "expected truck=K with K a whole number from 0 to 15";
            return false;
        }
        *event = InputEvent::makeTruck(static_cast<int>(k));
        return true;
    }
    if (name == "grab") {
        const size_t at = value.find('@');
        const size_t comma1 = value.find(',', at == std::string::npos ? 0 : at);
        const size_t comma2 =
            comma1 == std::string::npos ? std::string::npos : value.find(',', comma1 + 1);
        double particle = 0.0;
        double x = 0.0;
        double y = 0.0;
        double z = 0.0;
        if (at == std::string::npos || comma2 == std::string::npos ||
            !readNumber(value.substr(0, at), &particle) ||
            !readNumber(value.substr(at + 1, comma1 - at - 1), &x) ||
            !readNumber(value.substr(comma1 + 1, comma2 - comma1 - 1), &y) ||
            !readNumber(value.substr(comma2 + 1), &z)) {
            reason = "expected grab=PARTICLE@X,Y,Z";
            return false;
        }
        if (particle < 0.0 || particle > 1.0e9 || particle != std::floor(particle)) {
            reason = "the particle must be a whole number from 0";
            return false;
        }
        if (std::fabs(x) > 1.0e6 || std::fabs(y) > 1.0e6 || std::fabs(z) > 1.0e6) {
            reason = "the target is more than 1000 km away";
            return false;
        }
        *event = InputEvent::makeGrab(
            static_cast<int>(particle),
            Vec3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)));
        return true;
    }
    AnalogControl control;
    if (!analogControlFromName(name.c_str(), &control)) {
        reason = "unknown control '" + name + "'";
        return false;
    }
    double v = 0.0;
    if (!readNumber(value, &v) || v < analogMinimum(control) || v > 1.0) {
        reason = control == AnalogControl::brake ? "the brake takes a value from 0 to 1"
                                                 : "the value must be from -1 to 1";
        return false;
    }
    *event = InputEvent::makeAnalog(control, static_cast<float>(v));
    return true;
}

bool KeyScript::parse(const std::string& text) {
    list.clear();
    words.clear();
    sent = 0;
    reason.clear();
    std::vector<std::pair<InputEvent, std::string>> parsed;
    std::istringstream stream(text);
    std::string word;
    while (stream >> word) {
        const size_t colon = word.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 >= word.size()) {
            reason = "script event '" + word + "': expected TIME:+KEY or TIME:-KEY";
            return false;
        }
        double time = 0.0;
        if (!readNumber(word.substr(0, colon), &time) || time < 0.0) {
            reason = "script event '" + word + "': bad time";
            return false;
        }
        InputEvent event;
        if (!parseWhat(word.substr(colon + 1), &event)) {
            reason = "script event '" + word + "': " + reason;
            return false;
        }
        event.time = time;
        parsed.emplace_back(event, word);
    }
    std::stable_sort(
        parsed.begin(), parsed.end(),
        [](const std::pair<InputEvent, std::string>& a,
           const std::pair<InputEvent, std::string>& b) { return a.first.time < b.first.time; });
    for (const auto& entry : parsed) {
        list.push_back(entry.first);
        words.push_back(entry.second);
    }
    return true;
}

bool KeyScript::checkParticles(int particleCount) {
    for (size_t k = 0; k < list.size(); ++k) {
        const InputEvent& event = list[k];
        if (event.kind == InputKind::grab && event.particle >= particleCount) {
            reason = "script event '" + words[k] + "': no particle " +
                     std::to_string(event.particle) + ": the model has " +
                     std::to_string(particleCount) + " (0 to " + std::to_string(particleCount - 1) +
                     ")";
            return false;
        }
    }
    return true;
}

void KeyScript::sendUntil(double time, TruckApp* app) {
    // Frame times are formed as frame / fps: an event at 0.1 s belongs to the
    // frame whose time rounds to 0.1, not the one after.
    const double tolerance = 1e-9;
    while (sent < list.size() && list[sent].time <= time + tolerance) {
        app->input(list[sent]);
        ++sent;
    }
}

void KeyScript::skipUntil(double time) {
    const double tolerance = 1e-9;
    while (sent < list.size() && list[sent].time <= time + tolerance) {
        ++sent;
    }
}
