// Key queue, key tables, pause and close keys and poll_key.
#include "keyboard.h"

#include <array>

#include "pages.h"
#include "platform/platform.h"
#include "screen_runtime.h"
#include "window_requests.h"

KeyQueue key_queue;
// The pause: set and ended by keys here, held in check_statement_events.
std::atomic<uint8_t> suspend_program{0};

void keyboard_init() {
    key_queue.head.store(0, std::memory_order_relaxed);
    key_queue.tail.store(0, std::memory_order_relaxed);
    suspend_program.store(0, std::memory_order_relaxed);
}

bool key_queue_push(uint8_t character, uint8_t scan) {
    uint32_t tail = key_queue.tail.load(std::memory_order_relaxed);
    uint32_t next = (tail + 1) & 15;
    // Acquire: the consumer has finished reading the slot it released.
    if (next == key_queue.head.load(std::memory_order_acquire)) return false;
    key_queue.slots[tail][0] = character;
    key_queue.slots[tail][1] = scan;
    key_queue.tail.store(next, std::memory_order_release);
    return true;
}

namespace {

enum class Action {
    ignore,      // modifier or lock key alone: not a key press as far as the program is concerned
    nothing,     // a key press the tables give no pair for
    store,       // a (character, scan) pair for the queue
    pause,       // Pause, Ctrl+Num Lock
    close,       // Alt+F4, Ctrl+Break, Ctrl+Scroll Lock
    fullscreen,  // Alt+Enter
};

struct Press {
    Action action = Action::nothing;
    uint8_t character = 0;
    uint8_t scan = 0;
};

constexpr Press pair(uint8_t character, uint8_t scan) { return {Action::store, character, scan}; }
constexpr Press extended(uint8_t scan) { return {Action::store, 0, scan}; }
constexpr Press only(Action action) { return {action, 0, 0}; }

// Scan codes (set 1, US layout) of the character keys, by the character
// they type, shifted or not.
constexpr std::array<uint8_t, 128> make_scan_table() {
    std::array<uint8_t, 128> t{};
    auto row = [&t](const char* keys, uint8_t first) {
        for (; *keys; ++keys) t[static_cast<uint8_t>(*keys)] = first++;
    };
    row("1234567890-=", 2);
    row("!@#$%^&*()_+", 2);
    row("qwertyuiop[]", 16);
    row("QWERTYUIOP{}", 16);
    row("asdfghjkl;'`", 30);
    row("ASDFGHJKL:\"~", 30);
    row("zxcvbnm,./", 44);
    row("ZXCVBNM<>?", 44);
    t['\\'] = t['|'] = 43;
    t[' '] = 57;
    t[27] = 1;
    t[8] = 14;
    t[9] = 15;
    t[13] = 28;
    return t;
}
constexpr std::array<uint8_t, 128> scan_of = make_scan_table();

bool is_letter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The window hands over the character the key typed, so Ctrl has already
// folded letters into 1..26 and Backspace, Tab, Enter and Esc keep their
// codes under Ctrl. Where the two meet (Ctrl+H or Ctrl+Backspace), the
// letter wins.
Press translate_character(uint8_t c, int modifiers) {
    const bool ctrl = modifiers & modifier_ctrl;
    const bool alt = modifiers & modifier_alt;
    const uint8_t scan = c < 128 ? scan_of[c] : 0;
    if (alt && c == 13) return only(Action::fullscreen);
    if (alt) {
        if (ctrl) return {};
        if (is_letter(c)) return extended(scan);
        if (scan >= 2 && scan <= 13) return extended(static_cast<uint8_t>(scan + 118));  // Alt+1 .. Alt+=
        switch (c) {
            case 8: return extended(14);
            case 9: return extended(165);
            case 27: return extended(1);
            case 127: return extended(163);
            case ' ': return pair(' ', 57);
        }
        switch (scan) {
            case 26: case 27: case 39: case 40: case 41: case 43: case 51: case 52: case 53:
                return extended(scan);
        }
        return {};
    }
    if (ctrl) {
        if (c >= 1 && c <= 26) return pair(c, scan_of['a' + c - 1]);
        switch (c) {
            case 0: return extended(3);  // Ctrl+2
            case 27: return pair(27, 26);
            case 28: return pair(28, 43);
            case 29: return pair(29, 27);
            case 30: return pair(30, 7);
            case 31: case '-': return pair(31, 12);
            case 127: return extended(147);
        }
        return {};
    }
    if (c == 127) return extended(83);
    return pair(c, scan);
}

struct NamedKey {
    Key key;
    uint8_t plain, shift, ctrl, alt;  // extended scan codes; 0: no pair
};
constexpr NamedKey named_keys[] = {
    {Key::f1, 59, 84, 94, 104},       {Key::f2, 60, 85, 95, 105},
    {Key::f3, 61, 86, 96, 106},       {Key::f4, 62, 87, 97, 107},
    {Key::f5, 63, 88, 98, 108},       {Key::f6, 64, 89, 99, 109},
    {Key::f7, 65, 90, 100, 110},      {Key::f8, 66, 91, 101, 111},
    {Key::f9, 67, 92, 102, 112},      {Key::f10, 68, 93, 103, 113},
    {Key::f11, 133, 135, 137, 139},   {Key::f12, 134, 136, 138, 140},
    {Key::home, 71, 71, 119, 151},    {Key::up, 72, 72, 141, 152},
    {Key::page_up, 73, 73, 132, 153}, {Key::left, 75, 75, 115, 155},
    {Key::centre, 76, 76, 143, 0},    {Key::right, 77, 77, 116, 157},
    {Key::end, 79, 79, 117, 159},     {Key::down, 80, 80, 145, 160},
    {Key::page_down, 81, 81, 118, 161}, {Key::insert, 82, 82, 146, 162},
    {Key::del, 83, 83, 147, 163},
};

Press translate_named(Key key, int modifiers) {
    const bool ctrl = modifiers & modifier_ctrl;
    switch (key) {
        case Key::shift: case Key::ctrl: case Key::alt: case Key::super:
        case Key::caps_lock:
            return only(Action::ignore);
        case Key::num_lock: return only(ctrl ? Action::pause : Action::ignore);
        case Key::scroll_lock: return only(ctrl ? Action::close : Action::ignore);
        case Key::pause: return only(ctrl ? Action::close : Action::pause);
        case Key::break_key: return only(Action::close);
        case Key::back_tab: return (modifiers & (modifier_ctrl | modifier_alt)) ? Press{} : extended(15);
        default: break;
    }
    if (key == Key::f4 && (modifiers & modifier_alt)) return only(Action::close);
    for (const NamedKey& k : named_keys) {
        if (k.key != key) continue;
        uint8_t scan = (modifiers & modifier_alt)     ? k.alt
                       : (modifiers & modifier_ctrl)  ? k.ctrl
                       : (modifiers & modifier_shift) ? k.shift
                                                 : k.plain;
        return scan ? extended(scan) : Press{};
    }
    return {};
}

// Only the window thread writes suspend_program, so a plain read-modify-
// write is enough.
void act(const Press& p) {
    switch (p.action) {
        case Action::ignore:
            return;
        case Action::pause:
            suspend_program.store(suspend_program.load(std::memory_order_relaxed) | 1, std::memory_order_relaxed);
            event_pending.exchange(1, std::memory_order_release);
            return;
        case Action::close:
            close_program.store(1, std::memory_order_relaxed);
            return;
        default:
            break;
    }
    uint8_t suspended = suspend_program.load(std::memory_order_relaxed);
    if (suspended & 1) {
        // The key that ends a pause is taken by the pause.
        suspend_program.store(suspended & ~1, std::memory_order_relaxed);
        return;
    }
    if (p.action == Action::fullscreen) {
        step_fullscreen_mode();
    } else if (p.action == Action::store) {
        key_queue_push(p.character, p.scan);
    }
}

}  // namespace

