#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "errors.h"
#include "glyph_cells.h"
#include "pages.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "standard_colours.h"
#include "statement_forms.h"

namespace {

class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_init(false);
        display_started = false;
        automatic_display = true;
    }
    void TearDown() override { display_started = false; }
};

ScreenImage& page() { return *write_page; }

uint8_t cell_char(int row, int column) { return page().row(row - 1)[2 * (column - 1)]; }
uint8_t cell_attr(int row, int column) { return page().row(row - 1)[2 * (column - 1) + 1]; }
uint8_t pixel(int x, int y) { return page().row(y)[x]; }

void expect_cursor(int row, int column) {
    EXPECT_EQ(page().cursor_row, row);
    EXPECT_EQ(page().cursor_column, column);
}

TextString* literal(const std::string& s) {
    return text_from_literal_len(s.data(), static_cast<int32_t>(s.size()));
}

// A print statement of the benchmark with one literal, in the routine's own form.
void print_statement(const std::string& s, int32_t line) {
    forms::print(forms::Temporaries{temp_string_count()}, line,
                 {forms::PrintItem::text(s.data(), static_cast<int32_t>(s.size()))});
}

void fits(const std::string& s) {
    uint32_t mark = temp_string_count();
    ensure_text_fits(literal(s));
    release_temp_strings(mark, 0);
}

// A fresh start-up screen and no error, between the cases of one test.
void reset() {
    errors_init();
    pages_init();
}

void print(const std::string& s, int newline = 0) {
    uint32_t mark = temp_string_count();
    print_text(literal(s), newline);
    release_temp_strings(mark, 0);
}

void to_mode12() {
    set_screen_mode(12, 0, 0, 0, 0, 1);
    ASSERT_EQ(page().mode, 12);
}

// Replaces every page by `replacement` (tests that need an unusual screen).
void install(ScreenImage* replacement) {
    delete write_page;
    write_page = read_page = replacement;
    display_page = replacement;
}

std::string row_text(int row, int first, int last) {
    std::string s;
    for (int c = first; c <= last; ++c) s += static_cast<char>(cell_char(row, c));
    return s;
}

TEST_F(Pages, StartupTextScreen) {
    pages_init();  // again: the old pages go, a fresh screen comes
    ScreenImage& p = page();
    EXPECT_EQ(display_page.load(), &p);
    EXPECT_EQ(read_page, &p);
    EXPECT_TRUE(p.text_page);
    EXPECT_EQ(p.mode, 0);
    EXPECT_EQ(p.width, 80);
    EXPECT_EQ(p.height, 25);
    EXPECT_EQ(p.foreground, 7u);
    EXPECT_EQ(p.background, 0u);
    EXPECT_EQ(p.view_top, 1);
    EXPECT_EQ(p.view_bottom, 24);
    expect_cursor(1, 1);
    EXPECT_FALSE(p.cursor_visible);
    ASSERT_EQ(p.pixels.size(), 80u * 25 * 2);
    for (size_t i = 0; i < p.pixels.size(); i += 2) {
        ASSERT_EQ(p.pixels[i], 32);
        ASSERT_EQ(p.pixels[i + 1], 7);
    }
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(default_palette[i] >> 24, 0xFFu);
        if (i < 16) {
            EXPECT_EQ(default_palette[i], expected_standard_colours[i]) << i;
        }
    }
    EXPECT_EQ(p.palette, default_palette);
}

