// The window thread: the freeglut window, presentation of the frames, the
// hand-over of title and full-screen mode, and the process's X error handlers.
#include <GL/glew.h>
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "display.h"
#include "errors.h"
#include "frame_builder.h"
#include "keyboard.h"
#include "platform/platform.h"
#include "runtime.h"
#include "window_keys.h"
#include "window_requests.h"
#include "window_sizing.h"
#include "x11_keys.h"

std::atomic<bool> window_exists{false};

namespace {
constexpr int timer_interval_ms = 16;
// Passes that draw the page again after the window has been shown.
constexpr int redraw_after_shown_passes = 30;

int window_id = 0;
bool window_gone = false;   // window thread only: no GLUT call on the window after this
WindowSizing sizing;

GLuint texture = 0;
int texture_width = 0, texture_height = 0;  // the frame's size once one is uploaded
bool texture_filled = false;

int redraw_passes = 0;  // > 0 while a window just shown is drawn at every pass

// Another program may destroy the window (XDestroyWindow) at any moment,
// even while glutCreateWindow runs. freeglut says nothing about it, and a
// request of ours that then names the window fails: both are a close. Xlib's
// default handlers end the process from whichever thread noticed, under the
// others: no X error or lost connection ever reaches them.
std::atomic<unsigned long> x_window_id{0};  // 0 while the window is being created
std::atomic<int> glx_error_base{-1};
std::atomic<bool> window_destroyed{false};
// GLX protocol errors that name a drawable, after the extension's base.
constexpr int glx_bad_drawable = 2, glx_bad_current_window = 5, glx_bad_current_drawable = 11, glx_bad_window = 12;

bool names_the_missing_window(const XErrorEvent& error) {
    bool drawable_error = error.error_code == BadWindow || error.error_code == BadDrawable;
    const int base = glx_error_base.load();
    if (base >= 0) {
        const int glx = error.error_code - base;
        drawable_error = drawable_error || glx == glx_bad_drawable || glx == glx_bad_current_window ||
                         glx == glx_bad_current_drawable || glx == glx_bad_window;
    }
    if (!drawable_error) return false;
    // During its creation the new window is the only one the connection
    // names that can go away (the root cannot).
    const unsigned long window = x_window_id.load();
    return window == 0 || error.resourceid == window;
}

// Called by Xlib on whichever thread reads the error, with that connection
// locked: no requests here.
int on_x_error(Display* display, XErrorEvent* error) {
    switch (platform::message_box_x_error(display, error->resourceid)) {
        case platform::BoxXError::ends_the_box:
            return 0;
        case platform::BoxXError::not_a_box:
            if (names_the_missing_window(*error)) {
                window_destroyed.store(true);
                window_closed.store(true);
                return 0;
            }
            break;
        case platform::BoxXError::other:
            break;
    }
    char text[128] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "X error on display %s: %s (request %d.%d, resource 0x%lx)\n", DisplayString(display), text,
                 error->request_code, error->minor_code, error->resourceid);
    return 0;
}

// Not an orderly end: the other threads still run, so no exit handlers and
// no destructors, and no way back into Xlib. Every connection goes at once;
// the first thread to notice speaks, the others wait for the end.
std::atomic<bool> connection_lost{false};
int on_x_connection_lost(Display* display) {
    if (connection_lost.exchange(true))
        for (;;) pause();
    write_stderr("Lost the connection to X display ");
    write_stderr(DisplayString(display));
    write_stderr("\n");
    _exit(1);
}

// Before any thread opens a connection: the handlers are the process's.
void install_x_error_handlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        XSetErrorHandler(on_x_error);
        XSetIOErrorHandler(on_x_connection_lost);
    });
}

// The display freeglut's glutInit opens: the last "-display NAME" of the
// command line, where a "-geometry" takes the word after it as its own;
// null for the environment's.
const char* display_named_by(int argc, char** argv) {
    const char* name = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-display") == 0)
            name = argv[++i];
        else if (std::strcmp(argv[i], "-geometry") == 0)
            ++i;
    }
    return name;
}

// GLX errors are numbered from the extension's base, which the server
// assigns: any connection may ask, before the window library's names a window.
void note_glx_error_base() {
    Display* display = XOpenDisplay(platform::x_display_name());
    if (!display) return;
    int opcode = 0, first_event = 0, first_error = 0;
    if (XQueryExtension(display, "GLX", &opcode, &first_event, &first_error)) glx_error_base.store(first_error);
    XCloseDisplay(display);
}

void upload(const FrameSlot& frame) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (frame.width != texture_width || frame.height != texture_height) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frame.width, frame.height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                     frame.pixels.data());
        texture_width = frame.width;
        texture_height = frame.height;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.width, frame.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                        frame.pixels.data());
    }
    texture_filled = true;
}

