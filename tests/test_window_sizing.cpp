// The window's size and full-screen steps, rule by rule, with no window:
// the events go in, the asks of the window library come out.
#include <gtest/gtest.h>

#include <optional>

#include "window_sizing.h"

namespace {

constexpr FullscreenMode windowed{0, false}, stretched{1, false}, square{2, false};
constexpr PixelSize text_frame{640, 400}, graphics_frame{640, 480}, screen{1920, 1080};

// The unit, and the program's side of the request: one pending mode at most.
class Sizing : public ::testing::Test {
protected:
    WindowSizing sizing;
    std::optional<FullscreenMode> pending;

    void want(FullscreenMode mode) { pending = mode; }
    WindowAsks pass() {
        return sizing.timer_pass([this](FullscreenMode& mode) {
            if (!pending) return false;
            mode = *pending;
            pending.reset();
            return true;
        });
    }
    void report(PixelSize size) { EXPECT_TRUE(sizing.size_reported(size.width, size.height).redraw); }
    // Passes that ask nothing at all.
    void quiet_passes(int count) {
        for (int i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            expect_nothing(pass());
        }
    }
    static void expect_nothing(const WindowAsks& asks) {
        EXPECT_FALSE(asks.enter_full_screen);
        EXPECT_FALSE(asks.leave_full_screen);
        EXPECT_FALSE(asks.now_in_force);
        EXPECT_FALSE(asks.redraw);
        EXPECT_FALSE(asks.reshape);
    }
    static void expect_entered(const WindowAsks& asks, FullscreenMode mode) {
        EXPECT_TRUE(asks.enter_full_screen);
        EXPECT_FALSE(asks.leave_full_screen);
        EXPECT_EQ(asks.now_in_force, mode);
        EXPECT_TRUE(asks.redraw);
        EXPECT_FALSE(asks.reshape);
    }
    static void expect_left(const WindowAsks& asks) {
        EXPECT_FALSE(asks.enter_full_screen);
        EXPECT_TRUE(asks.leave_full_screen);
        EXPECT_EQ(asks.now_in_force, windowed);
        EXPECT_TRUE(asks.redraw);
        EXPECT_FALSE(asks.reshape);
    }
    static void expect_reshape(const WindowAsks& asks, PixelSize size) {
        EXPECT_FALSE(asks.enter_full_screen);
        EXPECT_FALSE(asks.leave_full_screen);
        EXPECT_FALSE(asks.now_in_force);
        EXPECT_EQ(asks.reshape, size);
    }
    // A windowed window of the text frame's size, as after start-up.
    void settled_windowed() {
        sizing.frame_shown(text_frame.width, text_frame.height);
        report(text_frame);
        expect_nothing(pass());
    }
    // Full screen, its size reported.
    void settled_full_screen() {
        settled_windowed();
        want(stretched);
        expect_entered(pass(), stretched);
        report(screen);
    }
};

TEST_F(Sizing, FullScreenWaitsForTheFirstSize) {
    want(stretched);
    quiet_passes(3 * WindowSizing::patience_passes);
    EXPECT_EQ(pending, stretched) << "taken before the window had a size";
    report(text_frame);
    expect_entered(pass(), stretched);
    EXPECT_EQ(pending, std::nullopt);
    EXPECT_EQ(sizing.shown_mode(), stretched);
}

TEST_F(Sizing, OneRequestAtATime) {
    settled_windowed();
    want(stretched);
    expect_entered(pass(), stretched);
    // The leave waits until the full screen's size has reported ...
    want(windowed);
    quiet_passes(3);
    EXPECT_EQ(pending, windowed);
    report(screen);
    // ... and then goes at the next pass.
    expect_left(pass());
    EXPECT_EQ(pending, std::nullopt);
}

TEST_F(Sizing, ChangesWithinAModeAskNoResize) {
    settled_windowed();
    want(FullscreenMode{0, true});
    WindowAsks smoothed = pass();
    EXPECT_FALSE(smoothed.enter_full_screen || smoothed.leave_full_screen || smoothed.reshape);
    EXPECT_EQ(smoothed.now_in_force, (FullscreenMode{0, true}));
    EXPECT_TRUE(smoothed.redraw);

    sizing = WindowSizing{};
    settled_full_screen();
    want(square);
    WindowAsks asks = pass();
    EXPECT_FALSE(asks.enter_full_screen || asks.leave_full_screen || asks.reshape);
    EXPECT_EQ(asks.now_in_force, square);
    EXPECT_TRUE(asks.redraw);
    // Nothing to wait for: the next request goes at the next pass.
    want(FullscreenMode{2, true});
    EXPECT_EQ(pass().now_in_force, (FullscreenMode{2, true}));
}

TEST_F(Sizing, PatienceWhenASizeNeverReports) {
    settled_windowed();
    want(stretched);
    expect_entered(pass(), stretched);
    want(windowed);
    // The pass that asked is followed by patience - 1 that wait; the next
    // counts the resize as done.
    quiet_passes(WindowSizing::patience_passes - 1);
    expect_left(pass());
    quiet_passes(WindowSizing::patience_passes - 1);
    expect_reshape(pass(), text_frame);
    // A windowed reshape the window manager ignores is asked again as often.
    sizing.frame_shown(graphics_frame.width, graphics_frame.height);
    quiet_passes(WindowSizing::patience_passes - 1);
    expect_reshape(pass(), graphics_frame);
    quiet_passes(WindowSizing::patience_passes - 1);
    expect_reshape(pass(), graphics_frame);
}

TEST_F(Sizing, WindowedFollowsTheFramesSize) {
    // No reshape before the window's first size or before a frame.
    sizing.frame_shown(graphics_frame.width, graphics_frame.height);
    quiet_passes(2);
    sizing = WindowSizing{};
    report({800, 600});
    quiet_passes(2);

    sizing.frame_shown(graphics_frame.width, graphics_frame.height);
    expect_reshape(pass(), graphics_frame);
    report(graphics_frame);
    quiet_passes(2);
    // Back to text; and a window the user resized goes back to the frame's size.
    sizing.frame_shown(text_frame.width, text_frame.height);
    expect_reshape(pass(), text_frame);
    report(text_frame);
    quiet_passes(1);
    report({800, 600});
    expect_reshape(pass(), text_frame);
    // A size of nothing counts as one pixel each way.
    report({0, -3});
    EXPECT_EQ(sizing.window(), (PixelSize{1, 1}));
    expect_reshape(pass(), text_frame);
}

TEST_F(Sizing, FullScreenDoesNotFollowTheFrame) {
    settled_full_screen();
    sizing.frame_shown(graphics_frame.width, graphics_frame.height);
    quiet_passes(3 * WindowSizing::patience_passes);
    EXPECT_EQ(sizing.window(), screen);
}

TEST_F(Sizing, LeavingFullScreenReshapesOnALaterPass) {
    settled_full_screen();
    sizing.frame_shown(graphics_frame.width, graphics_frame.height);
    want(windowed);
    expect_left(pass());  // and no reshape with it
    quiet_passes(2);
    // Whatever size the leave reports, the frame's size is asked for once.
    report(graphics_frame);
    expect_reshape(pass(), graphics_frame);
    report(graphics_frame);
    quiet_passes(3 * WindowSizing::patience_passes);
}

}  // namespace