TEST_F(Pages, BannerLinesOnTheTextScreen) {
    // The routine's banner literals, as its lines 6 to 8 print them.
    const std::string lines[3] = {"Texture benchmark by Ormi-tulp", "Copyright (c) 2026 Ormi-tulp.",
                                  "          [Windows]"};
    clear_screen(0, 0, 0);
    expect_cursor(1, 1);
    for (int i = 0; i < 3; ++i) {
        locate_cursor(10 + i, 23, 0, 0, 0, 3);
        print_statement(lines[i], 6 + i);
        expect_cursor(11 + i, 1);
    }
    EXPECT_EQ(pending_error.load(), 0);
    for (int r = 1; r <= 25; ++r) {
        for (int c = 1; c <= 80; ++c) {
            int i = r - 10;
            bool in_line = i >= 0 && i < 3 && c >= 23 && c < 23 + static_cast<int>(lines[i].size());
            uint8_t expected = in_line ? static_cast<uint8_t>(lines[i][c - 23]) : 32;
            ASSERT_EQ(cell_char(r, c), expected) << "row " << r << " column " << c;
            ASSERT_EQ(cell_attr(r, c), 7) << "row " << r << " column " << c;
        }
    }
    EXPECT_EQ(row_text(12, 33, 41), "[Windows]");
    EXPECT_FALSE(page().cursor_visible);
}

TEST_F(Pages, ResultLabelOnTheGraphicsPage) {
    to_mode12();
    clear_screen(0, 0, 0);
    locate_cursor(10, 30, 0, 0, 0, 3);
    print_statement("Result: ", 156);
    expect_cursor(11, 1);
    int drawn = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const uint8_t expected = glyphs::text_pixel<uint8_t>("Result: ", 232, 144, x, y, 15, 0, 0);
            drawn += expected != 0;
            ASSERT_EQ(pixel(x, y), expected) << "x " << x << " y " << y;
        }
    }
    EXPECT_GT(drawn, 100);
}

TEST_F(Pages, WrapAtTheLastColumnIsHeldBack) {
    struct Case {
        const char* name;
        std::function<void()> next;
        int row, column;
        bool held;
    };
    const Case cases[] = {
        {"text follows", [] { print("C"); }, 6, 2, false},
        {"line ends", [] { print_text(empty_text, 1); }, 6, 1, false},
        {"empty text", [] { print_text(empty_text, 0); }, 5, 80, true},
        {"cursor placed", [] { locate_cursor(8, 3, 0, 0, 0, 3); }, 8, 3, false},
        {"viewport set", [] { set_text_viewport(3, 20, 1), print("C"); }, 3, 2, false},
        {"viewport reset", [] { set_text_viewport(0, 0, 0), print("C"); }, 1, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        locate_cursor(5, 79, 0, 0, 0, 3);
        print("AB");
        expect_cursor(5, 80);
        ASSERT_TRUE(page().wrap_held);
        c.next();
        expect_cursor(c.row, c.column);
        EXPECT_EQ(page().wrap_held, c.held);
        EXPECT_EQ(row_text(5, 79, 80), "AB");
        EXPECT_EQ(cell_char(6, 1), c.row == 6 && c.column == 2 ? 'C' : 32);
    }
    // With more bytes in the same text the wrap happens at once.
    reset();
    locate_cursor(5, 79, 0, 0, 0, 3);
    print("ABC");
    EXPECT_EQ(cell_char(6, 1), 'C');
    expect_cursor(6, 2);
    // Eighty characters and a line end make one newline, not two.
    locate_cursor(1, 1, 0, 0, 0, 3);
    print(std::string(80, 'x'), 1);
    expect_cursor(2, 1);
}

TEST_F(Pages, NewlineInOneRowViewportBlanksTheBottomRow) {
    to_mode12();
    std::memset(page().pixels.data(), 9, page().pixels.size());
    set_text_viewport(30, 30, 1);
    expect_cursor(30, 1);
    print_text(empty_text, 1);
    expect_cursor(30, 1);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; x += 7) ASSERT_EQ(pixel(x, y), y >= 464 ? 0 : 9) << "y " << y;
    print("Press any key to continue");
    EXPECT_EQ(pixel(0, 470) | pixel(1, 470) | pixel(2, 470) | pixel(3, 470) | pixel(4, 470), 15);
    expect_cursor(30, 26);
}

