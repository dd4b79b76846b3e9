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

// The box's measures, in pixels.
constexpr int margin = 16;             // around the text, and between the text and the buttons
constexpr int button_gap = 12;         // between two buttons
constexpr int button_min_width = 72;
constexpr int button_padding_x = 24;   // beside the widest label, both sides together
constexpr int button_padding_y = 12;   // above and below a label, together
constexpr int content_min_width = 200; // text or buttons, whichever is wider

// "fixed", else the font of the default GC, which is only queried.
struct BoxFont {
    XFontStruct* font = nullptr;
    bool loaded = false;  // freed as a font, else only its information
};

BoxFont load_font(Display* d) {
    BoxFont f;
    f.font = XLoadQueryFont(d, "fixed");
    f.loaded = f.font != nullptr;
    if (!f.font) f.font = XQueryFont(d, XGContextFromGC(DefaultGC(d, DefaultScreen(d))));
    return f;
}

void free_font(Display* d, const BoxFont& f) {
    if (f.loaded)
        XFreeFont(d, f.font);
    else
        XFreeFontInfo(nullptr, f.font, 1);
}

// Where the text and the buttons go, in the box's own coordinates.
struct Layout {
    std::vector<std::string> lines;
    std::vector<Button> buttons;
    int ascent = 0, line_height = 0;
    int width = 0, height = 0;
};

Layout lay_out(XFontStruct* font, const char* text, bool yes_no) {
    Layout l;
    l.ascent = font->ascent;
    l.line_height = font->ascent + font->descent;
    l.lines = split_lines(text);
    if (yes_no)
        l.buttons = {{"Yes", IDYES, 0, 0, 0, 0}, {"No", IDNO, 0, 0, 0, 0}};
    else
        l.buttons = {{"OK", IDOK, 0, 0, 0, 0}};

    int text_w = 0;
    for (const std::string& line : l.lines) text_w = std::max(text_w, text_width(font, line));
    // All buttons are one size, that of the widest label.
    const int button_w = std::max(button_min_width, text_width(font, "Yes") + button_padding_x);
    const int button_h = l.line_height + button_padding_y;
    const int count = static_cast<int>(l.buttons.size());
    const int buttons_w = count * button_w + (count - 1) * button_gap;
    l.width = std::max({text_w, buttons_w, content_min_width}) + 2 * margin;
    const int text_h = static_cast<int>(l.lines.size()) * l.line_height;
    l.height = margin + text_h + margin + button_h + margin;
    // One row, centred, a margin above the bottom edge.
    int bx = (l.width - buttons_w) / 2;
    for (Button& b : l.buttons) {
        b.x = bx;
        b.y = l.height - margin - button_h;
        b.width = button_w;
        b.height = button_h;
        bx += button_w + button_gap;
    }
    return l;
}

struct BoxWindow {
    Window window = 0;
    GC gc = nullptr;
    Atom delete_window = None;
};

// The box's window, centred on the screen, described to the window manager
// as a modal dialog of a fixed size, and mapped.
BoxWindow create_window(Display* d, OpenBox* box, unsigned long owner_window, const char* title, const Layout& l,
                        XFontStruct* font) {
    const int screen = DefaultScreen(d);
    const int x = (DisplayWidth(d, screen) - l.width) / 2, y = (DisplayHeight(d, screen) - l.height) / 2;
    const unsigned long black = BlackPixel(d, screen), white = WhitePixel(d, screen);
    const Window w = XCreateSimpleWindow(d, RootWindow(d, screen), std::max(0, x), std::max(0, y),
                                         static_cast<unsigned>(l.width), static_cast<unsigned>(l.height), 1, black,
                                         white);
    BoxWindow bw;
    bw.window = w;
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
        size->min_width = size->max_width = l.width;
        size->min_height = size->max_height = l.height;
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
    bw.delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &bw.delete_window, 1);

    bw.gc = XCreateGC(d, w, 0, nullptr);
    XSetFont(d, bw.gc, font->fid);
    XSetForeground(d, bw.gc, black);
    XSetBackground(d, bw.gc, white);
    XMapRaised(d, w);
    return bw;
}

