// Hand-over of the window title and the full-screen mode from the program
// thread to the window thread, which alone makes GLUT calls.
#include "window_requests.h"

#include <mutex>

#include "screen_runtime.h"

namespace {
std::mutex requests_mutex;
std::string title;
bool title_set = false;
uint64_t title_version = 0;
uint64_t title_version_taken = 0;
FullscreenMode mode_in_force;
FullscreenMode mode_requested;
bool mode_pending = false;
}  // namespace

void window_requests_init() {
    std::lock_guard lock(requests_mutex);
    title.clear();
    title_set = false;
    title_version = title_version_taken = 0;
    mode_in_force = {};
    mode_requested = {};
    mode_pending = false;
}

bool take_window_title(std::string& out) {
    std::lock_guard lock(requests_mutex);
    if (title_version == title_version_taken) return false;
    title_version_taken = title_version;
    out = title;
    return true;
}

std::string current_window_title() {
    std::lock_guard lock(requests_mutex);
    return title_set ? title : std::string("Untitled");
}

bool take_fullscreen_request(FullscreenMode& mode) {
    std::lock_guard lock(requests_mutex);
    if (!mode_pending) return false;
    mode_pending = false;
    mode = mode_requested;
    return true;
}

FullscreenMode fullscreen_mode_in_force() {
    std::lock_guard lock(requests_mutex);
    return mode_in_force;
}

void set_fullscreen_mode_in_force(FullscreenMode mode) {
    std::lock_guard lock(requests_mutex);
    mode_in_force = mode;
}

void request_fullscreen_mode(FullscreenMode mode) {
    std::lock_guard lock(requests_mutex);
    mode_pending = !(mode == mode_in_force);
    mode_requested = mode;
}

FullscreenMode latest_fullscreen_mode() {
    std::lock_guard lock(requests_mutex);
    return mode_pending ? mode_requested : mode_in_force;
}

FullscreenMode next_fullscreen_step(FullscreenMode mode) {
    if (mode.mode == 0) return {1, false};
    if (!mode.smooth) return {mode.mode, true};
    if (mode.mode == 1) return {2, false};
    return {0, false};
}

void step_fullscreen_mode() {
    std::lock_guard lock(requests_mutex);
    FullscreenMode next = next_fullscreen_step(mode_pending ? mode_requested : mode_in_force);
    mode_pending = !(next == mode_in_force);
    mode_requested = next;
}

int32_t set_window_title(TextString* text) {
    if (error_pending()) return 0;
    std::string copy;
    if (text && text->data && text->length > 0)
        copy.assign(reinterpret_cast<const char*>(text->data), static_cast<size_t>(text->length));
    // The window shows a C string: the title ends at its first zero byte.
    copy.resize(copy.find('\0') == std::string::npos ? copy.size() : copy.find('\0'));
    std::lock_guard lock(requests_mutex);
    title = std::move(copy);
    title_set = true;
    ++title_version;
    return 0;
}

namespace fullscreen_given {
constexpr int32_t smooth = 1;
}  // namespace fullscreen_given

void set_fullscreen_mode(int32_t option, int32_t passed) {
    FullscreenMode mode;
    switch (option) {
        case 0:
        case 2: mode.mode = 1; break;
        case 1: mode.mode = 0; break;
        case 3: mode.mode = 2; break;
        default: return;
    }
    mode.smooth = (passed & fullscreen_given::smooth) != 0;
    request_fullscreen_mode(mode);
}
