// Parsing and playing of key scripts.
#include "app/KeyScript.h"

#include "app/Application.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

int KeyScript::codeForName(const std::string& name) {
    struct Named {
        const char* name;
        int code;
    };
    static const Named names[] = {{"up", 357},   {"down", 359}, {"left", 356}, {"right", 358},
                                  {"space", 32}, {"esc", 27},   {"q", 'q'},    {"e", 'e'},
                                  {"f1", 257},   {"f2", 258},   {"f3", 259},   {"f4", 260},
                                  {"f5", 261},   {"f6", 262},   {"f7", 263},   {"f8", 264}};
    for (const Named& entry : names) {
        if (name == entry.name) {
            return entry.code;
        }
    }
    return -1;
}

bool KeyScript::parse(const std::string& text) {
    list.clear();
    sent = 0;
    reason.clear();
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const size_t colon = word.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 2 > word.size()) {
            reason = "script event '" + word + "': expected TIME:+KEY or TIME:-KEY";
            return false;
        }
        const std::string timeText = word.substr(0, colon);
        char* end = nullptr;
        const double time = std::strtod(timeText.c_str(), &end);
        if (end == timeText.c_str() || *end != '\0' || !std::isfinite(time) || time < 0.0) {
            reason = "script event '" + word + "': bad time";
            return false;
        }
        const char sign = word[colon + 1];
        if (sign != '+' && sign != '-') {
            reason = "script event '" + word + "': the key must start with + or -";
            return false;
        }
        const int code = codeForName(word.substr(colon + 2));
        if (code < 0) {
            reason = "script event '" + word + "': unknown key";
            return false;
        }
        KeyEvent event;
        event.time = time;
        event.code = code;
        event.down = sign == '+';
        list.push_back(event);
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const KeyEvent& a, const KeyEvent& b) { return a.time < b.time; });
    return true;
}

void KeyScript::sendUntil(double time, Application* app) {
    // Frame times are formed as frame / fps: an event at 0.1 s belongs to the
    // frame whose time rounds to 0.1, not the one after.
    const double tolerance = 1e-9;
    while (sent < list.size() && list[sent].time <= time + tolerance) {
        app->key(list[sent].code, list[sent].down);
        ++sent;
    }
}
