// PrintableText: bytes taken from a file, made safe to quote in a one-line
// message. The readers of every format quote file content through it, so a
// damaged file can never put control characters or stray non-ASCII bytes on
// the user's terminal.
#pragma once

#include <cstddef>

// Writes bytes[0..length) into out as printable ASCII: bytes 0x20..0x7E are
// kept, every other byte becomes the four characters \xNN (upper-case hex).
// out always ends with a NUL when capacity > 0; text that does not fit is
// cut before the first byte whose rendering would not fit whole. Returns out.
const char* printableText(const void* bytes, size_t length, char* out, size_t capacity);
