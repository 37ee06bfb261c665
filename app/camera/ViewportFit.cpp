// ViewportFit: the centred 4:3 rectangle.
#include "app/camera/ViewportFit.h"

ViewportRect fitViewport(int width, int height) {
    ViewportRect r;
    if (width <= 0 || height <= 0) {
        r.width = width > 0 ? width : 0;
        r.height = height > 0 ? height : 0;
        return r;
    }
    // Whole pixels: 4:3 exactly when the window allows, never larger than it.
    if (static_cast<long>(width) * 3 > static_cast<long>(height) * 4) {
        r.height = height;
        r.width = static_cast<int>(static_cast<long>(height) * 4 / 3);
    } else {
        r.width = width;
        r.height = static_cast<int>(static_cast<long>(width) * 3 / 4);
    }
    r.x = (width - r.width) / 2;
    r.y = (height - r.height) / 2;
    return r;
}