void handle_character_key(uint8_t character, int modifiers) { act(translate_character(character, modifiers)); }

void handle_key(Key key, int modifiers) { act(translate_named(key, modifiers)); }

TextString* poll_key() {
    if (error_pending()) return new_text_string(0, true);
    platform::Sleep(0);
    uint32_t head = key_queue.head.load(std::memory_order_relaxed);
    // Acquire: the producer's writes to the slot are visible.
    if (head == key_queue.tail.load(std::memory_order_acquire)) return new_text_string(0, true);
    uint8_t character = key_queue.slots[head][0];
    uint8_t scan = key_queue.slots[head][1];
    key_queue.head.store((head + 1) & 15, std::memory_order_release);
    TextString* key;
    if (character != 0) {
        key = new_text_string(1, true);
        key->data[0] = character;
    } else if (scan != 0) {
        key = new_text_string(2, true);
        key->data[0] = 0;
        key->data[1] = scan;
    } else {
        key = new_text_string(1, true);
        key->data[0] = 0;
    }
    return key;
}

// Beside poll_key: the closing prompt's polls are the runtime's own, not
// calls the routine makes.
bool take_key() {
    uint32_t mark = temp_string_count();
    bool taken = poll_key()->length != 0;
    release_temp_strings(mark, 0);
    return taken;
}
