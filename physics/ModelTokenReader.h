// ModelTokenReader: splits model-file text into white-space separated tokens
// and reads them as 32-bit ints or floats, keeping the line and the number of
// each token for error messages. Nothing is allocated; tokens are copied into
// a bounded buffer before conversion.
#pragma once

#include <cstddef>

class ModelTokenReader {
  public:
    enum Status {
        good,       // the latest read succeeded
        endOfText,  // no token was left
        malformed,  // the token is not a number of the wanted type
        outOfRange, // an integer token beyond the 32-bit range
    };

    // The text need not be NUL-terminated; NUL bytes count as token characters.
    ModelTokenReader(const char* text, size_t length);

    // Reads the next token as a decimal integer: optional sign, digits only.
    bool readInt(int& value);
    // Reads the next token as a decimal real: sign, digits, point and
    // exponent only (no hexadecimal, infinity or NaN spellings). A value too
    // large for a float reads as infinity and is left to the caller to judge.
    bool readFloat(float& value);

    // Reads the next token as it is (a keyword); false at the end.
    bool readWord();
    // True when the latest token reads exactly `word`.
    bool tokenIs(const char* word) const;
    size_t textLength() const { return length; }

    Status status() const { return lastStatus; }
    // Line (1-based) of the latest token; at the end of the text, the line of
    // the last token there was.
    int line() const { return tokenLine; }
    // Number (1-based) of the latest token read, or the number the missing
    // token would have had.
    long tokenNumber() const { return tokenIndex; }
    // The latest token, cut to fit the buffer.
    const char* tokenText() const { return token; }
    // The latest token as it may be quoted in a message: bytes outside
    // printable ASCII written as \xNN, "..." after a token cut to fit.
    const char* quotedToken(char* out, size_t capacity) const;
    // Byte offset in the text where the latest token begins.
    size_t tokenOffset() const { return tokenBegin; }
    // Tokens not yet read.
    size_t remainingTokens() const { return totalTokens - tokensRead; }

  private:
    static bool isSpace(char c);
    // Moves to the next token and copies it (bounded); false at the end.
    bool nextToken();

    static constexpr size_t tokenCapacity = 64;

    const char* text;
    size_t length;
    size_t offset = 0;
    size_t tokenBegin = 0;
    int currentLine = 1;
    int tokenLine = 1;
    long tokenIndex = 0;
    size_t totalTokens = 0;
    size_t tokensRead = 0;
    size_t tokenLength = 0; // full length of the latest token, even when cut
    char token[tokenCapacity];
    Status lastStatus = good;
};
