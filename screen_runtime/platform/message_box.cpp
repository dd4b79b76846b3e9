// Message boxes: a small modal dialog drawn with plain Xlib.
//
// Each dialog opens its own display connection, so it never touches the
// window library's connection and blocks no thread but its caller.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"

namespace platform {
namespace {
std::atomic<MessageBoxHook> hook{nullptr};
std::atomic<unsigned long> owner{0};
std::atomic<const char*> display_name{nullptr};

// The boxes up at this moment, for the X error handler, which runs on the
// thread that reads the error: a box's errors on the box's own thread.
struct OpenBox {
    std::atomic<const void*> display{nullptr};
    std::atomic<unsigned long> window{0};
    std::atomic<bool> window_failed{false};
};
// More than the boxes that can be up at once (program thread, critical
// error, window thread); a box with no place goes on without one.
OpenBox open_boxes[8];

OpenBox* register_box(Display* d) {
    for (OpenBox& box : open_boxes) {
        const void* free = nullptr;
        if (box.display.compare_exchange_strong(free, d)) {
            box.window.store(0);
            box.window_failed.store(false);
            return &box;
        }
    }
    return nullptr;
}

// How often a box with no owner yet looks for the window it belongs to.
constexpr int owner_look_ms = 20;

enum class Next { event, quiet, failed };

// The next event, or quiet after wait_ms (-1: no limit) without one; failed
// once a request on the box's window has failed (its errors may come with
// no event after them).
Next next_event(Display* d, XEvent& e, const OpenBox* box, int wait_ms) {
    while (!box || !box->window_failed.load()) {
        if (XPending(d) > 0) {
            XNextEvent(d, &e);
            return Next::event;
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        if (poll(&p, 1, wait_ms) == 0) return Next::quiet;
    }
    return Next::failed;
}

// Two boxes up at once must not each take the focus back or raise itself
// over the other: they would pass both to and fro for good.
bool another_box_up(Window w) {
    for (const OpenBox& box : open_boxes) {
        const unsigned long other = box.window.load();
        if (other != 0 && other != w) return true;
    }
    return false;
}

bool another_box_focused(Display* d, Window w) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == w) return false;
    for (const OpenBox& box : open_boxes)
        if (box.window.load() == focus) return true;
    return false;
}

// A system-modal box takes the keyboard. Only a viewable window may take it;
// anything else is an X error.
bool take_focus(Display* d, Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    return true;
}

struct Button {
    const char* label;
    int answer;
    int x, y, width, height;
    bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

std::vector<std::string> split_lines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(*p);
        }
    }
    lines.push_back(line);
    return lines;
}

int text_width(XFontStruct* font, const std::string& s) {
    return XTextWidth(font, s.data(), static_cast<int>(s.size()));
}

