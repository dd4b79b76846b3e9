#include "x11_keys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include "keyboard.h"
#include "platform/platform.h"
#include "window_keys.h"

namespace {
Display* connection = nullptr;
Window watched = 0;
int caps_indicator = -1, num_indicator = -1, scroll_indicator = -1;

int indicator_index(const char* name) {
    Atom atom = XInternAtom(connection, name, False);
    int index = -1;
    if (!XkbGetNamedIndicator(connection, atom, &index, nullptr, nullptr, nullptr)) return -1;
    return index;
}

void report_lock_keys() {
    unsigned state = 0;
    if (XkbGetIndicatorState(connection, XkbUseCoreKbd, &state) != Success) return;
    auto on = [state](int index) { return index >= 0 && (state & (1u << index)) != 0; };
    platform::set_lock_key_state(platform::VK_CAPITAL, on(caps_indicator));
    platform::set_lock_key_state(platform::VK_NUMLOCK, on(num_indicator));
    platform::set_lock_key_state(platform::VK_SCROLL, on(scroll_indicator));
}
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
    caps_indicator = indicator_index("Caps Lock");
    num_indicator = indicator_index("Num Lock");
    scroll_indicator = indicator_index("Scroll Lock");
    report_lock_keys();
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
        report_lock_keys();
        if (std::optional<Key> key = key_of_x11_keysym(keysym, modifiers)) handle_key(*key, modifiers);
    }
    return window_stands;
}

void x11_keys_close() {
    if (connection) XCloseDisplay(connection);
    connection = nullptr;
    watched = 0;
}
