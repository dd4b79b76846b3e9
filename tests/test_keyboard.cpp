#include <GL/freeglut.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "keyboard.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

using Pair = std::pair<int, int>;

// Takes the head entry straight from the ring, scan code included.
std::optional<Pair> take_raw() {
    uint32_t head = key_queue.head.load();
    if (head == key_queue.tail.load()) return std::nullopt;
    Pair p{key_queue.slots[head][0], key_queue.slots[head][1]};
    key_queue.head.store((head + 1) & 15);
    return p;
}

std::string poll_bytes() {
    TextString* t = poll_key();
    EXPECT_TRUE(t->temporary);
    std::string s(reinterpret_cast<char*>(t->data), static_cast<size_t>(t->length));
    free_text_string(t);
    return s;
}

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_init(false);
        close_program = 0;
        on_fullscreen_step = nullptr;
        step_calls = 0;
    }
    void TearDown() override { on_fullscreen_step = nullptr; }
    static inline int step_calls = 0;
    static void count_step() { ++step_calls; }
};

enum Path { CHAR, SPECIAL, X11 };
struct KeyCase {
    const char* name;
    Path path;
    unsigned long key;
    int modifiers;
    std::optional<Pair> stored;
};

void press(Path path, unsigned long key, int modifiers) {
    if (path == CHAR) handle_character_key(static_cast<unsigned char>(key), modifiers);
    if (path == SPECIAL) handle_special_key(static_cast<int>(key), modifiers);
    if (path == X11) handle_x11_key(key, modifiers);
}

TEST_F(Keyboard, TranslationTable) {
    const KeyCase cases[] = {
        {"a", CHAR, 'a', 0, Pair{'a', 30}},
        {"Shift+A", CHAR, 'A', KEY_SHIFT, Pair{'A', 30}},
        {"Ctrl+A", CHAR, 1, KEY_CTRL, Pair{1, 30}},
        {"Ctrl+Z", CHAR, 26, KEY_CTRL, Pair{26, 44}},
        {"Enter", CHAR, 13, 0, Pair{13, 28}},
        {"Esc", CHAR, 27, 0, Pair{27, 1}},
        {"Backspace", CHAR, 8, 0, Pair{8, 14}},
        {"Tab", CHAR, 9, 0, Pair{9, 15}},
        {"Space", CHAR, ' ', 0, Pair{32, 57}},
        {"Shift+1", CHAR, '!', KEY_SHIFT, Pair{'!', 2}},
        {"slash", CHAR, '/', 0, Pair{'/', 53}},
        {"Delete", CHAR, 127, 0, Pair{0, 83}},
        {"Alt+A", CHAR, 'a', KEY_ALT, Pair{0, 30}},
        {"Alt+M", CHAR, 'm', KEY_ALT, Pair{0, 50}},
        {"Alt+1", CHAR, '1', KEY_ALT, Pair{0, 120}},
        {"Alt+=", CHAR, '=', KEY_ALT, Pair{0, 131}},
        {"no scan code", CHAR, 0xE9, 0, Pair{0xE9, 0}},
        {"Ctrl+1 has no pair", CHAR, '1', KEY_CTRL, std::nullopt},
        {"F1", SPECIAL, GLUT_KEY_F1, 0, Pair{0, 59}},
        {"F10", SPECIAL, GLUT_KEY_F10, 0, Pair{0, 68}},
        {"F11", SPECIAL, GLUT_KEY_F11, 0, Pair{0, 133}},
        {"F12", SPECIAL, GLUT_KEY_F12, 0, Pair{0, 134}},
        {"Shift+F1", SPECIAL, GLUT_KEY_F1, KEY_SHIFT, Pair{0, 84}},
        {"Ctrl+F1", SPECIAL, GLUT_KEY_F1, KEY_CTRL, Pair{0, 94}},
        {"Alt+F1", SPECIAL, GLUT_KEY_F1, KEY_ALT, Pair{0, 104}},
        {"Up", SPECIAL, GLUT_KEY_UP, 0, Pair{0, 72}},
        {"Ctrl+Left", SPECIAL, GLUT_KEY_LEFT, KEY_CTRL, Pair{0, 115}},
        {"Page Down", SPECIAL, GLUT_KEY_PAGE_DOWN, 0, Pair{0, 81}},
        {"keypad Delete", SPECIAL, GLUT_KEY_DELETE, 0, Pair{0, 83}},
        {"Shift alone", SPECIAL, GLUT_KEY_SHIFT_L, KEY_SHIFT, std::nullopt},
        {"Ctrl alone", SPECIAL, GLUT_KEY_CTRL_R, KEY_CTRL, std::nullopt},
        {"Alt alone", SPECIAL, GLUT_KEY_ALT_L, KEY_ALT, std::nullopt},
        {"Num Lock alone (GLUT)", SPECIAL, GLUT_KEY_NUM_LOCK, 0, std::nullopt},
        {"Num Lock alone (X)", X11, XK_Num_Lock, 0, std::nullopt},
        {"Caps Lock alone", X11, XK_Caps_Lock, 0, std::nullopt},
        {"Scroll Lock alone", X11, XK_Scroll_Lock, 0, std::nullopt},
        {"Shift+Tab", X11, XK_Tab, KEY_SHIFT, Pair{0, 15}},
        {"X path leaves Tab to GLUT", X11, XK_Tab, 0, std::nullopt},
        {"X path leaves letters to GLUT", X11, XK_a, 0, std::nullopt},
        {"X path leaves F1 to GLUT", X11, XK_F1, 0, std::nullopt},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        press(c.path, c.key, c.modifiers);
        EXPECT_EQ(take_raw(), c.stored);
        EXPECT_EQ(take_raw(), std::nullopt);
        EXPECT_EQ(suspend_program.load(), 0);
        EXPECT_EQ(close_program.load(), 0);
    }
}