TEST_F(Pages, ScrollMovesOnlyTheViewportRows) {
    // Text page: rows 4 to 8 hold 'a' to 'e'; the viewport is rows 5 to 7.
    for (int r = 4; r <= 8; ++r) {
        locate_cursor(r, 1, 0, 0, 0, 3);
        print(std::string(80, static_cast<char>('a' + r - 4)));
    }
    page().foreground = 14 + 16;
    page().background = 9;
    set_text_viewport(5, 7, 1);
    locate_cursor(7, 1, 0, 0, 0, 3);
    print_newline();
    expect_cursor(7, 1);
    EXPECT_EQ(cell_char(4, 1), 'a');
    EXPECT_EQ(cell_char(5, 80), 'c');
    EXPECT_EQ(cell_char(6, 80), 'd');
    EXPECT_EQ(cell_char(7, 1), 32);
    EXPECT_EQ(cell_attr(7, 80), (9 & 7) * 16 + 14 + 128);
    EXPECT_EQ(cell_char(8, 1), 'e');
    print("z");
    EXPECT_EQ(cell_attr(7, 1), (9 * 16 + 14 + 128) & 0xFF);  // printing keeps the whole background

    // Graphics page: pixel rows 16 to 47 are the viewport rows 2 and 3.
    to_mode12();
    for (int y = 0; y < 64; ++y) std::memset(page().row(y), y, 640);
    page().background = 4;
    set_text_viewport(2, 3, 1);
    print_newline();
    print_newline();
    expect_cursor(3, 1);
    for (int y = 0; y < 64; ++y) {
        int expected = y < 16 || y >= 48 ? y : y < 32 ? y + 16 : 4;
        ASSERT_EQ(pixel(100, y), expected) << "y " << y;
    }
}

TEST_F(Pages, ModeTwelvePage) {
    ScreenImage* before = write_page;
    set_screen_mode(12, 0, 0, 0, 0, 1);
    ScreenImage& p = page();
    EXPECT_NE(&p, before);
    EXPECT_EQ(display_page.load(), &p);
    EXPECT_EQ(read_page, &p);
    EXPECT_FALSE(p.text_page);
    EXPECT_EQ(p.mode, 12);
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.bytes_per_pixel, 1);
    EXPECT_EQ(p.bits_per_pixel, 4);
    EXPECT_EQ(p.colour_mask, 15u);
    EXPECT_EQ(p.font_height, 16);
    EXPECT_EQ(p.text_columns(), 80);
    EXPECT_EQ(p.text_rows(), 30);
    EXPECT_EQ(p.foreground, 15u);
    EXPECT_EQ(p.draw_colour, 15u);
    EXPECT_EQ(p.background, 0u);
    EXPECT_EQ(p.view_top, 1);
    EXPECT_EQ(p.view_bottom, 29);
    expect_cursor(1, 1);
    EXPECT_FALSE(p.wrap_held);
    EXPECT_EQ(p.cursor_x, 320.0f);
    EXPECT_EQ(p.cursor_y, 240.0f);
    EXPECT_EQ(p.clip_x1, 0);
    EXPECT_EQ(p.clip_y1, 0);
    EXPECT_EQ(p.clip_x2, 639);
    EXPECT_EQ(p.clip_y2, 479);
    EXPECT_EQ(p.print_mode, 0);
    EXPECT_EQ(p.transparent, -1);
    ASSERT_EQ(p.pixels.size(), 640u * 480);
    for (uint8_t v : p.pixels) ASSERT_EQ(v, 0);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(p.palette[i], i < 16 ? expected_standard_colours[i] : 0u) << i;
    EXPECT_TRUE(full_frame_requested.load());
    EXPECT_EQ(display_lock.state(), DisplayLockState::free);

    // The same mode again changes nothing.
    p.cursor_row = 7;
    set_screen_mode(12, 0, 0, 0, 0, 1);
    EXPECT_EQ(write_page, &p);
    EXPECT_EQ(p.cursor_row, 7);
}

