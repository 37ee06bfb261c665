// WindowKeys: what the window system's key events mean before they become
// the application's key events. A letter released while Shift has changed
// since it went down arrives in the other case ('q' down, then 'Q' up); the
// release belongs to the key that is held.
#pragma once

// The key code a release of `character` lets go of, given the held keys
// (`held`, 512 entries by key code, nonzero while down).
int releasedKeyCode(unsigned char character, const unsigned char* held);
