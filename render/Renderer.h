// Renderer: the one place that talks to OpenGL 1.1 fixed-function and GLU.
// It sets up the GL state once, then offers a flat set of operations. Every
// operation (except construction, destruction and createTexture) checks the
// GL error flag before and after its work and returns true when GL reported
// no error; a pending error makes exactly the next operation do nothing and
// is kept in lastError. Nothing is printed.
#pragma once

#include "math/Mat4.h"
#include "math/Vec3.h"

#include <cstdint>

class Renderer {
  public:
    // Needs a current GL context: sets the fields and runs initState.
    Renderer();
    // Textures are never deleted; nothing to do.
    ~Renderer();

    // Looks for "GL_ARB_multitexture" in the extension string and fetches its
    // three entry points; true only when all three were found.
    bool loadMultitexture();
    // Initial GL state: depth test, back-face culling, lighting with light 0.
    void initState();
    // One glGetError: true when it is zero, else the code goes to lastError.
    bool checkError();

    bool setViewport(int width, int height);
    // The viewport as a rectangle of the window, lower left corner at (x, y).
    bool setViewportRect(int x, int y, int width, int height);
    // Fills the whole window, viewport or not, with a packed colour (the
    // bars beside a viewport that does not fill the window).
    bool clearWindow(int colour);
    // Clears depth (and colour when clearColourBuffer), resets the modelview.
    bool beginFrame(int clearColour, bool clearColourBuffer);
    bool endFrame();

    // Projection 60 degrees, aspect 4/3, near 5, far farPlane; the look-at view
    // at the bottom of the modelview stack with a working copy above it; the
    // light placed in world space.
    bool setCamera(const Vec3* eye, const Vec3* centre, const Vec3* up);
    bool placeLight();
    // Working matrix := view * model.
    bool setModelMatrix(const Mat4* model);

    // Packed colours 0x00RRGGBB; shininess a fraction 0..1 of GL's 128.
    bool setMaterial(int ambient, int diffuse, int specular, float shininess);
    // Uploads width x height RGBA bytes (alpha dropped); returns the texture
    // name, 0 when GL reports an error for this upload. Errors pending from
    // earlier operations are cleared first (their code kept in lastError).
    uint32_t createTexture(const void* pixels, int width, int height);
    bool bindTexture(int unit, uint32_t texture);
    bool disableTexture(int unit);
    bool enableBlending(float alpha);
    bool disableBlending();
    bool enableDepthTest();
    bool disableDepthTest();

    bool drawPoint(const Vec3* position, float size);
    bool drawLine(const Vec3* from, const Vec3* to);
    // corners: three Vec3; texCoords (three s,t pairs) and normals may be null.
    bool drawTriangle(const Vec3* corners, const float* texCoords, const Vec3* normals);
    bool drawTriangles(const Vec3* vertices, const float* texCoords, const Vec3* normals,
                       const uint32_t* indices, int triangleCount);
    bool drawWireframe(const Vec3* vertices, const uint32_t* indices, int triangleCount);

    // Screen-space overlay over the finished scene: between beginOverlay and
    // endOverlay coordinates are pixels from the viewport's lower left
    // corner and nothing is lit, textured or depth-tested. endOverlay puts
    // back every state the overlay changed.
    bool beginOverlay(int width, int height);
    // A rectangle in a packed colour with opacity alpha (0..1).
    bool drawRectangle(int x, int y, int width, int height, int colour, float alpha);
    // One line of text in the window system's 8 x 13 fixed font, the
    // baseline of its first character at (x, y); Latin-1, and the UTF-8
    // minus sign (U+2212) drawn as a hyphen-minus.
    bool drawText(int x, int y, const char* text, int colour);
    bool endOverlay();
    // The back buffer's RGB bytes of the rectangle (x, y, width, height),
    // bottom row first, rows packed without padding.
    bool readPixels(int x, int y, int width, int height, unsigned char* rgb);
    // Hands the frame's queued drawing to GL and waits until it is done: a
    // frame that is never shown (no buffer swap) would otherwise stay
    // queued, and with it the memory of every frame before it.
    bool finishFrame();
    // Width and height of one character of drawText, pixels.
    static constexpr int textCellWidth = 8;
    static constexpr int textCellHeight = 13;

    // The last non-zero glGetError code; 0 at construction.
    int lastError;
    // Whether texturing is on for units 0 and 1 as far as the renderer knows;
    // only unit 0's flag decides whether texture coordinates are sent.
    bool textureEnabled[2];
    // True from the first setCamera on: the view has been pushed.
    bool viewPushed;
    // Alpha of every colour setMaterial sends (0..1).
    float materialAlpha;

    // GL_ARB_multitexture entry points, null when the extension or the entry
    // point is missing; the operations then use the core single-texture calls
    // for unit 0 instead.
    typedef void (*ActiveTextureFn)(unsigned int unit);
    typedef void (*MultiTexCoord2fvFn)(unsigned int unit, const float* coords);
    ActiveTextureFn glActiveTextureARB;
    ActiveTextureFn glClientActiveTextureARB;
    MultiTexCoord2fvFn glMultiTexCoord2fvARB;

    // The far plane of the projection, scene units: 5000 (83 m), unless a
    // larger world asks to be seen to its end.
    double farPlane = 5000.0;

  private:
    // Unit 0 always; unit 1 only with the multitexture entry points.
    bool hasTextureUnit(int unit) const;
    // Makes unit the active texture unit where units can be selected.
    void selectTextureUnit(int unit);
};
