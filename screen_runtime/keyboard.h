// The key queue and the window thread's key-press handling.
#pragma once

#include <atomic>
#include <cstdint>

// Ring of 16 two-byte slots (character code, scan code), 15 usable.
// Single producer (the window thread, through key_queue_push) and single
// consumer (poll_key on the program thread): the producer writes a slot and
// then publishes it with a release store of `tail`; the consumer reads the
// slot and then frees it with a release store of `head`. No lock.
struct KeyQueue {
    uint8_t slots[16][2] = {};
    std::atomic<uint32_t> head{0};
    std::atomic<uint32_t> tail{0};
};
extern KeyQueue key_queue;

void keyboard_init();  // empties the queue, clears the pause state

// One poll as a statement of its own (program thread): true when a key was taken.
bool take_key();

// Stores one (character code, scan code) pair; false (the key is dropped)
// when 15 are already held. Producer side only.
bool key_queue_push(uint8_t character, uint8_t scan);

// Modifier bits the window side passes with every key; they equal
// GLUT_ACTIVE_SHIFT/CTRL/ALT, so glutGetModifiers() can be passed as it is
// (other bits are ignored).
constexpr int KEY_SHIFT = 1;
constexpr int KEY_CTRL = 2;
constexpr int KEY_ALT = 4;

// Key-press handling, called on the window thread for key presses only
// (never for releases). Each physical press must reach exactly one of the
// three entry points:
//
// - handle_character_key: every glutKeyboardFunc call, with the character as
//   freeglut delivers it (already Shift- and Ctrl-modified: Ctrl+A = 1,
//   Enter 13, Esc 27, Backspace 8, Tab 9, Delete 127).
// - handle_special_key: every glutSpecialFunc call. Ignores GLUT_KEY_NUM_LOCK
//   (the X path owns Num Lock) and the modifier keys freeglut reports as
//   special keys (GLUT_KEY_SHIFT_L ... GLUT_KEY_SUPER_R).
// - handle_x11_key: every KeyPress seen on the display side's second X
//   connection, keysym looked up with the event's modifiers (so Ctrl+Pause
//   may arrive as XK_Break), modifiers from the event state (ShiftMask -> KEY_SHIFT, ControlMask -> KEY_CTRL,
//   Mod1Mask -> KEY_ALT). It acts only on the keys freeglut does not deliver
//   on X11 — XK_Pause, XK_Break, XK_Scroll_Lock, Shift+XK_Tab (which X
//   turns into ISO_Left_Tab) — and on Ctrl+XK_Num_Lock; every other keysym
//   is ignored, since freeglut delivers it.
void handle_character_key(unsigned char glut_character, int modifiers);
void handle_special_key(int glut_key, int modifiers);
void handle_x11_key(unsigned long keysym, int modifiers);

// What Alt+Enter asks of the window side: step the full-screen mode.
// Set by the display side before its event loop runs; called on the
// window thread from the handlers above.
extern void (*on_fullscreen_step)();
