// The display side without a window: frames, the display-lock handshake,
// title and full-screen hand-over, and the shutdown path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "errors.h"
#include "frame_builder.h"
#include "glyph_cells.h"
#include "keyboard.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "standard_colours.h"
#include "window_requests.h"

namespace {
class DisplaySide : public ::testing::Test {
protected:
    void SetUp() override { runtime_init(false); }

    // Builds and takes one frame; null when none was built.
    const FrameSlot* next_frame() {
        if (!frame_builder_pass()) return nullptr;
        return take_newest_frame();
    }
};

uint32_t colour(int index) { return expected_standard_colours[index]; }

TEST_F(DisplaySide, TextPageCellsUseTheFontAndAttribute) {
    ScreenImage& page = *display_page.load();
    // 'A' with attribute 0x9E: fg 14, bg 1 (the blink bit ignored); a full block in 0x07.
    page.pixels[0] = 'A';
    page.pixels[1] = 0x9E;
    page.pixels[2] = 219;
    page.pixels[3] = 0x07;
    const FrameSlot* frame = next_frame();
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(frame->width, 640);
    ASSERT_EQ(frame->height, 400);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int cell = x / 8;
            bool set = glyphs::ink(cell ? 219 : 'A', x % 8, y);
            uint32_t want = cell ? (set ? colour(7) : colour(0)) : (set ? colour(14) : colour(1));
            ASSERT_EQ(frame->pixels[y * 640 + x], want) << x << "," << y;
        }
    // Blank cells elsewhere: background 0.
    EXPECT_EQ(frame->pixels[399 * 640 + 639], colour(0));
}

TEST_F(DisplaySide, CursorShowsOnlyWhileVisible) {
    ScreenImage& page = *display_page.load();
    page.cursor_row = 2;
    page.cursor_column = 3;
    page.cursor_visible = false;
    const FrameSlot* frame = next_frame();
    ASSERT_NE(frame, nullptr);
    size_t at = static_cast<size_t>(16 + 15) * 640 + 2 * 8;  // bottom line of the cell
    EXPECT_EQ(frame->pixels[at], colour(0));
    page.cursor_visible = true;
    frame = next_frame();
    ASSERT_NE(frame, nullptr) << "a cursor change is a change";
    EXPECT_EQ(frame->pixels[at], colour(7));
}

TEST_F(DisplaySide, GraphicsPageGoesThroughItsPalette) {
    ScreenImage* page = new_screen_page(12, 16);
    display_page.store(page);
    page->row(479)[639] = 12;
    page->row(0)[0] = 3;
    page->palette[3] = 0x00123456;  // alpha is forced
    const FrameSlot* frame = next_frame();
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(frame->width, 640);
    ASSERT_EQ(frame->height, 480);
    EXPECT_EQ(frame->pixels[0], 0xFF123456u);
    EXPECT_EQ(frame->pixels[479 * 640 + 639], colour(12));
    EXPECT_EQ(frame->pixels[1], colour(0));
}

TEST_F(DisplaySide, UnchangedPageBuildsNoFrame) {
    ScreenImage* page = new_screen_page(12, 16);
    display_page.store(page);
    ASSERT_NE(next_frame(), nullptr);
    EXPECT_EQ(next_frame(), nullptr);
    page->row(100)[100] = 5;
    EXPECT_NE(next_frame(), nullptr) << "pixel change";
    page->palette[0] = 0xFF010203;
    EXPECT_NE(next_frame(), nullptr) << "palette change";
    EXPECT_EQ(next_frame(), nullptr);
    full_frame_requested.store(true);
    EXPECT_NE(next_frame(), nullptr) << "a full frame asked for";
}

TEST_F(DisplaySide, DisplayLockIsGrantedAndHoldsTheBuilder) {
    display_lock.request();
    EXPECT_FALSE(frame_builder_pass());
    EXPECT_EQ(display_lock.state(), DisplayLockState::granted);
    display_page.load()->pixels[0] = 'X';
    EXPECT_FALSE(frame_builder_pass()) << "no frame while granted";
    display_lock.release();
    EXPECT_TRUE(frame_builder_pass());
    EXPECT_TRUE(display_started.load());
}

TEST_F(DisplaySide, WindowGetsTheNewestReadyFrameAndSlotsRecycle) {
    ScreenImage& page = *display_page.load();
    const FrameSlot* shown = nullptr;
    for (int i = 0; i < 20; ++i) {
        // Two frames built between takes: only the newer one is shown.
        page.pixels[0] = static_cast<uint8_t>(2 * i);
        ASSERT_TRUE(frame_builder_pass());
        page.pixels[0] = static_cast<uint8_t>(2 * i + 1);
        ASSERT_TRUE(frame_builder_pass());
        const FrameSlot* frame = take_newest_frame();
        ASSERT_NE(frame, nullptr);
        ASSERT_NE(frame, shown);
        EXPECT_EQ(frame->sequence.load(), static_cast<uint64_t>(2 * i + 2));
        EXPECT_EQ(take_newest_frame(), nullptr);
        shown = frame;
    }
}

