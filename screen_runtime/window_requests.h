// Values the program thread hands to the window thread: title and full-screen mode.
#pragma once

#include <cstdint>
#include <string>

// Full-screen modes: 0 windowed, 1 stretched, 2 square pixels; smoothing apart.
struct FullscreenMode {
    int32_t mode = 0;
    bool smooth = false;
    bool operator==(const FullscreenMode&) const = default;
};

// The window thread takes a title set since its last take (false: nothing new).
bool take_window_title(std::string& title);
std::string current_window_title();  // "Untitled" when none is set
// The window thread takes a pending full-screen request.
bool take_fullscreen_request(FullscreenMode& mode);
FullscreenMode fullscreen_mode_in_force();
void set_fullscreen_mode_in_force(FullscreenMode mode);  // window thread
// Records a request unless it is the mode in force; a request for the mode
// in force drops one still pending, so the last request made always wins.
void request_fullscreen_mode(FullscreenMode mode);
// The pending request, else the mode in force.
FullscreenMode latest_fullscreen_mode();
// Alt+Enter: off, stretched, stretched smoothed, square, square smoothed, off.
FullscreenMode next_fullscreen_step(FullscreenMode mode);
void step_fullscreen_mode();
void window_requests_init();
