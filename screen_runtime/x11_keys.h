// A second X connection that reads the window's key presses, for the keys
// freeglut does not deliver. Used on the window thread only.
#pragma once

// Opens the connection and selects key events on the window; false when it
// cannot (the runtime then goes on without those keys).
bool x11_keys_open(unsigned long window);
// Hands the key presses read since the last call that freeglut does not
// deliver to handle_key; false
// when the window has been destroyed meanwhile (by this process or another).
bool x11_keys_poll();
void x11_keys_close();
