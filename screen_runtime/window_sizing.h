// The window's size and its full-screen steps: what to ask of the window
// library, from what the window reports and which mode the program wants.
// Asks the library nothing itself; the window thread carries out the answers.
#pragma once

#include <functional>
#include <optional>

#include "window_requests.h"

struct PixelSize {
    int width = 0, height = 0;
    bool operator==(const PixelSize&) const = default;
};

// What one event asks of the window library, to be carried out in this order.
struct WindowAsks {
    bool enter_full_screen = false;
    bool leave_full_screen = false;
    std::optional<FullscreenMode> now_in_force;  // the mode the window now shows
    bool redraw = false;
    std::optional<PixelSize> reshape;
};

class WindowSizing {
public:
    // Passes of the display timer after which a resize that never reported
    // counts as done (a window manager may leave the size as it was).
    static constexpr int patience_passes = 30;

    // The window reports its size.
    WindowAsks size_reported(int width, int height);
    // A frame of this size is shown from now on.
    void frame_shown(int width, int height);
    // One pass of the display timer. take_wanted hands over the pending
    // full-screen request, if any; it is asked only when the window can act
    // on one, so until then the request waits where it was made.
    WindowAsks timer_pass(const std::function<bool(FullscreenMode&)>& take_wanted);

    PixelSize window() const { return window_; }
    FullscreenMode shown_mode() const { return shown_; }

private:
    void ask_reshape_to_frame(WindowAsks& asks);

    PixelSize window_{640, 400};
    PixelSize frame_{640, 400};
    bool size_known_ = false;    // the window has reported its first size
    bool frame_known_ = false;   // a frame has been shown
    int pending_passes_ = 0;     // > 0 while a resize asked for has not reported
    bool reshape_owed_ = false;  // back to windowed: reshape on a later pass
    FullscreenMode shown_;
};
