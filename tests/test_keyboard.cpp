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
#include "window_requests.h"

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
    }
};

// A key that types a character, or one the runtime knows by name.
struct Pressed {
    int character = -1;
    Key key = Key::unnamed;
    Pressed(int c) : character(c) {}
    Pressed(Key k) : key(k) {}
};
struct KeyCase {
    const char* name;
    Pressed pressed;
    int modifiers;
    std::optional<Pair> stored;
};

void press(Pressed pressed, int modifiers) {
    if (pressed.character >= 0)
        handle_character_key(static_cast<uint8_t>(pressed.character), modifiers);
    else
        handle_key(pressed.key, modifiers);
}

TEST_F(Keyboard, TranslationTable) {
    const KeyCase cases[] = {
        {"a", 'a', 0, Pair{'a', 30}},
        {"Shift+A", 'A', modifier_shift, Pair{'A', 30}},
        {"Ctrl+A", 1, modifier_ctrl, Pair{1, 30}},
        {"Ctrl+Z", 26, modifier_ctrl, Pair{26, 44}},
        {"Enter", 13, 0, Pair{13, 28}},
        {"Esc", 27, 0, Pair{27, 1}},
        {"Backspace", 8, 0, Pair{8, 14}},
        {"Tab", 9, 0, Pair{9, 15}},
        {"Space", ' ', 0, Pair{32, 57}},
        {"Shift+1", '!', modifier_shift, Pair{'!', 2}},
        {"slash", '/', 0, Pair{'/', 53}},
        {"Delete", 127, 0, Pair{0, 83}},
        {"Alt+A", 'a', modifier_alt, Pair{0, 30}},
        {"Alt+M", 'm', modifier_alt, Pair{0, 50}},
        {"Alt+1", '1', modifier_alt, Pair{0, 120}},
        {"Alt+=", '=', modifier_alt, Pair{0, 131}},
        {"no scan code", 0xE9, 0, Pair{0xE9, 0}},
        {"Ctrl+1 has no pair", '1', modifier_ctrl, std::nullopt},
        {"F1", Key::f1, 0, Pair{0, 59}},
        {"F10", Key::f10, 0, Pair{0, 68}},
        {"F11", Key::f11, 0, Pair{0, 133}},
        {"F12", Key::f12, 0, Pair{0, 134}},
        {"Shift+F1", Key::f1, modifier_shift, Pair{0, 84}},
        {"Ctrl+F1", Key::f1, modifier_ctrl, Pair{0, 94}},
        {"Alt+F1", Key::f1, modifier_alt, Pair{0, 104}},
        {"Up", Key::up, 0, Pair{0, 72}},
        {"Ctrl+Left", Key::left, modifier_ctrl, Pair{0, 115}},
        {"Page Down", Key::page_down, 0, Pair{0, 81}},
        {"keypad Delete", Key::del, 0, Pair{0, 83}},
        {"Shift alone", Key::shift, modifier_shift, std::nullopt},
        {"Ctrl alone", Key::ctrl, modifier_ctrl, std::nullopt},
        {"Alt alone", Key::alt, modifier_alt, std::nullopt},
        {"Num Lock alone", Key::num_lock, 0, std::nullopt},
        {"Caps Lock alone", Key::caps_lock, 0, std::nullopt},
        {"Scroll Lock alone", Key::scroll_lock, 0, std::nullopt},
        {"Shift+Tab", Key::back_tab, modifier_shift, Pair{0, 15}},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        press(c.pressed, c.modifiers);
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
    for (int modifiers : {0, modifier_ctrl}) {  // Pause, Ctrl+Num Lock
        SCOPED_TRACE(modifiers);
        event_pending = 0;
        handle_key(modifiers ? Key::num_lock : Key::pause, modifiers);
        EXPECT_EQ(suspend_program.load() & 1, 1);
        EXPECT_EQ(event_pending.load(), 1);
        // Modifiers alone neither end the pause nor queue anything.
        handle_key(Key::shift, modifier_shift);
        EXPECT_EQ(suspend_program.load() & 1, 1);
        // Nor do the other modifier and lock keys alone.
        for (Key alone : {Key::ctrl, Key::alt, Key::super, Key::caps_lock, Key::num_lock, Key::scroll_lock}) {
            handle_key(alone, 0);
            EXPECT_EQ(suspend_program.load() & 1, 1) << static_cast<int>(alone);
        }
        handle_character_key('a', 0);
        EXPECT_EQ(suspend_program.load(), 0);
        EXPECT_EQ(take_raw(), std::nullopt);
        handle_character_key('b', 0);
        EXPECT_EQ(take_raw(), (Pair{'b', 48}));
    }
}

TEST_F(Keyboard, AltEnterWhilePausedOnlyEndsThePause) {
    handle_key(Key::pause, 0);
    handle_character_key(13, modifier_alt);
    EXPECT_EQ(latest_fullscreen_mode(), FullscreenMode{});
    EXPECT_EQ(suspend_program.load(), 0);
    EXPECT_EQ(take_raw(), std::nullopt);
}

TEST_F(Keyboard, PauseThenAltF4Closes) {
    handle_key(Key::pause, 0);
    handle_key(Key::f4, modifier_alt);
    EXPECT_EQ(close_program.load(), 1);
    EXPECT_EQ(take_raw(), std::nullopt);
}

TEST_F(Keyboard, AltEnterStepsFullScreenAndStoresNothing) {
    handle_character_key(13, modifier_alt);
    EXPECT_EQ(latest_fullscreen_mode(), (FullscreenMode{1, false}));
    handle_character_key(13, modifier_alt);
    EXPECT_EQ(latest_fullscreen_mode(), (FullscreenMode{1, true}));
    EXPECT_EQ(take_raw(), std::nullopt);
}

TEST_F(Keyboard, ClosingCombinations) {
    const KeyCase cases[] = {
        {"Alt+F4", Key::f4, modifier_alt, std::nullopt},
        {"Ctrl+Break", Key::pause, modifier_ctrl, std::nullopt},
        {"Break", Key::break_key, modifier_ctrl, std::nullopt},
        {"Ctrl+Scroll Lock", Key::scroll_lock, modifier_ctrl, std::nullopt},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        close_program = 0;
        press(c.pressed, c.modifiers);
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
