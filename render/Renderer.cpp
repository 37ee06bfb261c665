// Renderer: fixed-function OpenGL state, camera and model transforms,
// materials, textures and the five drawing operations. Every operation
// begins and ends with one glGetError so that a pending error turns exactly
// the next operation into a no-op that returns false.
#include "render/Renderer.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <climits>
#include <cstring>

namespace {

// 1/255 in single precision: maps an 8-bit colour component onto 0..1.
const float byteToUnit = 1.0f / 255.0f;

// Unpacks 0x00RRGGBB (top byte ignored) into an RGBA colour with the given alpha.
void unpackColour(int packed, float alpha, float rgba[4]) {
    const unsigned int bits = static_cast<unsigned int>(packed);
    rgba[0] = static_cast<float>((bits >> 16) & 0xFFu) * byteToUnit;
    rgba[1] = static_cast<float>((bits >> 8) & 0xFFu) * byteToUnit;
    rgba[2] = static_cast<float>(bits & 0xFFu) * byteToUnit;
    rgba[3] = alpha;
}

GLenum textureUnit(int unit) {
    return static_cast<GLenum>(GL_TEXTURE0_ARB + unit);
}

} // namespace

Renderer::Renderer()
    : lastError(0), textureEnabled{false, false}, viewPushed(false), materialAlpha(0.5f),
      glActiveTextureARB(nullptr), glClientActiveTextureARB(nullptr),
      glMultiTexCoord2fvARB(nullptr) {
    initState();
}

Renderer::~Renderer() {}

bool Renderer::loadMultitexture() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions == nullptr || std::strstr(extensions, "GL_ARB_multitexture") == nullptr) {
        return false;
    }
    // glutGetProcAddress returns a generic function pointer; the real
    // signatures are those of the typedefs.
    this->glActiveTextureARB =
        reinterpret_cast<ActiveTextureFn>(glutGetProcAddress("glActiveTextureARB"));
    this->glClientActiveTextureARB =
        reinterpret_cast<ActiveTextureFn>(glutGetProcAddress("glClientActiveTextureARB"));
    this->glMultiTexCoord2fvARB =
        reinterpret_cast<MultiTexCoord2fvFn>(glutGetProcAddress("glMultiTexCoord2fvARB"));
    return this->glActiveTextureARB != nullptr && this->glClientActiveTextureARB != nullptr &&
           this->glMultiTexCoord2fvARB != nullptr;
}

void Renderer::initState() {
    loadMultitexture();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT, GL_FILL);
    glDepthFunc(GL_LEQUAL);
    if (!checkError()) {
        // Lighting stays off for the whole run.
        return;
    }
    static const float ambient[4] = {0.9f, 0.9f, 0.9f, 0.9f};
    static const float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    checkError();
}

bool Renderer::checkError() {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) {
        return true;
    }
    lastError = static_cast<int>(error);
    return false;
}

bool Renderer::setViewport(int width, int height) {
    if (!checkError()) {
        return false;
    }
    glViewport(0, 0, width, height);
    return checkError();
}

bool Renderer::setViewportRect(int x, int y, int width, int height) {
    if (!checkError()) {
        return false;
    }
    glViewport(x, y, width, height);
    return checkError();
}

