#include "x11_keys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include "keyboard.h"
#include "platform/platform.h"
#include "window_keys.h"

namespace {
Display* connection = nullptr;
Window watched = 0;
}  // namespace

bool x11_keys_open(unsigned long window) {
    int major = XkbMajorVersion, minor = XkbMinorVersion, error = 0;
    connection = XkbOpenDisplay(const_cast<char*>(platform::x_display_name()), nullptr, nullptr, &major, &minor, &error);
    if (!connection) return false;
    Bool supported = False;
    // Held keys then repeat as presses only, as on the system this runtime
    // comes from.
    XkbSetDetectableAutoRepeat(connection, True, &supported);
    // Structure events: freeglut says nothing when another program destroys
    // the window, this connection does.
    watched = window;
    XSelectInput(connection, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XFlush(connection);
    return true;
}

bool x11_keys_poll() {
    if (!connection) return true;
    bool window_stands = true;
    while (XPending(connection) > 0) {
        XEvent event;
        XNextEvent(connection, &event);
        if (event.type == DestroyNotify && event.xdestroywindow.window == watched) window_stands = false;
        if (event.type != KeyPress) continue;
        KeySym keysym = NoSymbol;
        unsigned consumed = 0;
        XkbLookupKeySym(connection, static_cast<KeyCode>(event.xkey.keycode), event.xkey.state, &consumed, &keysym);
        const int modifiers = modifiers_of_x11_state(event.xkey.state);
        if (std::optional<Key> key = key_of_x11_keysym(keysym, modifiers)) handle_key(*key, modifiers);
    }
    return window_stands;
}

void x11_keys_close() {
    if (connection) XCloseDisplay(connection);
    connection = nullptr;
    watched = 0;
}
