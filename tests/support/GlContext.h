// A real OpenGL context for tests: one hidden-by-nobody freeglut window per
// test process, created on first use. Tests that draw call requireGlContext()
// in their fixture; without an X display it fails the test loudly instead of
// letting freeglut exit the process.
#pragma once

// Creates the 640 x 480 RGBA, double-buffered, depth-buffered window on the
// first call and makes its context current. Returns false (with a gtest
// failure already recorded) when no display is available.
bool requireGlContext();

// Reads one RGB pixel of the back buffer at window coordinates (x, y), origin
// bottom-left, into rgb[0..2].
void readPixel(int x, int y, unsigned char rgb[3]);