bool Renderer::clearWindow(int colour) {
    if (!checkError()) {
        return false;
    }
    float rgba[4];
    unpackColour(colour, 0.0f, rgba);
    glClearColor(rgba[0], rgba[1], rgba[2], 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    return checkError();
}

bool Renderer::beginOverlay(int width, int height) {
    if (!checkError()) {
        return false;
    }
    // Saved as a whole and put back by endOverlay: the enables (lighting,
    // depth test, culling, blending, texturing of every unit), the current
    // colour and raster position, the blend function and the texture unit.
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
    for (int unit = 1; unit >= 0; --unit) {
        if (hasTextureUnit(unit)) {
            selectTextureUnit(unit);
            glDisable(GL_TEXTURE_2D);
        }
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    return checkError();
}

bool Renderer::drawRectangle(int x, int y, int width, int height, int colour, float alpha) {
    if (!checkError()) {
        return false;
    }
    float rgba[4];
    unpackColour(colour, alpha, rgba);
    glColor4fv(rgba);
    glRecti(x, y, x + width, y + height);
    return checkError();
}

bool Renderer::drawText(int x, int y, const char* text, int colour) {
    if (!checkError()) {
        return false;
    }
    float rgba[4];
    unpackColour(colour, 1.0f, rgba);
    // The raster position takes the colour current when it is set.
    glColor4fv(rgba);
    glRasterPos2i(x, y);
    for (const char* c = text; *c != '\0'; ++c) {
        // The font has Latin-1 only: a minus sign (U+2212 in UTF-8) is drawn
        // as the hyphen-minus it looks like.
        if (c[0] == '\xe2' && c[1] == '\x88' && c[2] == '\x92') {
            glutBitmapCharacter(GLUT_BITMAP_8_BY_13, '-');
            c += 2;
            continue;
        }
        glutBitmapCharacter(GLUT_BITMAP_8_BY_13, static_cast<unsigned char>(*c));
    }
    return checkError();
}

bool Renderer::readPixels(int x, int y, int width, int height, unsigned char* rgb) {
    if (!checkError()) {
        return false;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return checkError();
}

bool Renderer::endOverlay() {
    if (!checkError()) {
        return false;
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    return checkError();
}

bool Renderer::beginFrame(int clearColour, bool clearColourBuffer) {
    if (!checkError()) {
        return false;
    }
    float rgba[4];
    unpackColour(clearColour, 0.0f, rgba);
    glClearColor(rgba[0], rgba[1], rgba[2], 0.0f);
    if (clearColourBuffer) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        glClear(GL_DEPTH_BUFFER_BIT);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return checkError();
}

bool Renderer::finishFrame() {
    glFinish();
    return checkError();
}

bool Renderer::endFrame() {
    return checkError();
}

bool Renderer::setCamera(const Vec3* eye, const Vec3* centre, const Vec3* up) {
    if (!checkError()) {
        return false;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The aspect stays 4/3 whatever the window's shape: a resized window
    // stretches the picture.
    gluPerspective(60.0, 4.0 / 3.0, 5.0, farPlane);
    glMatrixMode(GL_MODELVIEW);
    // Stack in steady state: the view below, the working matrix on top.
    // Drop the old working matrix, rebuild the view, push a working copy.
    if (viewPushed) {
        glPopMatrix();
    }
    glLoadIdentity();
    gluLookAt(eye->x, eye->y, eye->z, centre->x, centre->y, centre->z, up->x, up->y, up->z);
    glPushMatrix();
    viewPushed = true;
    // Placed right after the view is loaded, so the light is fixed in the world.
    if (!placeLight()) {
        return false;
    }
    return checkError();
}

bool Renderer::placeLight() {
    if (!checkError()) {
        return false;
    }
    // w = 0: a directional light.
    static const float direction[4] = {0.1f, 0.4f, -1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, direction);
    return checkError();
}

bool Renderer::setModelMatrix(const Mat4* model) {
    if (!checkError()) {
        return false;
    }
    // A fresh copy of the view each time, so model matrices never accumulate.
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPushMatrix();
    if (!checkError()) {
        return false;
    }
    glMultMatrixf(model->data());
    return checkError();
}

bool Renderer::setMaterial(int ambient, int diffuse, int specular, float shininess) {
    if (!checkError()) {
        return false;
    }
    float ambientColour[4];
    float diffuseColour[4];
    float specularColour[4];
    unpackColour(ambient, materialAlpha, ambientColour);
    unpackColour(diffuse, materialAlpha, diffuseColour);
    unpackColour(specular, materialAlpha, specularColour);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambientColour);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuseColour);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specularColour);
    // shininess is a fraction of GL's largest specular exponent, 128.
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess * 128.0f);
    return checkError();
}

uint32_t Renderer::createTexture(const void* pixels, int width, int height) {
    // An error still pending belongs to an earlier operation, not to this
    // upload: keep its code in lastError and clear it (glGetError clears one
    // flag per call), so that this texture is judged on its own errors.
    for (int k = 0; k < 16 && !checkError(); ++k) {
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    if (!checkError()) {
        return 0;
    }
    glBindTexture(GL_TEXTURE_2D, name);
    // Internal format 3 keeps R, G, B and drops the alpha bytes.
    glTexImage2D(GL_TEXTURE_2D, 0, 3, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<float>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<float>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<float>(GL_LINEAR));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<float>(GL_LINEAR));
    // A failed upload fails here, naming this file, not the next operation.
    if (!checkError()) {
        glDeleteTextures(1, &name);
        return 0;
    }
    return name;
}

bool Renderer::hasTextureUnit(int unit) const {
    // Without the multitexture entry points only unit 0 exists: the core
    // texture calls act on it because no other unit is ever selected.
    return unit == 0 || (unit == 1 && this->glActiveTextureARB != nullptr);
}

void Renderer::selectTextureUnit(int unit) {
    if (this->glActiveTextureARB != nullptr) {
        this->glActiveTextureARB(textureUnit(unit));
    }
}

bool Renderer::bindTexture(int unit, uint32_t texture) {
    if (!checkError()) {
        return false;
    }
    if (!hasTextureUnit(unit)) {
        return false;
    }
    textureEnabled[unit] = true;
    selectTextureUnit(unit);
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    if (!checkError()) {
        return false;
    }
    selectTextureUnit(unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Unit 0 multiplies the lit material colour by the texture.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<float>(GL_MODULATE));
    if (!checkError()) {
        return false;
    }
    if (unit == 1) {
        // Unit 1 blends towards white by the texture.
        static const float white[4] = {1.0f, 1.0f, 1.0f, 0.0f};
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<float>(GL_BLEND));
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, white);
    }
    // The matrix mode stays GL_TEXTURE; operations that need the modelview
    // select it themselves.
    return checkError();
}

