// Vertex3ds: one vertex of a 3DS object as the reader stores it. y holds the
// file's z and z the file's y (the reader exchanges them while decoding).
#pragma once

struct Vertex3ds {
    float x = 0.0f;           // file x, model units
    float y = 0.0f;           // file z, model units
    float z = 0.0f;           // file y, model units
    bool hasTexCoord = false; // u and v came from the file
    float u = 0.0f;           // texture coordinate s
    float v = 0.0f;           // texture coordinate t
};
