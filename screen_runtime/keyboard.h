// The key queue and the window thread's key-press handling.
#pragma once

#include <atomic>
#include <cstdint>

// Ring of 16 two-byte slots, 15 usable; one producer (the window thread),
// one consumer (poll_key on the program thread).
struct KeyQueue {
    uint8_t slots[16][2] = {};
    std::atomic<uint32_t> head{0};
    std::atomic<uint32_t> tail{0};
};
extern KeyQueue key_queue;

void keyboard_init();  // empties the queue, clears the pause state

// Stores one (character code, scan code) pair; false when the queue is full.
bool key_queue_push(uint8_t character, uint8_t scan);

// Modifier bits the window side passes with every key.
constexpr int KEY_SHIFT = 1;
constexpr int KEY_CTRL = 2;
constexpr int KEY_ALT = 4;

// Key-press handling on the window thread. The GLUT character and special
// key codes as freeglut delivers them, with the modifiers held.
void handle_character_key(unsigned char glut_character, int modifiers);
void handle_special_key(int glut_key, int modifiers);
// Keys that freeglut on X11 does not deliver (Pause, Break, Scroll Lock,
// Num Lock), read from the X event stream as keysyms.
void handle_x11_key(unsigned long keysym, int modifiers);

// What Alt+Enter asks of the window side: step the full-screen mode.
extern void (*on_fullscreen_step)();
