#include "window_sizing.h"

WindowAsks WindowSizing::size_reported(int width, int height) {
    window_ = {width > 0 ? width : 1, height > 0 ? height : 1};
    size_known_ = true;
    pending_passes_ = 0;
    WindowAsks asks;
    asks.redraw = true;
    return asks;
}

void WindowSizing::frame_shown(int width, int height) {
    frame_ = {width, height};
    frame_known_ = true;
}

void WindowSizing::ask_reshape_to_frame(WindowAsks& asks) {
    asks.reshape = frame_;
    pending_passes_ = patience_passes;
}

WindowAsks WindowSizing::timer_pass(const std::function<bool(FullscreenMode&)>& take_wanted) {
    WindowAsks asks;
    // One request at a time, and full screen needs the window's first size.
    if (pending_passes_ > 0 && --pending_passes_ > 0) return asks;
    if (!size_known_) return asks;
    // Back to windowed: the frame's size is asked for only once the leave
    // has reported its size, or the patience has run out.
    if (reshape_owed_) {
        reshape_owed_ = false;
        ask_reshape_to_frame(asks);
        return asks;
    }
    FullscreenMode wanted;
    if (take_wanted(wanted)) {
        if (shown_.mode == 0 && wanted.mode != 0) {
            asks.enter_full_screen = true;
            pending_passes_ = patience_passes;
        } else if (shown_.mode != 0 && wanted.mode == 0) {
            asks.leave_full_screen = true;
            reshape_owed_ = true;
            pending_passes_ = patience_passes;
        }
        shown_ = wanted;
        asks.now_in_force = wanted;
        asks.redraw = true;
    }
    // Windowed, the window follows the frame's size (640 x 400 text, 640 x 480 graphics).
    if (shown_.mode == 0 && pending_passes_ == 0 && frame_known_ && !(window_ == frame_))
        ask_reshape_to_frame(asks);
    return asks;
}