void set_atom_property(Display* d, Window w, const char* property, std::initializer_list<const char*> values) {
    std::vector<Atom> atoms;
    for (const char* v : values) atoms.push_back(XInternAtom(d, v, False));
    XChangeProperty(d, w, XInternAtom(d, property, False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
}

int run_dialog(Display* d, OpenBox* box, unsigned long owner_window, const char* text, const char* title,
               bool yes_no) {
    const int screen = DefaultScreen(d);
    XFontStruct* font = XLoadQueryFont(d, "fixed");
    const bool own_font = font != nullptr;
    if (!font) font = XQueryFont(d, XGContextFromGC(DefaultGC(d, screen)));
    if (!font) return -1;
    const int ascent = font->ascent, line_height = font->ascent + font->descent;

    const std::vector<std::string> lines = split_lines(text);
    std::vector<Button> buttons;
    if (yes_no)
        buttons = {{"Yes", IDYES, 0, 0, 0, 0}, {"No", IDNO, 0, 0, 0, 0}};
    else
        buttons = {{"OK", IDOK, 0, 0, 0, 0}};

    const int margin = 16, gap = 12;
    int text_w = 0;
    for (const std::string& l : lines) text_w = std::max(text_w, text_width(font, l));
    const int button_w = std::max(72, text_width(font, "Yes") + 24), button_h = line_height + 12;
    const int buttons_w = static_cast<int>(buttons.size()) * button_w + (static_cast<int>(buttons.size()) - 1) * gap;
    const int width = std::max({text_w, buttons_w, 200}) + 2 * margin;
    const int text_h = static_cast<int>(lines.size()) * line_height;
    const int height = margin + text_h + margin + button_h + margin;
    int bx = (width - buttons_w) / 2;
    for (Button& b : buttons) {
        b.x = bx;
        b.y = height - margin - button_h;
        b.width = button_w;
        b.height = button_h;
        bx += button_w + gap;
    }

    const int x = (DisplayWidth(d, screen) - width) / 2, y = (DisplayHeight(d, screen) - height) / 2;
    const unsigned long black = BlackPixel(d, screen), white = WhitePixel(d, screen);
    Window w = XCreateSimpleWindow(d, RootWindow(d, screen), std::max(0, x), std::max(0, y),
                                   static_cast<unsigned>(width), static_cast<unsigned>(height), 1, black, white);
    if (box) box->window.store(w);
    XSelectInput(d, w,
                 ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask |
                     FocusChangeMask | VisibilityChangeMask);
    XStoreName(d, w, title);
    XSizeHints* size = XAllocSizeHints();
    if (size) {
        size->flags = PPosition | PMinSize | PMaxSize;
        size->x = x;
        size->y = y;
        size->min_width = size->max_width = width;
        size->min_height = size->max_height = height;
        XSetWMNormalHints(d, w, size);
        XFree(size);
    }
    if (XWMHints* hints = XAllocWMHints()) {
        hints->flags = InputHint;
        hints->input = True;
        XSetWMHints(d, w, hints);
        XFree(hints);
    }
    if (owner_window) XSetTransientForHint(d, w, owner_window);
    set_atom_property(d, w, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DIALOG"});
    set_atom_property(d, w, "_NET_WM_STATE", {"_NET_WM_STATE_MODAL", "_NET_WM_STATE_ABOVE"});
    // Taking part in WM_DELETE_WINDOW keeps the window manager from killing
    // the connection when the close button is used on a box that ignores it.
    Atom delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &delete_window, 1);

    GC gc = XCreateGC(d, w, 0, nullptr);
    XSetFont(d, gc, font->fid);
    XSetForeground(d, gc, black);
    XSetBackground(d, gc, white);
    XMapRaised(d, w);

    // A Yes/No box has no Cancel: Escape and the close button leave it up,
    // since No ends the program. An OK box closes with either.
    const int dismissed = yes_no ? 0 : IDOK;
    int pressed = -1;  // button under the last mouse press
    int answer = 0;
    bool focused = false, ever_focused = false;
    bool destroyed = false;  // by someone else: destroying it again would be an X error
    // The program's window may be mapped, raised or made full screen after
    // the box, and may take the focus (a window manager gives it to a new
    // window): the box stays above it and keeps the keyboard while it is up.
    // A window that comes after the box becomes its owner then.
    unsigned long owned_by = owner_window;
    while (answer == 0) {
        XEvent e;
        const Next next = next_event(d, e, box, owned_by ? -1 : owner_look_ms);
        if (next == Next::failed) {
            // Gone, or as good as gone: as for DestroyNotify.
            answer = yes_no ? IDNO : IDOK;
            destroyed = true;
            break;
        }
        if (!owned_by && (owned_by = owner.load()) != 0) {
            XSetTransientForHint(d, w, owned_by);
            if (!another_box_up(w)) XRaiseWindow(d, w);
            XFlush(d);
        }
        if (next == Next::quiet) continue;
        switch (e.type) {
            case VisibilityNotify:
                if (e.xvisibility.state != VisibilityUnobscured && !another_box_up(w)) XRaiseWindow(d, w);
                break;
            case FocusOut:
                // Not for a move of the focus inside the box, nor for a grab.
                if (e.xfocus.detail != NotifyInferior && e.xfocus.mode == NotifyNormal) focused = false;
                if (!focused && !another_box_focused(d, w)) focused = take_focus(d, w);
                break;
            case Expose:
                if (e.xexpose.count != 0) break;
                // The newest box takes the focus from any other as it opens.
                if (!focused && (!ever_focused || !another_box_focused(d, w)) && take_focus(d, w))
                    focused = ever_focused = true;
                XClearWindow(d, w);
                for (size_t i = 0; i < lines.size(); ++i)
                    XDrawString(d, w, gc, margin, margin + ascent + static_cast<int>(i) * line_height,
                                lines[i].data(), static_cast<int>(lines[i].size()));
                for (const Button& b : buttons) {
                    XDrawRectangle(d, w, gc, b.x, b.y, static_cast<unsigned>(b.width - 1),
                                   static_cast<unsigned>(b.height - 1));
                    const int lw = text_width(font, b.label);
                    XDrawString(d, w, gc, b.x + (b.width - lw) / 2, b.y + (b.height - line_height) / 2 + ascent,
                                b.label, static_cast<int>(std::strlen(b.label)));
                }
                break;
            case KeyPress: {
                KeySym key = NoSymbol;
                char ignored[8];
                XLookupString(&e.xkey, ignored, sizeof ignored, &key, nullptr);
                if (key == XK_y || key == XK_Y || key == XK_Return || key == XK_KP_Enter)
                    answer = yes_no ? IDYES : IDOK;
                else if (yes_no && (key == XK_n || key == XK_N))
                    answer = IDNO;
                else if (key == XK_Escape)
                    answer = dismissed;
                break;
            }
            case ButtonPress:
                pressed = -1;
                if (e.xbutton.button != Button1) break;
                for (size_t i = 0; i < buttons.size(); ++i)
                    if (buttons[i].contains(e.xbutton.x, e.xbutton.y)) pressed = static_cast<int>(i);
                break;
            case ButtonRelease:
                if (e.xbutton.button == Button1 && pressed >= 0 &&
                    buttons[static_cast<size_t>(pressed)].contains(e.xbutton.x, e.xbutton.y))
                    answer = buttons[static_cast<size_t>(pressed)].answer;
                pressed = -1;
                break;
            case ClientMessage:
                if (e.xclient.format == 32 && static_cast<Atom>(e.xclient.data.l[0]) == delete_window)
                    answer = dismissed;
                break;
            case DestroyNotify:
                // Nothing can answer it any more.
                if (e.xdestroywindow.window == w) {
                    answer = yes_no ? IDNO : IDOK;
                    destroyed = true;
                }
                break;
            default:
                break;
        }
    }
    XFreeGC(d, gc);
    if (!destroyed) XDestroyWindow(d, w);
    if (own_font)
        XFreeFont(d, font);
    else
        XFreeFontInfo(nullptr, font, 1);
    XSync(d, False);
    return answer;
}
}  // namespace

void set_message_box_hook(MessageBoxHook h) { hook = h; }

BoxXError message_box_x_error(const void* display, unsigned long resource) {
    for (OpenBox& box : open_boxes) {
        if (box.display.load() != display) continue;
        // Once the window has failed, what was made on it (its GC) fails with it.
        if (box.window_failed.load()) return BoxXError::ends_the_box;
        const unsigned long window = box.window.load();
        if (window == 0 || resource != window) return BoxXError::other;
        box.window_failed.store(true);
        return BoxXError::ends_the_box;
    }
    return BoxXError::not_a_box;
}
// Release: the name's bytes are in place before anyone reads the pointer.
void set_x_display_name(const char* name) { display_name.store(name, std::memory_order_release); }
const char* x_display_name() { return display_name.load(std::memory_order_acquire); }

void set_dialog_owner(unsigned long w) { owner = w; }
unsigned long dialog_owner() { return owner; }

int MessageBoxA(unsigned long owner_window, const char* text, const char* title, unsigned flags) {
    if (!text) text = "";
    if (!title) title = "";
    if (MessageBoxHook h = hook.load()) return h(text, title, flags);
    const bool yes_no = (flags & 0xF) == MB_YESNO;
    if (Display* d = XOpenDisplay(x_display_name())) {
        OpenBox* box = register_box(d);
        int answer = run_dialog(d, box, owner_window, text, title, yes_no);
        XCloseDisplay(d);
        if (box) {
            box->window.store(0);  // no longer up: no other box defers to it
            box->display.store(nullptr);
        }
        if (answer > 0) return answer;
    }
    std::fprintf(stderr, "%s\n%s\n", title, text);
    std::fflush(stderr);
    return yes_no ? IDNO : IDOK;
}

}  // namespace platform