void draw() {
    const int window_width = sizing.window().width, window_height = sizing.window().height;
    const FullscreenMode shown_mode = sizing.shown_mode();
    glViewport(0, 0, window_width, window_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, window_width, window_height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!texture_filled) return;

    double x0 = 0, y0 = 0, x1 = window_width, y1 = window_height;
    if (shown_mode.mode == 2) {
        // Square pixels: one scale for both axes, the rest black.
        double scale = std::min(double(window_width) / texture_width, double(window_height) / texture_height);
        double w = texture_width * scale, h = texture_height * scale;
        x0 = (window_width - w) / 2;
        y0 = (window_height - h) / 2;
        x1 = x0 + w;
        y1 = y0 + h;
    }
    GLint filter = shown_mode.smooth ? GL_LINEAR : GL_NEAREST;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_QUADS);
    glTexCoord2d(0, 0);
    glVertex2d(x0, y0);
    glTexCoord2d(1, 0);
    glVertex2d(x1, y0);
    glTexCoord2d(1, 1);
    glVertex2d(x1, y1);
    glTexCoord2d(0, 1);
    glVertex2d(x0, y1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void on_display() {
    if (window_gone || window_destroyed.load()) return;
    draw();
    glutSwapBuffers();
}

void apply_title() {
    std::string title;
    if (take_window_title(title)) glutSetWindowTitle(title.c_str());
}

// The window library does what the sizing asks, in the order it asks.
void carry_out(const WindowAsks& asks) {
    if (asks.enter_full_screen) glutFullScreen();
    if (asks.leave_full_screen) glutLeaveFullScreen();
    if (asks.now_in_force) set_fullscreen_mode_in_force(*asks.now_in_force);
    if (asks.redraw) glutPostRedisplay();
    if (asks.reshape) glutReshapeWindow(asks.reshape->width, asks.reshape->height);
}

void on_close();

// Reads the side connection; false, after closing, when the window has been
// destroyed.
bool window_stands() {
    if (x11_keys_poll() && !window_destroyed.load()) return true;
    on_close();
    return false;
}

void on_timer(int) {
    if (window_gone || !window_stands()) return;
    apply_title();
    if (redraw_passes > 0) {
        --redraw_passes;
        glutPostRedisplay();
    }
    carry_out(sizing.timer_pass(take_fullscreen_request));
    // Drawn again only for a new frame; exposes and resizes come through GLUT.
    if (const FrameSlot* frame = take_newest_frame()) {
        upload(*frame);
        sizing.frame_shown(frame->width, frame->height);
        glutPostRedisplay();
    }
    glutTimerFunc(timer_interval_ms, on_timer, 0);
}

void on_reshape(int width, int height) {
    if (window_gone) return;
    carry_out(sizing.size_reported(width, height));
}

// The side channel's keys go first, so Pause then a key keeps its order.
// glutGetModifiers() is in the runtime's bits already (window_keys.cpp).
void on_keyboard(unsigned char key, int, int) {
    if (window_gone || !window_stands()) return;
    handle_character_key(key, glutGetModifiers());
}

void on_special(int glut_key, int, int) {
    if (window_gone || !window_stands()) return;
    if (std::optional<Key> key = key_of_glut_special(glut_key)) handle_key(*key, glutGetModifiers());
}

// Shown again (mapped, restored, uncovered): the page is drawn at once,
// whether or not it has changed meanwhile. A draw made while the window is
// being mapped may never reach the screen, with no expose after it, so the
// next passes draw it again.
void on_window_status(int status) {
    if (window_gone || status == GLUT_HIDDEN || status == GLUT_FULLY_COVERED) return;
    redraw_passes = redraw_after_shown_passes;
    glutPostRedisplay();
}

void on_mouse(int, int, int, int) {}
void on_motion(int, int) {}
void on_wheel(int, int, int, int) {}

void on_close() {
    window_gone = true;
    window_exists.store(false);
    window_closed.store(true);
    x11_keys_close();
}

// False when the window was destroyed while it was being created.
bool create_window(int& argc, char** argv) {
    glutInit(&argc, argv);
    note_glx_error_base();
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(640, 400);
    glutInitWindowPosition(0, 0);
    std::string title;
    if (!take_window_title(title)) title = "Untitled";
    window_id = glutCreateWindow(title.c_str());

    Display* display = glXGetCurrentDisplay();
    unsigned long x_window = glXGetCurrentDrawable();
    x_window_id.store(x_window);
    // Other connections get the window's id: it must exist on the server first.
    if (display) XSync(display, False);
    if (window_destroyed.load() || !display || !x_window) {
        on_close();
        return false;
    }
    // From here on every connection goes where the window is.
    platform::set_x_display_name(DisplayString(display));
    // Keys first: whoever waits for the dialog owner may press keys at once.
    x11_keys_open(x_window);
    platform::set_dialog_owner(x_window);

    GLenum glew = glewInit();
    if (glew != GLEW_OK)
        platform::MessageBoxA(x_window, reinterpret_cast<const char*>(glewGetErrorString(glew)), "Alert",
                              platform::MB_OK);
    else
        framebuffer_objects_supported.store(glewIsSupported("GL_EXT_framebuffer_object"));

    glGenTextures(1, &texture);
    glDisable(GL_DEPTH_TEST);

    glutDisplayFunc(on_display);
    glutReshapeFunc(on_reshape);
    glutKeyboardFunc(on_keyboard);
    glutSpecialFunc(on_special);
    glutMouseFunc(on_mouse);
    glutMotionFunc(on_motion);
    glutPassiveMotionFunc(on_motion);
    glutMouseWheelFunc(on_wheel);
    glutCloseFunc(on_close);
    glutWindowStatusFunc(on_window_status);
    glutTimerFunc(timer_interval_ms, on_timer, 0);
    window_exists.store(true);
    return true;
}
}  // namespace

void prepare_x_connections(int argc, char** argv) {
    // Dialogs may open their own X connection on the program thread.
    XInitThreads();
    install_x_error_handlers();
    // A box may open before the window does: it goes where the window will.
    platform::set_x_display_name(display_named_by(argc, argv));
}

void run_window_thread(int argc, char** argv) {
    install_x_error_handlers();
    window_thread_started.store(true);
    if (create_window(argc, argv)) glutMainLoop();
    // The window is gone; the main-loop thread ends the process.
    window_closed.store(true);
    for (;;) platform::Sleep(1000);
}
