// WindowKeys: releases matched to the held key.
#include "app/input/WindowKeys.h"

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

bool KeyRepeatFilter::release(int code) {
    if (count >= capacityHeld) {
        return false;
    }
    held[count++] = code;
    return true;
}

KeyRepeatFilter::Press KeyRepeatFilter::press(int code, double now) {
    const bool known = code >= 0 && code < 512;
    for (int k = 0; k < count; ++k) {
        if (held[k] == code) {
            for (int m = k + 1; m < count; ++m) {
                held[m - 1] = held[m];
            }
            --count;
            // Held long enough to repeat: the pair is the window system's.
            if (known && now - pressedAt[code] >= repeatDelay) {
                return Press::drop;
            }
            if (known) {
                pressedAt[code] = now;
            }
            return Press::deliverAfterRelease;
        }
    }
    if (known) {
        pressedAt[code] = now;
    }
    return Press::deliver;
}

int KeyRepeatFilter::flush(int* codes, int capacity) {
    const int written = count < capacity ? count : capacity;
    for (int k = 0; k < written; ++k) {
        codes[k] = held[k];
    }
    count = 0;
    return written;
}
