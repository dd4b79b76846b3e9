// Placeholder keyboard.
#include "keyboard.h"
#include "screen_runtime.h"

KeyQueue key_queue;
void (*on_fullscreen_step)() = nullptr;

void keyboard_init() {
    key_queue.head = 0;
    key_queue.tail = 0;
}

bool key_queue_push(uint8_t character, uint8_t scan) {
    uint32_t tail = key_queue.tail.load(std::memory_order_relaxed);
    uint32_t next = (tail + 1) & 15;
    if (next == key_queue.head.load(std::memory_order_acquire)) return false;
    key_queue.slots[tail][0] = character;
    key_queue.slots[tail][1] = scan;
    key_queue.tail.store(next, std::memory_order_release);
    return true;
}

void handle_character_key(unsigned char, int) {}
void handle_special_key(int, int) {}
void handle_x11_key(unsigned long, int) {}

TextString* poll_key() { return new_text_string(0, true); }

void end_program() { halt_program_thread(); }
