// Test builds of the runtime's programs in which an X error comes while one
// of its windows is being created. The functions here stand in for Xlib's
// and call them.
//
// DESTROY_THE_WINDOW: another client destroys the main window as soon as
// freeglut has given it its title (XSetWMProperties), as a tool that waits
// for the title does. DESTROY_THE_BOX: another client destroys a box's
// window before the box selects its events, so no DestroyNotify ever comes.
// Neither: a request on the window library's connection names a pixmap that
// does not exist, while freeglut names the window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>

namespace {
template <typename Function>
Function xlib(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

[[maybe_unused]] void destroy_from_another_client(Window window) {
    if (Display* other = XOpenDisplay(nullptr)) {
        XDestroyWindow(other, window);
        XCloseDisplay(other);
    }
}
}  // namespace

#ifdef DESTROY_THE_BOX
extern "C" int XSelectInput(Display* display, Window window, long mask) {
    static const auto real = xlib<decltype(&XSelectInput)>("XSelectInput");
    const long box_events = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask |
                            FocusChangeMask | VisibilityChangeMask;
    if (mask == box_events) {
        XSync(display, False);  // the window exists on the server
        destroy_from_another_client(window);
    }
    return real(display, window, mask);
}
#else
extern "C" void XSetWMProperties(Display* display, Window window, XTextProperty* window_name, XTextProperty* icon_name,
                                 char** argv, int argc, XSizeHints* normal_hints, XWMHints* wm_hints,
                                 XClassHint* class_hints) {
    static const auto real = xlib<decltype(&XSetWMProperties)>("XSetWMProperties");
    real(display, window, window_name, icon_name, argv, argc, normal_hints, wm_hints, class_hints);
#ifdef DESTROY_THE_WINDOW
    destroy_from_another_client(window);
#else
    XFreePixmap(display, XAllocID(display));
#endif
}
#endif
