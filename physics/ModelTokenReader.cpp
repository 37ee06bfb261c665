// ModelTokenReader: tokenising with line tracking and strict number parsing.
#include "physics/ModelTokenReader.h"

#include "math/PrintableText.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

ModelTokenReader::ModelTokenReader(const char* source, size_t size)
    : text(source), length(source ? size : 0) {
    token[0] = '\0';
    // Count the tokens once, so that a section's count can be checked against
    // what the text can still hold before anything is allocated for it.
    bool inToken = false;
    for (size_t k = 0; k < length; ++k) {
        const bool space = isSpace(text[k]);
        if (!space && !inToken) {
            ++totalTokens;
        }
        inToken = !space;
    }
}

bool ModelTokenReader::isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool ModelTokenReader::nextToken() {
    while (offset < length && isSpace(text[offset])) {
        if (text[offset] == '\n') {
            ++currentLine;
        }
        ++offset;
    }
    ++tokenIndex;
    if (offset >= length) {
        // A missing token is reported on the line of the last one there was.
        token[0] = '\0';
        tokenLength = 0;
        lastStatus = endOfText;
        return false;
    }
    tokenLine = currentLine;
    const size_t begin = offset;
    tokenBegin = begin;
    while (offset < length && !isSpace(text[offset])) {
        ++offset;
    }
    tokenLength = offset - begin;
    const size_t copied = tokenLength < tokenCapacity - 1 ? tokenLength : tokenCapacity - 1;
    std::memcpy(token, text + begin, copied);
    token[copied] = '\0';
    ++tokensRead;
    return true;
}

const char* ModelTokenReader::quotedToken(char* out, size_t capacity) const {
    const size_t copied = tokenLength < tokenCapacity - 1 ? tokenLength : tokenCapacity - 1;
    printableText(token, copied, out, capacity);
    const size_t used = std::strlen(out);
    if (copied < tokenLength && used + 4 <= capacity) {
        std::memcpy(out + used, "...", 4);
    }
    return out;
}

bool ModelTokenReader::readWord() {
    if (!nextToken()) {
        return false;
    }
    lastStatus = good;
    return true;
}

bool ModelTokenReader::readInt(int& value) {
    if (!nextToken()) {
        return false;
    }
    // A NUL inside the token or a cut token cannot be a valid number.
    if (tokenLength >= tokenCapacity || std::strlen(token) != tokenLength) {
        lastStatus = malformed;
        return false;
    }
    size_t k = 0;
    if (token[k] == '+' || token[k] == '-') {
        ++k;
    }
    if (token[k] == '\0') {
        lastStatus = malformed;
        return false;
    }
    for (; token[k] != '\0'; ++k) {
        if (token[k] < '0' || token[k] > '9') {
            lastStatus = malformed;
            return false;
        }
    }
    errno = 0;
    const long long parsed = std::strtoll(token, nullptr, 10);
    if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) {
        lastStatus = outOfRange;
        return false;
    }
    value = static_cast<int>(parsed);
    lastStatus = good;
    return true;
}

bool ModelTokenReader::readFloat(float& value) {
    if (!nextToken()) {
        return false;
    }
    if (tokenLength >= tokenCapacity || std::strlen(token) != tokenLength) {
        lastStatus = malformed;
        return false;
    }
    bool digit = false;
    for (size_t k = 0; token[k] != '\0'; ++k) {
        const char c = token[k];
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E') {
            lastStatus = malformed;
            return false;
        }
    }
    if (!digit) {
        lastStatus = malformed;
        return false;
    }
    char* end = nullptr;
    const float parsed = std::strtof(token, &end);
    // The whole token must be the number ("1.5e" or "1-2" are not).
    if (end != token + tokenLength) {
        lastStatus = malformed;
        return false;
    }
    value = parsed;
    lastStatus = good;
    return true;
}