TEST_F(Pages, ModeTwelveKeepsEightyBySixtyCells) {
    auto* tall = new ScreenImage;
    tall->text_page = true;
    tall->width = 80;
    tall->height = 60;
    tall->bytes_per_pixel = 2;
    tall->pixels.assign(80 * 60 * 2, 0);
    install(tall);
    to_mode12();
    EXPECT_EQ(page().font_height, 8);
    EXPECT_EQ(page().text_rows(), 60);
    EXPECT_EQ(page().view_bottom, 59);
    // A glyph of the 8-row font keeps every stroke of the 16-row one.
    print("A");
    for (int r = 0; r < 8; ++r) {
        uint8_t bits = 0;
        for (int x = 0; x < 8; ++x) bits |= pixel(x, r) ? 0x80 >> x : 0;
        EXPECT_EQ(bits, builtin_font['A'][2 * r] | builtin_font['A'][2 * r + 1]) << r;
    }
}

// Grants a request that nobody should have made, so a wrong wait cannot hang the test.
struct Watchdog {
    std::atomic<bool> done{false}, had_to_grant{false};
    std::thread thread{[this] {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        while (!done) {
            if (display_lock.state() == DisplayLockState::requested) {
                had_to_grant = true;
                display_lock.grant_if_requested();
            }
            std::this_thread::yield();
        }
    }};
    ~Watchdog() {
        done = true;
        thread.join();
    }
};

TEST_F(Pages, ModeSwitchWaitsOnlyForARunningFrameBuilder) {
    for (bool automatic : {true, false}) {
        for (bool started : {true, false}) {
            if (automatic && started) continue;
            SCOPED_TRACE(testing::Message() << "automatic " << automatic << " started " << started);
            reset();
            automatic_display = automatic;
            display_started = started;
            Watchdog watchdog;
            set_screen_mode(12, 0, 0, 0, 0, 1);
            EXPECT_EQ(page().mode, 12);
            EXPECT_EQ(display_lock.state(), DisplayLockState::free);
            EXPECT_FALSE(watchdog.had_to_grant);
        }
    }
    automatic_display = true;
}

