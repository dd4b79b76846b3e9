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

// Modifier bits that come with every key (other bits are ignored). They
// are freeglut's own bits, so the display side hands glutGetModifiers() over
// as it is and checks the match where it includes freeglut; the X path
// translates its event state into them.
constexpr int modifier_shift = 1;
constexpr int modifier_ctrl = 2;
constexpr int modifier_alt = 4;

// The keys the runtime knows by name: those that type no character.
enum class Key {
    f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12,
    home, up, page_up, left, centre, right, end, down, page_down, insert, del,  // the keypad's, or their own
    back_tab,  // Shift+Tab
    pause, break_key, scroll_lock, num_lock, caps_lock,
    shift, ctrl, alt, super,  // a modifier key on its own
    unnamed,   // a key that types nothing and has no name here
};

// Key-press handling, called on the window thread for key presses only
// (never for releases). Each physical press reaches exactly one of the two:
//
// - handle_character_key: a key that types a character, as the window
//   delivers it (already Shift- and Ctrl-modified: Ctrl+A = 1, Enter 13,
//   Esc 27, Backspace 8, Tab 9, Delete 127).
// - handle_key: every other key. Ctrl+Pause may arrive as break_key or as
//   pause with Ctrl held, depending on the keymap.
void handle_character_key(uint8_t character, int modifiers);
void handle_key(Key key, int modifiers);
