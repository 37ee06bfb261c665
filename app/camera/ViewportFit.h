// ViewportFit: the part of a window the scene is drawn into. The projection
// keeps the 4:3 aspect of the 640 x 480 window the scene was made for, so a
// window of any other shape shows the whole picture centred, with bars at
// the sides or at the top and bottom, instead of stretching it.
#pragma once

struct ViewportRect {
    int x = 0; // pixels from the window's left edge
    int y = 0; // pixels from the window's bottom edge (GL's convention)
    int width = 640;
    int height = 480;
};

// The largest 4:3 rectangle centred in a window of width x height pixels.
ViewportRect fitViewport(int width, int height);