bool Renderer::disableTexture(int unit) {
    if (!checkError()) {
        return false;
    }
    if (!hasTextureUnit(unit)) {
        return false;
    }
    textureEnabled[unit] = false;
    selectTextureUnit(unit);
    glDisable(GL_TEXTURE_2D);
    return checkError();
}

bool Renderer::enableBlending(float alpha) {
    // Materials set from now on carry this alpha, even if the check fails.
    materialAlpha = alpha;
    if (!checkError()) {
        return false;
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    return checkError();
}

bool Renderer::disableBlending() {
    if (!checkError()) {
        return false;
    }
    glDisable(GL_BLEND);
    if (!checkError()) {
        return false;
    }
    materialAlpha = 0.0f;
    return true;
}

bool Renderer::enableDepthTest() {
    if (!checkError()) {
        return false;
    }
    glEnable(GL_DEPTH_TEST);
    return checkError();
}

bool Renderer::disableDepthTest() {
    if (!checkError()) {
        return false;
    }
    glDisable(GL_DEPTH_TEST);
    return checkError();
}

bool Renderer::drawPoint(const Vec3* position, float size) {
    if (!checkError()) {
        return false;
    }
    glPointSize(size);
    disableTexture(0);
    glBegin(GL_POINTS);
    glVertex3fv(&position->x);
    glEnd();
    return checkError();
}

bool Renderer::drawLine(const Vec3* from, const Vec3* to) {
    if (!checkError()) {
        return false;
    }
    disableTexture(0);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(2.0f);
    // The segment is the outline of the degenerate triangle (from, to, to).
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_CULL_FACE);
    glBegin(GL_TRIANGLES);
    glVertex3fv(&from->x);
    glVertex3fv(&to->x);
    glVertex3fv(&to->x);
    glEnd();
    glEnable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    // Texturing is switched back on for the unit that disableTexture left
    // selected, while the unit-0 flag stays false: no coordinates are sent
    // until the next bindTexture.
    glEnable(GL_TEXTURE_2D);
    return checkError();
}

bool Renderer::drawTriangle(const Vec3* corners, const float* texCoords, const Vec3* normals) {
    if (!checkError()) {
        return false;
    }
    if (!textureEnabled[0]) {
        texCoords = nullptr;
    }
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < 3; ++k) {
        if (texCoords != nullptr) {
            if (this->glMultiTexCoord2fvARB != nullptr) {
                this->glMultiTexCoord2fvARB(textureUnit(0), texCoords + 2 * k);
            } else {
                // Core call: sets the coordinates of unit 0.
                glTexCoord2fv(texCoords + 2 * k);
            }
        }
        if (normals != nullptr) {
            glNormal3fv(&normals[k].x);
        }
        glVertex3fv(&corners[k].x);
    }
    glEnd();
    return checkError();
}

bool Renderer::drawTriangles(const Vec3* vertices, const float* texCoords, const Vec3* normals,
                             const uint32_t* indices, int triangleCount) {
    if (!checkError()) {
        return false;
    }
    // The index count 3 * triangleCount must fit GL's signed count.
    if (triangleCount > INT_MAX / 3) {
        return false;
    }
    if (!textureEnabled[0]) {
        texCoords = nullptr;
    }
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (normals != nullptr) {
        glNormalPointer(GL_FLOAT, 0, normals);
        glEnableClientState(GL_NORMAL_ARRAY);
    }
    if (texCoords != nullptr) {
        // Without the entry point the client-active unit is unit 0 already.
        if (this->glClientActiveTextureARB != nullptr) {
            this->glClientActiveTextureARB(textureUnit(0));
        }
        glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDrawElements(GL_TRIANGLES, 3 * triangleCount, GL_UNSIGNED_INT, indices);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (normals != nullptr) {
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    if (texCoords != nullptr) {
        if (this->glClientActiveTextureARB != nullptr) {
            this->glClientActiveTextureARB(textureUnit(0));
        }
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    return checkError();
}

bool Renderer::drawWireframe(const Vec3* vertices, const uint32_t* indices, int triangleCount) {
    if (!checkError()) {
        return false;
    }
    if (triangleCount > INT_MAX / 3) {
        return false;
    }
    disableTexture(0);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(2.0f);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_CULL_FACE);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glEnableClientState(GL_VERTEX_ARRAY);
    // No normals: the lines are lit with whatever normal GL holds.
    glDrawElements(GL_TRIANGLES, 3 * triangleCount, GL_UNSIGNED_INT, indices);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
    return checkError();
}
