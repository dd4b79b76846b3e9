// Test builds of the runtime's programs in which an X error reaches the
// window library's connection while glutCreateWindow runs. This file's
// XSetWMProperties, with which freeglut names the new window, stands in for
// Xlib's and calls it. Built with DESTROY_THE_WINDOW, another client then
// destroys the window at once, as a tool that waits for the title does;
// without, a request on the same connection names a pixmap that does not
// exist.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>

extern "C" void XSetWMProperties(Display* display, Window window, XTextProperty* window_name, XTextProperty* icon_name,
                                 char** argv, int argc, XSizeHints* normal_hints, XWMHints* wm_hints,
                                 XClassHint* class_hints) {
    using Real = decltype(&XSetWMProperties);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XSetWMProperties"));
    real(display, window, window_name, icon_name, argv, argc, normal_hints, wm_hints, class_hints);
#ifdef DESTROY_THE_WINDOW
    if (Display* other = XOpenDisplay(nullptr)) {
        XDestroyWindow(other, window);
        XCloseDisplay(other);
    }
#else
    XFreePixmap(display, XAllocID(display));
#endif
}
