// Frames: the display page turned into 32-bit pixels on the main-loop
// thread, handed to the window thread through three slots.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "pages.h"

enum class FrameState : int { free = 0, writing = 1, ready = 2, on_screen = 3 };

struct FrameSlot {
    std::atomic<FrameState> state{FrameState::free};
    std::atomic<uint64_t> sequence{0};  // read by both threads
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top to bottom
};

// Forgets every frame and the copy of the last page built.
void frame_builder_init();

// One pass of the frame builder: grants a requested display_lock, then,
// while the lock is free, copies the display page and builds a frame from
// the copy when it differs from what the newest frame was built from.
// Returns true when it built one.
bool frame_builder_pass();

// Window thread: the newest ready frame, now on screen (the one on screen
// before is released), or null when nothing new is ready.
const FrameSlot* take_newest_frame();
