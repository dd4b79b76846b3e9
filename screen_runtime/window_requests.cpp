// Placeholder hand-over of title and full-screen mode.
#include "window_requests.h"

bool take_window_title(std::string&) { return false; }
std::string current_window_title() { return "Untitled"; }
bool take_fullscreen_request(FullscreenMode&) { return false; }
FullscreenMode fullscreen_mode_in_force() { return {}; }
void set_fullscreen_mode_in_force(FullscreenMode) {}
void window_requests_init() {}

#include "screen_runtime.h"
int32_t set_window_title(TextString*) { return 0; }
void set_fullscreen_mode(int32_t, int32_t) {}
