// PrintableText: escaping of file bytes for messages.
#include "math/PrintableText.h"

const char* printableText(const void* bytes, size_t length, char* out, size_t capacity) {
    if (capacity == 0) {
        return out;
    }
    static const char hexDigits[] = "0123456789ABCDEF";
    const unsigned char* in = static_cast<const unsigned char*>(bytes);
    size_t used = 0;
    for (size_t k = 0; k < length; ++k) {
        const unsigned char c = in[k];
        const bool printable = c >= 0x20 && c <= 0x7E;
        const size_t width = printable ? 1 : 4;
        // Room for this byte's rendering and the closing NUL.
        if (used + width + 1 > capacity) {
            break;
        }
        if (printable) {
            out[used++] = static_cast<char>(c);
        } else {
            out[used++] = '\\';
            out[used++] = 'x';
            out[used++] = hexDigits[c >> 4];
            out[used++] = hexDigits[c & 0x0F];
        }
    }
    out[used] = '\0';
    return out;
}