TEST_F(Pages, ModeSwitchTakesTheDisplayLock) {
    ScreenImage* old_page = display_page.load();
    full_frame_requested = false;
    display_started = true;
    std::atomic<bool> old_page_kept{false}, frame_request_waited{false}, released{false};
    std::thread frame_builder([&] {
        while (display_lock.state() != DisplayLockState::requested) std::this_thread::yield();
        frame_request_waited = !full_frame_requested;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        old_page_kept = display_page.load() == old_page && !full_frame_requested;
        display_lock.grant_if_requested();
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (display_lock.state() != DisplayLockState::free && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        released = display_lock.state() == DisplayLockState::free;
    });
    set_screen_mode(12, 0, 0, 0, 0, 1);
    frame_builder.join();
    EXPECT_TRUE(frame_request_waited);
    EXPECT_TRUE(old_page_kept);
    EXPECT_TRUE(released);
    EXPECT_EQ(display_page.load()->mode, 12);
    EXPECT_TRUE(full_frame_requested);
}

// Page state that a failed or skipped operation must leave alone.
struct Snapshot {
    ScreenImage* page;
    int mode, top, bottom, row, column, width, height;
    bool wrap, visible;
    std::vector<uint8_t> pixels;
    static Snapshot take() {
        ScreenImage& p = *write_page;
        return {&p, p.mode, p.view_top, p.view_bottom, p.cursor_row, p.cursor_column,
                p.width, p.height, p.wrap_held, p.cursor_visible, p.pixels};
    }
    bool operator==(const Snapshot&) const = default;
};

struct ErrorCase {
    const char* name;
    bool graphics;
    std::function<void()> call;
    std::function<void()> setup = [] {};
};

TEST_F(Pages, IllegalArgumentsRaiseFiveAndChangeNothing) {
    const ErrorCase cases[] = {
        {"mode 3", false, [] { set_screen_mode(3, 0, 0, 0, 0, 1); }},
        {"mode 6", false, [] { set_screen_mode(6, 0, 0, 0, 0, 1); }},
        {"mode 14", false, [] { set_screen_mode(14, 0, 0, 0, 0, 1); }},
        {"mode -1", false, [] { set_screen_mode(-1, 0, 0, 0, 0, 1); }},
        {"mode 13 not built", false, [] { set_screen_mode(13, 0, 0, 0, 0, 1); }},
        {"active page 1", false, [] { set_screen_mode(12, 0, 1, 0, 0, 5); }},
        {"visual page 1", false, [] { set_screen_mode(12, 0, 0, 1, 0, 9); }},
        {"clear colour 16", true, [] { clear_screen(0, 16, 2); }},
        {"clear colour 16 text", false, [] { clear_screen(0, 16, 2); }},
        {"clear method 3", true, [] { clear_screen(3, 0, 1); }},
        {"clear method -1", false, [] { clear_screen(-1, 0, 1); }},
        {"row 0", false, [] { locate_cursor(0, 1, 0, 0, 0, 1); }},
        {"row above viewport", false, [] { locate_cursor(4, 1, 0, 0, 0, 3); }, [] { set_text_viewport(5, 10, 1); }},
        {"row below viewport", false, [] { locate_cursor(11, 1, 0, 0, 0, 3); }, [] { set_text_viewport(5, 10, 1); }},
        {"row 51", false, [] { locate_cursor(51, 1, 0, 0, 0, 1); }},
        {"row 31 graphics", true, [] { locate_cursor(31, 1, 0, 0, 0, 1); }},
        {"column 0", false, [] { locate_cursor(1, 0, 0, 0, 0, 3); }},
        {"column 81", true, [] { locate_cursor(1, 81, 0, 0, 0, 3); }},
        {"widening with bad column", false, [] { locate_cursor(40, 81, 0, 0, 0, 3); }},
        {"visibility 2", false, [] { locate_cursor(1, 1, 2, 0, 0, 4); }},
        {"first line 32", false, [] { locate_cursor(1, 1, 0, 32, 0, 8); }},
        {"last line -1", false, [] { locate_cursor(1, 1, 0, 0, -1, 16); }},
        {"viewport top 0", false, [] { set_text_viewport(0, 5, 1); }},
        {"viewport top 26", false, [] { set_text_viewport(26, 26, 1); }},
        {"viewport bottom above top", true, [] { set_text_viewport(5, 4, 1); }},
        {"viewport bottom 31", true, [] { set_text_viewport(1, 31, 1); }},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (c.graphics) to_mode12();
        locate_cursor(5, 7, 0, 0, 0, 3);
        print("xy");
        c.setup();
        Snapshot before = Snapshot::take();
        c.call();
        EXPECT_EQ(pending_error.load(), 5);
        EXPECT_EQ(event_pending.load(), 1);
        EXPECT_TRUE(Snapshot::take() == before);
    }
}

TEST_F(Pages, NothingActsWhileAnErrorIsPending) {
    const ErrorCase cases[] = {
        {"set_screen_mode", false, [] { set_screen_mode(12, 0, 0, 0, 0, 1); }},
        {"set_screen_mode to text", true, [] { set_screen_mode(0, 0, 0, 0, 0, 1); }},
        {"clear_screen", true, [] { clear_screen(0, 0, 0); }},
        {"clear_screen text", false, [] { clear_screen(0, 0, 0); }},
        {"locate_cursor", false, [] { locate_cursor(3, 3, 0, 0, 0, 3); }},
        {"locate_cursor widening", false, [] { locate_cursor(40, 3, 0, 0, 0, 3); }},
        {"set_text_viewport", true, [] { set_text_viewport(2, 4, 1); }},
        {"print_text", true, [] { print("hello", 1); }},
        {"print_text newline", false, [] { print_text(empty_text, 1); }},
        {"bad mode", false, [] { set_screen_mode(5, 0, 0, 0, 0, 1); }},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        if (c.graphics) to_mode12();
        locate_cursor(5, 7, 0, 0, 0, 3);
        print("xy");
        raise_error(7);
        Snapshot before = Snapshot::take();
        c.call();
        EXPECT_TRUE(Snapshot::take() == before);
        EXPECT_EQ(pending_error.load(), 7);
    }
}

TEST_F(Pages, NewlineAndFitCheckActWhileAnErrorIsPending) {
    locate_cursor(5, 70, 0, 0, 0, 3);
    raise_error(7);
    fits("123456789012");  // 70 + 12 - 1 > 80
    expect_cursor(6, 1);
    print_newline();
    expect_cursor(7, 1);
}

TEST_F(Pages, FitCheckBreaksOnlyTextThatRunsPastTheLine) {
    struct Case {
        bool graphics;
        int column, length;
        bool breaks;
    } cases[] = {
        {false, 71, 10, false}, {false, 71, 11, true}, {false, 1, 200, false},
        {true, 71, 10, false},  {true, 71, 11, true},  {true, 1, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.graphics << " " << c.column << " " << c.length);
        reset();
        if (c.graphics) to_mode12();
        locate_cursor(5, c.column, 0, 0, 0, 3);
        std::string s(c.length, 'q');
        fits(s);
        expect_cursor(c.breaks ? 6 : 5, c.breaks ? 1 : c.column);
    }
    // A held wrap is not broken again.
    reset();
    locate_cursor(5, 80, 0, 0, 0, 3);
    print("q");
    fits("qq");
    expect_cursor(5, 80);
}

TEST_F(Pages, ControlBytes) {
    set_text_viewport(3, 10, 1);
    locate_cursor(4, 1, 0, 0, 0, 3);
    print("A\tB");
    EXPECT_EQ(cell_char(4, 9), 'B');
    EXPECT_EQ(row_text(4, 2, 8), "       ");
    print("\t");  // column 10 to 17
    expect_cursor(4, 17);
    print("\x1c\x1c\x1d" "C");  // right, right, left
    EXPECT_EQ(cell_char(4, 18), 'C');
    print("\x1e\x1e\x1e" "D");  // up stops at the viewport's top
    EXPECT_EQ(cell_char(3, 19), 'D');
    print("\x0b" "E");  // home
    EXPECT_EQ(cell_char(3, 1), 'E');
    print("\r" "F\n");
    EXPECT_EQ(cell_char(4, 1), 'F');
    expect_cursor(5, 1);
    print("\n", 1);  // the text's own newline ends the line
    expect_cursor(6, 1);
    locate_cursor(10, 1, 0, 0, 0, 3);
    print("\x1f" "G");  // down stops at the viewport's bottom
    EXPECT_EQ(cell_char(10, 1), 'G');
    print("\x0c");  // clear: cursor to the viewport's top
    expect_cursor(3, 1);
    EXPECT_EQ(cell_char(10, 1), 32);
    locate_cursor(5, 79, 0, 0, 0, 3);
    print("\t");  // a tab that reaches the end holds the wrap
    expect_cursor(5, 80);
    EXPECT_TRUE(page().wrap_held);
}

TEST_F(Pages, ClearScreen) {
    // Text page: the viewport rows and the last row, with the fill's attribute.
    for (int r = 1; r <= 25; ++r) {
        locate_cursor(r, 1, 0, 0, 0, 3);
        print("x");
    }
    set_text_viewport(3, 5, 1);
    clear_screen(0, 2, 2);
    expect_cursor(3, 1);
    EXPECT_EQ(cell_char(2, 1), 'x');
    EXPECT_EQ(cell_char(6, 1), 'x');
    for (int r : {3, 4, 5, 25}) {
        EXPECT_EQ(cell_char(r, 1), 32) << r;
        EXPECT_EQ(cell_attr(r, 80), 2 * 16 + 7) << r;
    }
    // Graphics page: every pixel, graphics cursor to the centre.
    to_mode12();
    page().cursor_x = page().cursor_y = 3;
    set_text_viewport(4, 6, 1);
    clear_screen(0, 13, 2);
    for (uint8_t v : page().pixels) ASSERT_EQ(v, 13);
    EXPECT_EQ(page().cursor_x, 320.0f);
    EXPECT_EQ(page().cursor_y, 240.0f);
    expect_cursor(4, 1);
    clear_screen(0, 0, 0);
    for (uint8_t v : page().pixels) ASSERT_EQ(v, 0);

    // The colour mask itself is the largest colour taken.
    for (bool graphics : {false, true}) {
        reset();
        if (graphics) to_mode12();
        clear_screen(0, 15, 2);
        EXPECT_EQ(pending_error.load(), 0) << graphics;
        EXPECT_EQ(graphics ? pixel(639, 479) : cell_attr(25, 80), graphics ? 15 : 7 * 16 + 7);
    }
}

TEST_F(Pages, TabFromATabStopWritesBlanksToTheNext) {
    const int cases[][2] = {{1, 9}, {9, 17}, {72, 73}};  // start column, end column
    for (auto [start, end] : cases) {
        SCOPED_TRACE(start);
        reset();
        locate_cursor(4, 1, 0, 0, 0, 3);
        print(std::string(80, 'x'));
        locate_cursor(4, start, 0, 0, 0, 3);
        print("\t");
        expect_cursor(4, end);
        EXPECT_EQ(row_text(4, start, end - 1), std::string(end - start, ' '));
        EXPECT_EQ(cell_char(4, end), 'x');
    }
}

TEST_F(Pages, GlyphCellsAreDrawnWholeOverAnyPage) {
    to_mode12();
    std::memset(page().pixels.data(), 9, page().pixels.size());
    page().foreground = 14;
    page().background = 2;
    locate_cursor(3, 5, 0, 0, 0, 3);
    const std::string text = "A\x01 ";
    print(text);
    // Cells of row 3, columns 5 to 7: pixel rows 32 to 47, columns 32 to 55.
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int expected = glyphs::text_pixel(text, 32, 32, x, y, 14, 2, 9);
            ASSERT_EQ(pixel(x, y), expected) << "x " << x << " y " << y;
        }
}