TEST_F(DisplaySide, FullscreenOptionsGiveModes) {
    struct Case {
        int32_t option, passed;
        FullscreenMode mode;
    };
    const Case cases[] = {{0, 0, {1, false}}, {2, 0, {1, false}}, {1, 0, {0, false}},
                          {3, 0, {2, false}}, {0, 1, {1, true}},  {3, 1, {2, true}}};
    for (const auto& c : cases) {
        window_requests_init();
        set_fullscreen_mode(c.option, c.passed);
        FullscreenMode got;
        bool requested = take_fullscreen_request(got);
        EXPECT_EQ(requested, !(c.mode == FullscreenMode{})) << c.option << "," << c.passed;
        if (requested) {
            EXPECT_TRUE(got == c.mode) << c.option << "," << c.passed;
        }
    }
}

TEST_F(DisplaySide, FullscreenRequestActsWhileAnErrorIsPendingAndLastRequestWins) {
    raise_error(5);
    set_fullscreen_mode(0, 0);
    FullscreenMode got;
    ASSERT_TRUE(take_fullscreen_request(got));
    set_fullscreen_mode_in_force(got);
    set_fullscreen_mode(0, 0);
    EXPECT_FALSE(take_fullscreen_request(got)) << "the mode in force asks nothing";
    set_fullscreen_mode(3, 0);
    set_fullscreen_mode(0, 0);  // back to the mode in force before the window took the request
    EXPECT_FALSE(take_fullscreen_request(got));
}

// Alt+Enter's cycle: off, stretched, stretched smoothed, square pixels,
// square pixels smoothed, off again.
const FullscreenMode fullscreen_cycle[] = {{0, false}, {1, false}, {1, true}, {2, false}, {2, true}};
constexpr int cycle_length = 5;

TEST_F(DisplaySide, AltEnterStepsThroughTheModes) {
    for (int step = 1; step <= cycle_length; ++step) {
        const FullscreenMode& want = fullscreen_cycle[step % cycle_length];
        step_fullscreen_mode();
        FullscreenMode got;
        ASSERT_TRUE(take_fullscreen_request(got));
        EXPECT_TRUE(got == want) << got.mode << " " << got.smooth;
        set_fullscreen_mode_in_force(got);
    }
}

// Presses of Alt+Enter that come before the window applies the first: each
// steps on from the step still pending, not from the mode in force. A full
// cycle of them leaves nothing to apply.
TEST_F(DisplaySide, AltEnterPressedAgainBeforeTheWindowAppliesTheFirst) {
    for (int in_force = 0; in_force < cycle_length; ++in_force)
        for (int presses = 2; presses <= cycle_length; ++presses) {
            SCOPED_TRACE(std::to_string(presses) + " presses from mode " + std::to_string(in_force));
            window_requests_init();
            set_fullscreen_mode_in_force(fullscreen_cycle[in_force]);
            for (int press = 0; press < presses; ++press) handle_character_key(13, modifier_alt);
            const FullscreenMode& want = fullscreen_cycle[(in_force + presses) % cycle_length];
            FullscreenMode got;
            EXPECT_EQ(take_fullscreen_request(got), presses != cycle_length);
            if (presses != cycle_length) {
                EXPECT_TRUE(got == want) << got.mode << " " << got.smooth;
            }
        }
}

TEST_F(DisplaySide, TitleIsCopiedTakenOnceAndIgnoredWhileAnErrorIsPending) {
    std::string title;
    EXPECT_EQ(current_window_title(), "Untitled");
    EXPECT_FALSE(take_window_title(title));
    TextString* text = new_text_string(5, false);
    std::memcpy(text->data, "First", 5);
    set_window_title(text);
    std::memcpy(text->data, "Other", 5);  // the window keeps its own copy
    EXPECT_TRUE(take_window_title(title));
    EXPECT_EQ(title, "First");
    EXPECT_FALSE(take_window_title(title));
    raise_error(5);
    set_window_title(text_from_literal("Ignored"));
    EXPECT_FALSE(take_window_title(title));
    EXPECT_EQ(current_window_title(), "First");
}

using DisplaySideDeathTest = DisplaySide;

// The main loop ends the process once both threads have acknowledged the stop.
TEST_F(DisplaySideDeathTest, CloseRequestEndsWithExitCode0) {
    EXPECT_EXIT(
        {
            start_event_timer_thread();
            std::thread([] {
                while (!stop_program.load()) platform::Sleep(1);
                check_statement_events(1, 0, nullptr);
            }).detach();
            start_main_loop_thread();
            close_program.store(1);
            for (;;) platform::Sleep(1000);
        },
        ::testing::ExitedWithCode(0), "");
}

// A window closed while a screen-mode change waits for the frame builder
// and while the program thread is blocked (a modal dialog): still exit code 0.
TEST_F(DisplaySideDeathTest, ClosedWindowEndsABlockedProgram) {
    EXPECT_EXIT(
        {
            start_event_timer_thread();
            std::thread([] {
                display_lock.request_and_wait();
                for (;;) platform::Sleep(1000);  // never reaches an event check
            }).detach();
            while (display_lock.state() != DisplayLockState::requested) platform::Sleep(1);
            window_closed.store(true);
            run_main_loop();
        },
        ::testing::ExitedWithCode(0), "");
}
}  // namespace
