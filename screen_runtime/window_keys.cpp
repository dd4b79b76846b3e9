#include "window_keys.h"

#include <GL/freeglut.h>
#include <X11/X.h>
#include <X11/keysym.h>

// The display side passes glutGetModifiers() as it is.
static_assert(modifier_shift == GLUT_ACTIVE_SHIFT && modifier_ctrl == GLUT_ACTIVE_CTRL && modifier_alt == GLUT_ACTIVE_ALT);

std::optional<Key> key_of_glut_special(int glut_key) {
    switch (glut_key) {
        case GLUT_KEY_F1: return Key::f1;
        case GLUT_KEY_F2: return Key::f2;
        case GLUT_KEY_F3: return Key::f3;
        case GLUT_KEY_F4: return Key::f4;
        case GLUT_KEY_F5: return Key::f5;
        case GLUT_KEY_F6: return Key::f6;
        case GLUT_KEY_F7: return Key::f7;
        case GLUT_KEY_F8: return Key::f8;
        case GLUT_KEY_F9: return Key::f9;
        case GLUT_KEY_F10: return Key::f10;
        case GLUT_KEY_F11: return Key::f11;
        case GLUT_KEY_F12: return Key::f12;
        case GLUT_KEY_HOME: return Key::home;
        case GLUT_KEY_UP: return Key::up;
        case GLUT_KEY_PAGE_UP: return Key::page_up;
        case GLUT_KEY_LEFT: return Key::left;
        case GLUT_KEY_BEGIN: return Key::centre;
        case GLUT_KEY_RIGHT: return Key::right;
        case GLUT_KEY_END: return Key::end;
        case GLUT_KEY_DOWN: return Key::down;
        case GLUT_KEY_PAGE_DOWN: return Key::page_down;
        case GLUT_KEY_INSERT: return Key::insert;
        case GLUT_KEY_DELETE: return Key::del;
        case GLUT_KEY_SHIFT_L: case GLUT_KEY_SHIFT_R: return Key::shift;
        case GLUT_KEY_CTRL_L: case GLUT_KEY_CTRL_R: return Key::ctrl;
        case GLUT_KEY_ALT_L: case GLUT_KEY_ALT_R: return Key::alt;
        case GLUT_KEY_SUPER_L: case GLUT_KEY_SUPER_R: return Key::super;
        case GLUT_KEY_NUM_LOCK: return std::nullopt;
    }
    return Key::unnamed;
}

std::optional<Key> key_of_x11_keysym(unsigned long keysym, int modifiers) {
    switch (keysym) {
        case XK_Pause: return Key::pause;
        case XK_Break: return Key::break_key;
        case XK_Scroll_Lock: return Key::scroll_lock;
        case XK_Num_Lock: return Key::num_lock;
        case XK_Caps_Lock: return Key::caps_lock;
        case XK_ISO_Left_Tab: return Key::back_tab;
        case XK_Tab: if (modifiers & modifier_shift) return Key::back_tab; break;
    }
    return std::nullopt;
}

int modifiers_of_x11_state(unsigned state) {
    int modifiers = 0;
    if (state & ShiftMask) modifiers |= modifier_shift;
    if (state & ControlMask) modifiers |= modifier_ctrl;
    if (state & Mod1Mask) modifiers |= modifier_alt;
    return modifiers;
}
