// The window's key codes in the runtime's key vocabulary. freeglut delivers
// most keys; the second X connection (x11_keys) reads the few it does not.
// Each physical press must come out of exactly one of the two.
#pragma once

#include <optional>

#include "keyboard.h"

// A glutSpecialFunc key. Nothing for Num Lock: the X path owns it.
std::optional<Key> key_of_glut_special(int glut_key);

// A keysym on the X path, looked up with the event's modifiers. Only the keys
// freeglut does not deliver on X11: Pause, Break, the lock keys, and Shift+Tab
// (which X turns into ISO_Left_Tab, and freeglut drops). Nothing for the rest.
std::optional<Key> key_of_x11_keysym(unsigned long keysym, int modifiers);

// An X event's modifier state: Shift, Control and Mod1 (Alt).
int modifiers_of_x11_state(unsigned state);
