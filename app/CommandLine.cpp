// CommandLine: argument walking and value checks.
#include "app/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

CommandLine::CommandLine(int argc, char** argv) : count(argc), arguments(argv), index(0) {}

const char* CommandLine::next() {
    if (index + 1 >= count) {
        index = count;
        return nullptr;
    }
    return arguments[++index];
}

bool CommandLine::text(const char** value) {
    const std::string option = printableText(arguments[index]);
    if (index + 1 >= count) {
        return fail(option + " needs a value");
    }
    *value = arguments[++index];
    return true;
}

bool CommandLine::number(double minimum, double maximum, double* value) {
    const char* given = nullptr;
    if (!text(&given)) {
        return false;
    }
    const std::string option = printableText(arguments[index - 1]);
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(given, &end);
    if (end == given || *end != '\0' || errno == ERANGE || !std::isfinite(parsed)) {
        return fail(option + ": '" + printableText(given) + "' is not a number");
    }
    if (parsed < minimum || parsed > maximum) {
        char range[96];
        std::snprintf(range, sizeof(range), " is outside %g to %g", minimum, maximum);
        return fail(option + ": " + printableText(given) + range);
    }
    *value = parsed;
    return true;
}

bool CommandLine::integer(int minimum, int maximum, int* value) {
    double parsed = 0.0;
    if (!number(minimum, maximum, &parsed)) {
        return false;
    }
    if (parsed != std::floor(parsed)) {
        return fail(printableText(arguments[index - 1]) + ": '" + printableText(arguments[index]) +
                    "' is not a whole number");
    }
    *value = static_cast<int>(parsed);
    return true;
}

bool CommandLine::fail(const std::string& why) {
    reason = why;
    return false;
}

std::string printableText(const char* text) {
    std::string out;
    for (const char* c = text; *c != '\0'; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            out += escaped;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}
