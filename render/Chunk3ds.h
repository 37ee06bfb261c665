// Chunk3ds: one node of the chunk tree the 3DS reader builds over a file
// buffer. Offsets are file offsets; the pointers point into the buffer, which
// lives only while the file is being parsed.
#pragma once

#include <cstdint>

struct Chunk3ds {
    uint16_t id = 0;                        // chunk id from the header
    uint32_t length = 0;                    // chunk length in bytes, header included
    uint32_t bodyOffset = 0;                // 6 past the chunk start (past the name if named)
    uint32_t bodyLength = 0;                // bytes from bodyOffset to the chunk end
    const unsigned char* body = nullptr;    // fileData + bodyOffset
    Chunk3ds* firstChild = nullptr;         // first parsed child, file order
    Chunk3ds* nextSibling = nullptr;        // next parsed child of the same parent
    int64_t payloadOffset = -1;             // file offset of the non-chunk data, -1 if none
    const unsigned char* payload = nullptr; // fileData + payloadOffset, null if none
    uint32_t payloadLength = 0;             // bytes of non-chunk data
};