TEST_F(Pages, StartupScreenWidensOnce) {
    locate_cursor(3, 1, 0, 0, 0, 3);
    print("kept");
    set_screen_mode(0, 0, 0, 0, 0, 1);  // mode 0 alone keeps the allowance
    locate_cursor(40, 5, 0, 0, 0, 3);
    EXPECT_EQ(pending_error.load(), 0);
    EXPECT_EQ(page().height, 50);
    EXPECT_EQ(page().view_bottom, 49);
    expect_cursor(40, 5);
    EXPECT_EQ(row_text(3, 1, 4), "kept");
    EXPECT_EQ(cell_char(50, 80), 32);
    EXPECT_EQ(cell_attr(50, 80), 7);
    locate_cursor(50, 1, 0, 0, 0, 3);
    EXPECT_EQ(pending_error.load(), 0);

    // After a mode switch the text screen no longer widens.
    reset();
    set_screen_mode(12, 0, 0, 0, 0, 1);
    set_screen_mode(0, 0, 0, 0, 0, 1);
    EXPECT_TRUE(page().text_page);
    EXPECT_EQ(page().height, 25);
    locate_cursor(40, 5, 0, 0, 0, 3);
    EXPECT_EQ(pending_error.load(), 5);
    EXPECT_EQ(page().height, 25);

    // So does a switch that is refused.
    reset();
    set_screen_mode(3, 0, 0, 0, 0, 1);
    EXPECT_EQ(pending_error.load(), 5);
    pending_error = 0;
    locate_cursor(40, 5, 0, 0, 0, 3);
    EXPECT_EQ(pending_error.load(), 5);
    EXPECT_EQ(page().height, 25);
}

TEST(BuiltinFont, CodePage437Shapes) {
    const uint8_t letter_a[16] = {0, 0, 0x10, 0x38, 0x6c, 0xc6, 0xc6, 0xfe, 0xc6, 0xc6, 0xc6, 0xc6, 0, 0, 0, 0};
    const uint8_t smiling_face[16] = {0, 0, 0x7e, 0x81, 0xa5, 0x81, 0x81, 0xbd, 0x99, 0x81, 0x81, 0x7e, 0, 0, 0, 0};
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(builtin_font[65][r], letter_a[r]) << r;
        EXPECT_EQ(builtin_font[1][r], smiling_face[r]) << r;
        EXPECT_EQ(builtin_font[219][r], 0xFF) << r;
        EXPECT_EQ(builtin_font[0][r], 0) << r;
    }
}

}  // namespace