void draw(Display* d, const BoxWindow& bw, const Layout& l, XFontStruct* font) {
    const Window w = bw.window;
    XClearWindow(d, w);
    for (size_t i = 0; i < l.lines.size(); ++i)
        XDrawString(d, w, bw.gc, margin, margin + l.ascent + static_cast<int>(i) * l.line_height, l.lines[i].data(),
                    static_cast<int>(l.lines[i].size()));
    for (const Button& b : l.buttons) {
        XDrawRectangle(d, w, bw.gc, b.x, b.y, static_cast<unsigned>(b.width - 1), static_cast<unsigned>(b.height - 1));
        const int lw = text_width(font, b.label);
        XDrawString(d, w, bw.gc, b.x + (b.width - lw) / 2, b.y + (b.height - l.line_height) / 2 + l.ascent, b.label,
                    static_cast<int>(std::strlen(b.label)));
    }
}

// A Yes/No box has no Cancel: Escape and the close button leave it up,
// since No ends the program. An OK box closes with either.
int dismissed_answer(bool yes_no) { return yes_no ? 0 : IDOK; }
// The answer of a box that nothing can answer any more.
int gone_answer(bool yes_no) { return yes_no ? IDNO : IDOK; }

// The answer a key gives, 0 for none.
int key_answer(XKeyEvent* event, bool yes_no) {
    KeySym key = NoSymbol;
    char ignored[8];
    XLookupString(event, ignored, sizeof ignored, &key, nullptr);
    if (key == XK_y || key == XK_Y || key == XK_Return || key == XK_KP_Enter) return yes_no ? IDYES : IDOK;
    if (yes_no && (key == XK_n || key == XK_N)) return IDNO;
    if (key == XK_Escape) return dismissed_answer(yes_no);
    return 0;
}

struct Ending {
    int answer = 0;
    bool destroyed = false;  // by someone else: destroying it again would be an X error
};

// Until the box is answered, or gone.
Ending run_events(Display* d, OpenBox* box, const BoxWindow& bw, const Layout& l, XFontStruct* font,
                  unsigned long owner_window, bool yes_no) {
    const Window w = bw.window;
    Ending end;
    int pressed = -1;  // button under the last mouse press
    bool focused = false, ever_focused = false;
    // The program's window may be mapped, raised or made full screen after
    // the box, and may take the focus (a window manager gives it to a new
    // window): the box stays above it and keeps the keyboard while it is up.
    // A window that comes after the box becomes its owner then.
    unsigned long owned_by = owner_window;
    while (end.answer == 0) {
        XEvent e;
        const Next next = next_event(d, e, box, owned_by ? -1 : owner_look_ms);
        if (next == Next::failed) {
            // Gone, or as good as gone: as for DestroyNotify.
            end.answer = gone_answer(yes_no);
            end.destroyed = true;
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
                draw(d, bw, l, font);
                break;
            case KeyPress:
                end.answer = key_answer(&e.xkey, yes_no);
                break;
            case ButtonPress:
                pressed = -1;
                if (e.xbutton.button != Button1) break;
                for (size_t i = 0; i < l.buttons.size(); ++i)
                    if (l.buttons[i].contains(e.xbutton.x, e.xbutton.y)) pressed = static_cast<int>(i);
                break;
            case ButtonRelease:
                if (e.xbutton.button == Button1 && pressed >= 0 &&
                    l.buttons[static_cast<size_t>(pressed)].contains(e.xbutton.x, e.xbutton.y))
                    end.answer = l.buttons[static_cast<size_t>(pressed)].answer;
                pressed = -1;
                break;
            case ClientMessage:
                if (e.xclient.format == 32 && static_cast<Atom>(e.xclient.data.l[0]) == bw.delete_window)
                    end.answer = dismissed_answer(yes_no);
                break;
            case DestroyNotify:
                if (e.xdestroywindow.window == w) {
                    end.answer = gone_answer(yes_no);
                    end.destroyed = true;
                }
                break;
            default:
                break;
        }
    }
    return end;
}

void tear_down(Display* d, const BoxWindow& bw, bool destroyed, const BoxFont& font) {
    XFreeGC(d, bw.gc);
    if (!destroyed) XDestroyWindow(d, bw.window);
    free_font(d, font);
    XSync(d, False);
}

// The box's answer; -1 when it could not be shown.
int run_dialog(Display* d, OpenBox* box, unsigned long owner_window, const char* text, const char* title,
               bool yes_no) {
    const BoxFont font = load_font(d);
    if (!font.font) return -1;
    const Layout layout = lay_out(font.font, text, yes_no);
    const BoxWindow window = create_window(d, box, owner_window, title, layout, font.font);
    const Ending end = run_events(d, box, window, layout, font.font, owner_window, yes_no);
    tear_down(d, window, end.destroyed, font);
    return end.answer;
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
