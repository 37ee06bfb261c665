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

// Brings the shared context back to GL's defaults where earlier tests in the
// same process may have changed them (modelview stack at one entry, identity
// matrices, texturing, blending, lighting, depth test and culling off, filled
// polygons, the full-window viewport) and clears pending errors, so each
// test starts from a known state.
void resetGlState();
