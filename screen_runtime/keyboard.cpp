// Key queue, key tables, pause and close keys and poll_key.
#include "keyboard.h"

#include <GL/freeglut.h>
#include <X11/keysym.h>

#include <array>

#include "pages.h"
#include "platform/platform.h"
#include "screen_runtime.h"

static_assert(KEY_SHIFT == GLUT_ACTIVE_SHIFT && KEY_CTRL == GLUT_ACTIVE_CTRL && KEY_ALT == GLUT_ACTIVE_ALT);

KeyQueue key_queue;
void (*on_fullscreen_step)() = nullptr;

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

// freeglut hands over the character X made of the key, so Ctrl has already
// folded letters into 1..26 and Backspace, Tab, Enter and Esc keep their
// codes under Ctrl. Where the two meet (Ctrl+H or Ctrl+Backspace), the
// letter wins.
Press translate_character(uint8_t c, int modifiers) {
    const bool ctrl = modifiers & KEY_CTRL;
    const bool alt = modifiers & KEY_ALT;
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

struct SpecialKey {
    int key;
    uint8_t plain, shift, ctrl, alt;  // extended scan codes; 0: no pair
};
constexpr SpecialKey special_keys[] = {
    {GLUT_KEY_F1, 59, 84, 94, 104},       {GLUT_KEY_F2, 60, 85, 95, 105},
    {GLUT_KEY_F3, 61, 86, 96, 106},       {GLUT_KEY_F4, 62, 87, 97, 107},
    {GLUT_KEY_F5, 63, 88, 98, 108},       {GLUT_KEY_F6, 64, 89, 99, 109},
    {GLUT_KEY_F7, 65, 90, 100, 110},      {GLUT_KEY_F8, 66, 91, 101, 111},
    {GLUT_KEY_F9, 67, 92, 102, 112},      {GLUT_KEY_F10, 68, 93, 103, 113},
    {GLUT_KEY_F11, 133, 135, 137, 139},   {GLUT_KEY_F12, 134, 136, 138, 140},
    {GLUT_KEY_HOME, 71, 71, 119, 151},    {GLUT_KEY_UP, 72, 72, 141, 152},
    {GLUT_KEY_PAGE_UP, 73, 73, 132, 153}, {GLUT_KEY_LEFT, 75, 75, 115, 155},
    {GLUT_KEY_BEGIN, 76, 76, 143, 0},     {GLUT_KEY_RIGHT, 77, 77, 116, 157},
    {GLUT_KEY_END, 79, 79, 117, 159},     {GLUT_KEY_DOWN, 80, 80, 145, 160},
    {GLUT_KEY_PAGE_DOWN, 81, 81, 118, 161}, {GLUT_KEY_INSERT, 82, 82, 146, 162},
    {GLUT_KEY_DELETE, 83, 83, 147, 163},
};

Press translate_special(int key, int modifiers) {
    switch (key) {
        case GLUT_KEY_NUM_LOCK:
        case GLUT_KEY_SHIFT_L: case GLUT_KEY_SHIFT_R:
        case GLUT_KEY_CTRL_L: case GLUT_KEY_CTRL_R:
        case GLUT_KEY_ALT_L: case GLUT_KEY_ALT_R:
        case GLUT_KEY_SUPER_L: case GLUT_KEY_SUPER_R:
            return only(Action::ignore);
    }
    if (key == GLUT_KEY_F4 && (modifiers & KEY_ALT)) return only(Action::close);
    for (const SpecialKey& k : special_keys) {
        if (k.key != key) continue;
        uint8_t scan = (modifiers & KEY_ALT)     ? k.alt
                       : (modifiers & KEY_CTRL)  ? k.ctrl
                       : (modifiers & KEY_SHIFT) ? k.shift
                                                 : k.plain;
        return scan ? extended(scan) : Press{};
    }
    return {};
}

// Break is Ctrl+Pause on a PC keyboard: it may come as XK_Break, or as
// Pause with Ctrl held, depending on the keymap. Shift+Tab becomes ISO_Left_Tab, which
// freeglut drops, so it is taken here too.
Press translate_x11(unsigned long keysym, int modifiers) {
    const bool ctrl = modifiers & KEY_CTRL;
    const bool shifted_tab = keysym == XK_ISO_Left_Tab || (keysym == XK_Tab && (modifiers & KEY_SHIFT));
    if (shifted_tab) return (modifiers & (KEY_CTRL | KEY_ALT)) ? Press{} : extended(15);
    switch (keysym) {
        case XK_Pause: return only(ctrl ? Action::close : Action::pause);
        case XK_Break: return only(Action::close);
        case XK_Scroll_Lock: return only(ctrl ? Action::close : Action::ignore);
        case XK_Num_Lock: return only(ctrl ? Action::pause : Action::ignore);
    }
    return only(Action::ignore);
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
        if (on_fullscreen_step) on_fullscreen_step();
    } else if (p.action == Action::store) {
        key_queue_push(p.character, p.scan);
    }
}

}  // namespace

void handle_character_key(unsigned char glut_character, int modifiers) {
    act(translate_character(glut_character, modifiers));
}

void handle_special_key(int glut_key, int modifiers) { act(translate_special(glut_key, modifiers)); }

void handle_x11_key(unsigned long keysym, int modifiers) { act(translate_x11(keysym, modifiers)); }

TextString* poll_key() {
    if (pending_error.load(std::memory_order_relaxed) != 0) return new_text_string(0, true);
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
