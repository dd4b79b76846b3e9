// Screen pages: the ScreenImage type, the page roles and the display handshake.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

using PaletteColour = uint32_t;  // 0xAARRGGBB

extern const std::array<PaletteColour, 16> standard_colours;
// 256 entries; the first 16 are the standard colours, alpha FF throughout.
extern std::array<PaletteColour, 256> default_palette;

// A field that the frame builder reads while the program thread writes it:
// an atomic with relaxed order, read and assigned like a plain value. The
// program thread is its only writer, so stepping it needs no atomic update.
template <typename T>
class RelaxedField {
public:
    RelaxedField(T value = T{}) noexcept : value_(value) {}
    RelaxedField(const RelaxedField& other) noexcept : value_(other.load()) {}
    RelaxedField& operator=(const RelaxedField& other) noexcept {
        store(other.load());
        return *this;
    }
    RelaxedField& operator=(T value) noexcept {
        store(value);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(T value) noexcept { value_.store(value, std::memory_order_relaxed); }
    T operator++() noexcept {
        store(static_cast<T>(load() + 1));
        return load();
    }

private:
    std::atomic<T> value_;
};

struct ScreenImage {
    uint16_t width = 0;   // pixels on a graphics page, cells on a text page
    uint16_t height = 0;
    bool text_page = false;
    uint8_t bytes_per_pixel = 1;  // 2 per cell on a text page: character, attribute
    uint8_t bits_per_pixel = 4;
    uint32_t colour_mask = 15;
    uint16_t mode = 0;
    uint32_t foreground = 15;
    uint32_t background = 0;
    // The page's drawing colour, one of its colours as a mode sets them; the
    // drawing here defaults to the foreground instead, so nothing reads it.
    uint32_t draw_colour = 15;
    int32_t font_height = 16;  // glyph height; glyphs are 8 wide
    int16_t view_top = 1;      // text viewport, 1-based, inclusive
    int16_t view_bottom = 29;
    // The text cursor; the frame builder shows it on a text page.
    RelaxedField<int16_t> cursor_column = 1;
    RelaxedField<int16_t> cursor_row = 1;
    bool wrap_held = false;    // print_text held back a wrap at the last column
    RelaxedField<bool> cursor_visible = false;
    uint8_t cursor_first_line = 0;  // scan lines of the text cursor, 0 to 31
    uint8_t cursor_last_line = 31;
    int32_t print_mode = 0;    // 0: each cell drawn whole (glyph on its background)
    int32_t clip_x1 = 0, clip_y1 = 0, clip_x2 = 639, clip_y2 = 479;
    float cursor_x = 320.0f, cursor_y = 240.0f;  // graphics cursor
    std::vector<uint8_t> pixels;  // rows top to bottom
    std::array<PaletteColour, 256> palette{};
    // The colour an image copy leaves out (-1: none). No operation here
    // copies images; a new page has none.
    int32_t transparent = -1;

    uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width * bytes_per_pixel; }
    int text_columns() const { return text_page ? width : width / 8; }
    int text_rows() const { return text_page ? height : height / font_height; }
};

// Page roles. The frame builder reads display_page from its own thread.
extern std::atomic<ScreenImage*> display_page;
extern ScreenImage* write_page;
// The read page is where reading operations would take pixels from. None
// does here, but the role stays: a mode change makes its page all three.
extern ScreenImage* read_page;

// The display lock: how a screen-mode change gets the display page away
// from the frame builder before it replaces the page (or its buffer).
enum class DisplayLockState : int32_t { free = 0, requested = 1, granted = 2 };

class DisplayLock {
public:
    // Program thread: asks for the page and waits until the builder lets go.
    void request_and_wait() {
        request();
        wait_for_grant();
    }
    // The two halves, for a caller that runs the builder's passes itself.
    void request() { state_.store(DisplayLockState::requested, std::memory_order_relaxed); }
    void wait_for_grant() {
        // Acquire: the builder's reads of the old page come before its grant.
        while (state_.load(std::memory_order_acquire) != DisplayLockState::granted) platform::Sleep(0);
    }
    // Frame builder, and the shutdown: grants a pending request. Returns the
    // state it leaves; the builder reads the page only when that is free.
    DisplayLockState grant_if_requested() {
        DisplayLockState seen = state_.load();
        if (seen != DisplayLockState::requested) return seen;
        // A failed exchange leaves in `seen` what stood there instead.
        return state_.compare_exchange_strong(seen, DisplayLockState::granted) ? DisplayLockState::granted : seen;
    }
    // Program thread: the new page is in place.
    void release() { state_.store(DisplayLockState::free, std::memory_order_release); }
    DisplayLockState state() const { return state_.load(); }

private:
    std::atomic<DisplayLockState> state_{DisplayLockState::free};
};
extern DisplayLock display_lock;
// With it clear set_screen_mode never waits for the frame builder. The
// store that counts is start_main_loop_thread's: made before the builder's
// thread exists, so no mode change can race the builder's first pass. Each
// pass stores it as well, for callers that run the passes themselves (tests,
// benchmarks); on the real path it is set long before.
extern std::atomic<bool> display_started;
extern std::atomic<bool> automatic_display;
// Set by set_screen_mode: the next frame is built whole.
extern std::atomic<bool> full_frame_requested;

// set_screen_mode's `passed`: which of its arguments are given.
namespace screen_mode_given {
constexpr int32_t mode = 1;
constexpr int32_t active_page = 4;
constexpr int32_t visual_page = 8;
}  // namespace screen_mode_given

// Makes the start-up text screen (80 x 25) the only page, all three roles.
void pages_init();

// A fresh page of screen mode 0 (the 80 x 25 text screen, blank) or 12
// (640 x 480, 4 bits, all colour 0), with the given font height.
ScreenImage* new_screen_page(uint16_t mode, int font_height);

// The built-in font: 256 glyphs of 8 x 16, one byte per row, bit 7 leftmost.
extern const uint8_t builtin_font[256][16];

// Row `row` of glyph `code` for a font of `font_height` rows. The font has
// only 16-row glyphs: a shorter font ORs the source rows that fall into each
// of its rows (font 8: rows 2r and 2r+1), so no stroke is lost.
inline uint8_t glyph_row(int font_height, uint8_t code, int row) {
    if (font_height == 16) return builtin_font[code][row];
    int first = row * 16 / font_height;
    int last = ((row + 1) * 16 - 1) / font_height;
    uint8_t bits = 0;
    for (int r = first; r <= last && r < 16; ++r) bits |= builtin_font[code][r];
    return bits;
}

// Attribute byte of blanks on a text page (what clearing and scrolling write).
inline uint8_t blank_attribute(uint32_t fill, uint32_t foreground) {
    return static_cast<uint8_t>((fill & 7) * 16 + (foreground & 15) + ((foreground & 16) ? 128 : 0));
}