TEST_F(Keyboard, QueueKeepsFirstFifteenInOrder) {
    const char keys[] = "abcdefghijklmnop";  // 16 keys
    for (int i = 0; i < 16; ++i) handle_character_key(static_cast<unsigned char>(keys[i]), 0);
    EXPECT_FALSE(key_queue_push('x', 0));
    std::string got;
    while (auto p = take_raw()) got += static_cast<char>(p->first);
    EXPECT_EQ(got, "abcdefghijklmno");
}

TEST_F(Keyboard, PauseTakesTheNextKey) {
    for (int modifiers : {0, KEY_CTRL}) {  // Pause, Ctrl+Num Lock
        SCOPED_TRACE(modifiers);
        event_pending = 0;
        handle_x11_key(modifiers ? XK_Num_Lock : XK_Pause, modifiers);
        EXPECT_EQ(suspend_program.load() & 1, 1);
        EXPECT_EQ(event_pending.load(), 1);
        // Modifiers alone neither end the pause nor queue anything.
        handle_special_key(GLUT_KEY_SHIFT_L, KEY_SHIFT);
        EXPECT_EQ(suspend_program.load() & 1, 1);
        handle_character_key('a', 0);
        EXPECT_EQ(suspend_program.load(), 0);
        EXPECT_EQ(take_raw(), std::nullopt);
        handle_character_key('b', 0);
        EXPECT_EQ(take_raw(), (Pair{'b', 48}));
    }
}

TEST_F(Keyboard, AltEnterWhilePausedOnlyEndsThePause) {
    on_fullscreen_step = count_step;
    handle_x11_key(XK_Pause, 0);
    handle_character_key(13, KEY_ALT);
    EXPECT_EQ(step_calls, 0);
    EXPECT_EQ(suspend_program.load(), 0);
    EXPECT_EQ(take_raw(), std::nullopt);
}

TEST_F(Keyboard, PauseThenAltF4Closes) {
    handle_x11_key(XK_Pause, 0);
    handle_special_key(GLUT_KEY_F4, KEY_ALT);
    EXPECT_EQ(close_program.load(), 1);
    EXPECT_EQ(take_raw(), std::nullopt);
}

TEST_F(Keyboard, AltEnterStepsFullScreenAndStoresNothing) {
    handle_character_key(13, KEY_ALT);  // no hook yet: nothing happens
    on_fullscreen_step = count_step;
    handle_character_key(13, KEY_ALT);
    EXPECT_EQ(step_calls, 1);
    EXPECT_EQ(take_raw(), std::nullopt);
}

TEST_F(Keyboard, ClosingCombinations) {
    const KeyCase cases[] = {
        {"Alt+F4", SPECIAL, GLUT_KEY_F4, KEY_ALT, std::nullopt},
        {"Ctrl+Break", X11, XK_Pause, KEY_CTRL, std::nullopt},
        {"Break", X11, XK_Break, KEY_CTRL, std::nullopt},
        {"Ctrl+Scroll Lock", X11, XK_Scroll_Lock, KEY_CTRL, std::nullopt},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        close_program = 0;
        press(c.path, c.key, c.modifiers);
        EXPECT_EQ(close_program.load(), 1);
        EXPECT_EQ(suspend_program.load(), 0);
        EXPECT_EQ(take_raw(), std::nullopt);
    }
}

TEST_F(Keyboard, PollKeyShapes) {
    EXPECT_EQ(poll_bytes(), "");
    key_queue_push('a', 30);
    key_queue_push(0, 59);
    key_queue_push(0, 0);
    EXPECT_EQ(poll_bytes(), "a");
    EXPECT_EQ(poll_bytes(), std::string("\0\x3b", 2));
    EXPECT_EQ(poll_bytes(), std::string(1, '\0'));
    EXPECT_EQ(poll_bytes(), "");
}

TEST_F(Keyboard, PollKeyWithErrorPendingLeavesTheQueue) {
    key_queue_push('a', 30);
    raise_error(5);
    EXPECT_EQ(poll_bytes(), "");
    pending_error = 0;
    EXPECT_EQ(poll_bytes(), "a");
}

// A real producer and consumer thread: every key arrives once, in order,
// while the producer keeps running into the full ring.
TEST_F(Keyboard, RingUnderTwoThreads) {
    constexpr int count = 20000;
    auto key_of = [](int i) { return Pair{1 + i % 250, (i / 250) % 256}; };
    std::thread producer([&] {
        for (int i = 0; i < count; ++i)
            while (!key_queue_push(static_cast<uint8_t>(key_of(i).first), static_cast<uint8_t>(key_of(i).second)))
                std::this_thread::yield();
    });
    int received = 0, wrong = 0;
    std::thread consumer([&] {
        while (received < count) {
            TextString* t = poll_key();
            if (t->length == 1) {
                if (t->data[0] != key_of(received).first) ++wrong;
                ++received;
            } else if (t->length != 0) {
                ++wrong;
            }
            free_text_string(t);
        }
    });
    producer.join();
    consumer.join();
    EXPECT_EQ(received, count);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(take_raw(), std::nullopt);
}

}  // namespace
