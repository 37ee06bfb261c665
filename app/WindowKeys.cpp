// WindowKeys: releases matched to the held key.
#include "app/WindowKeys.h"

#include "app/Application.h"

#include <cctype>

int releasedKeyCode(unsigned char character, const unsigned char* held) {
    const int code = characterKeyCode(character);
    if (held[code] != 0 || !std::isalpha(character)) {
        return code;
    }
    const int otherCase =
        std::isupper(character) ? std::tolower(character) : std::toupper(character);
    return held[otherCase] != 0 ? otherCase : code;
}
