// Mapping of GLUT key events onto the application's key codes.
#include "app/Application.h"

#include <GL/freeglut.h>

int specialKeyCode(int glutKey) {
    const bool handled = (glutKey >= GLUT_KEY_F1 && glutKey <= GLUT_KEY_F12) ||
                         (glutKey >= GLUT_KEY_LEFT && glutKey <= GLUT_KEY_DOWN) ||
                         glutKey == GLUT_KEY_HOME || glutKey == GLUT_KEY_END;
    return handled ? glutKey + specialKeyCodeBase : -1;
}

int characterKeyCode(unsigned char character) {
    return character & 0xFF;
}

int cameraKeyCode(int camera) {
    if (camera >= 1 && camera <= 4) {
        return specialKeyCode(GLUT_KEY_F1 + camera - 1);
    }
    return camera == 5 ? specialKeyCode(GLUT_KEY_F12) : -1;
}
