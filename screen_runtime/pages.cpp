// Screen pages, the screen-mode switch and text output on text and graphics pages.
#include "pages.h"

#include <algorithm>
#include <cstring>

#include "errors.h"
#include "platform/platform.h"
#include "screen_runtime.h"

const std::array<PaletteColour, 16> standard_colours = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
    0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF, 0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};
std::array<PaletteColour, 256> default_palette{};

std::atomic<ScreenImage*> display_page{nullptr};
ScreenImage* write_page = nullptr;
ScreenImage* read_page = nullptr;
DisplayLock display_lock;
std::atomic<bool> display_started{false};
std::atomic<bool> automatic_display{true};
std::atomic<bool> full_frame_requested{true};

namespace {

constexpr int font_width = 8;

// The start-up text screen may be widened to 80 x 50 once, until the
// program first changes the screen mode.
bool widening_allowed = true;

void fail() { raise_error(error_code::illegal_function_call); }

void free_pages() {
    ScreenImage* display = display_page.load();
    ScreenImage* pages[3] = {display, write_page, read_page};
    for (int i = 0; i < 3; ++i) {
        bool seen = false;
        for (int j = 0; j < i; ++j) seen = seen || pages[j] == pages[i];
        if (!seen) delete pages[i];
    }
    display_page = nullptr;
    write_page = read_page = nullptr;
}

void make_only_page(ScreenImage* page) {
    write_page = read_page = page;
    display_page = page;
}

// The frame builder reads the display page from its own thread: before the
// page (or its buffer) is replaced it must have let go of it.
void take_display_lock() {
    if (!automatic_display.load(std::memory_order_relaxed) || !display_started.load(std::memory_order_relaxed))
        return;
    display_lock.request_and_wait();
}

// Text rows first..last become blanks; the attribute is that of a blank in
// the page's colours unless the clear gives its own fill.
void blank_cells(ScreenImage* page, int first_row, int last_row, int attribute = -1) {
    if (attribute < 0) attribute = blank_attribute(page->background, page->foreground);
    for (int r = first_row; r <= last_row; ++r) {
        uint8_t* cell = page->row(r - 1);
        for (int c = 0; c < page->width; ++c) {
            cell[2 * c] = 32;
            cell[2 * c + 1] = static_cast<uint8_t>(attribute);
        }
    }
}

// Graphics pages: pixel rows [y1, y2) of the page take colour.
void fill_pixel_rows(ScreenImage* page, int y1, int y2, uint32_t colour) {
    y1 = std::max(y1, 0);
    y2 = std::min(y2, static_cast<int>(page->height));
    if (y1 >= y2) return;
    std::memset(page->row(y1), static_cast<int>(colour & page->colour_mask & 0xFF),
                static_cast<size_t>(y2 - y1) * page->width);
}

void draw_character(ScreenImage* page, uint8_t code) {
    int row = page->cursor_row, column = page->cursor_column;
    if (page->text_page) {
        if (row < 1 || row > page->height || column < 1 || column > page->width) return;
        uint8_t* cell = page->row(row - 1) + 2 * (column - 1);
        cell[0] = code;
        cell[1] = static_cast<uint8_t>(page->background * 16 + (page->foreground & 15) +
                                       ((page->foreground & 16) ? 128 : 0));
        return;
    }
    if (page->bytes_per_pixel != 1) return;
    int h = page->font_height;
    int x0 = (column - 1) * font_width, y0 = (row - 1) * h;
    if (x0 < 0 || y0 < 0 || x0 >= page->width) return;
    int w = std::min(font_width, page->width - x0);
    uint8_t fg = static_cast<uint8_t>(page->foreground & page->colour_mask);
    uint8_t bg = static_cast<uint8_t>(page->background & page->colour_mask);
    bool whole_cell = page->print_mode == 0;
    for (int r = 0; r < h && y0 + r < page->height; ++r) {
        uint8_t bits = glyph_row(h, code, r);
        uint8_t* p = page->row(y0 + r) + x0;
        for (int x = 0; x < w; ++x) {
            if (bits & (0x80 >> x))
                p[x] = fg;
            else if (whole_cell)
                p[x] = bg;
        }
    }
}

}  // namespace

void pages_init() {
    for (int i = 0; i < 256; ++i) default_palette[i] = i < 16 ? standard_colours[i] : 0xFF000000;
    free_pages();
    make_only_page(new_screen_page(0, 16));
    widening_allowed = true;
    display_lock.release();
    full_frame_requested = true;
}

// Only what differs from ScreenImage's defaults is set here.
ScreenImage* new_screen_page(uint16_t mode, int font_height) {
    auto* page = new ScreenImage;
    page->mode = mode;
    page->font_height = font_height;
    if (mode == 0) {
        page->text_page = true;
        page->width = 80;
        page->height = 25;
        page->bytes_per_pixel = 2;
        page->foreground = page->draw_colour = 7;
        page->clip_x2 = page->width * font_width - 1;
        page->clip_y2 = page->height * font_height - 1;
        page->pixels.resize(size_t{80} * 25 * 2);
        blank_cells(page, 1, page->height);
        page->palette = default_palette;
    } else {
        page->width = 640;
        page->height = 480;
        page->pixels.assign(size_t{640} * 480, 0);
        std::copy(standard_colours.begin(), standard_colours.end(), page->palette.begin());
    }
    // The last text row lies below the viewport.
    page->view_bottom = static_cast<int16_t>(page->text_rows() - 1);
    return page;
}

void set_screen_mode(int32_t mode, int32_t, int32_t active_page, int32_t visual_page, int32_t,
                     int32_t passed) {
    if (error_pending()) return;
    ScreenImage* old = write_page;
    if (!(passed & screen_mode_given::mode)) mode = old->mode;
    // Any call but one that gives mode 0 alone ends the start-up widening,
    // also one that is refused.
    if (!(passed == screen_mode_given::mode && mode == 0)) widening_allowed = false;
    if (mode < 0 || (mode >= 3 && mode <= 6) || mode > 13) return fail();
    // One page per screen, and only the text screen and mode 12 are built.
    if (((passed & screen_mode_given::active_page) && active_page != 0) ||
        ((passed & screen_mode_given::visual_page) && visual_page != 0))
        return fail();
    if (mode != 0 && mode != 12) return fail();
    if (mode == old->mode) return;

    // Mode 12 keeps the font of an 80 x 60 text screen; the text screen has font 16.
    const int font_height = mode == 12 && old->text_columns() == 80 && old->text_rows() == 60 ? 8 : 16;
    ScreenImage* page = new_screen_page(static_cast<uint16_t>(mode), font_height);
    take_display_lock();
    full_frame_requested = true;
    free_pages();
    make_only_page(page);
    display_lock.release();
}

// Each operation's `passed` bits: which of its optional arguments are given
// (set_screen_mode's are in pages.h).
namespace clear_given {
constexpr int32_t method = 1;
constexpr int32_t colour = 2;
}  // namespace clear_given

void clear_screen(int32_t method, uint32_t colour, int32_t passed) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    uint32_t fill = page->background;
    if (passed & clear_given::colour) {
        if (page->bytes_per_pixel != 4 && colour > page->colour_mask) return fail();
        fill = colour;
    }
    if ((passed & clear_given::method) && (method < 0 || method > 2)) return fail();
    bool view_only = (passed & clear_given::method) && method == 2;

    page->cursor_row = page->view_top;
    page->cursor_column = 1;
    page->wrap_held = false;
    if (page->text_page) {
        const int attribute = blank_attribute(fill, page->foreground);
        blank_cells(page, page->view_top, page->view_bottom, attribute);
        if (!view_only && page->view_bottom < page->height) blank_cells(page, page->height, page->height, attribute);
        return;
    }
    if (view_only) {
        fill_pixel_rows(page, (page->view_top - 1) * page->font_height, page->view_bottom * page->font_height,
                        fill);
        return;
    }
    if (page->bytes_per_pixel == 1) {
        std::memset(page->pixels.data(), static_cast<int>(fill & page->colour_mask & 0xFF), page->pixels.size());
    } else if (page->bytes_per_pixel == 4) {
        auto* words = reinterpret_cast<uint32_t*>(page->pixels.data());
        std::fill(words, words + page->pixels.size() / 4, fill);
    }
    page->cursor_x = static_cast<float>((page->clip_x2 - page->clip_x1 + 1) / 2);
    page->cursor_y = static_cast<float>((page->clip_y2 - page->clip_y1 + 1) / 2);
}

namespace locate_given {
constexpr int32_t row = 1;
constexpr int32_t column = 2;
constexpr int32_t visibility = 4;
constexpr int32_t first_line = 8;
constexpr int32_t last_line = 16;
}  // namespace locate_given

void locate_cursor(int32_t row, int32_t column, int32_t visibility, int32_t first_line, int32_t last_line,
                   int32_t passed) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    int rows = page->text_rows(), columns = page->text_columns();
    bool widen = false;
    if (passed & locate_given::row) {
        if (row < page->view_top) return fail();
        if (row > page->view_bottom && row != rows) {
            // Rows past the start-up screen's 25 reach an 80 x 50 screen.
            bool startup_screen = page->text_page && page->mode == 0 && page->width == 80 && page->height == 25;
            if (!(widening_allowed && startup_screen && row > rows && row <= 50)) return fail();
            widen = true;
        }
    }
    if ((passed & locate_given::column) && (column < 1 || column > columns)) return fail();
    if ((passed & locate_given::visibility) && (visibility < 0 || visibility > 1)) return fail();
    if ((passed & locate_given::first_line) && (first_line < 0 || first_line > 31)) return fail();
    if ((passed & locate_given::last_line) && (last_line < 0 || last_line > 31)) return fail();

    if (widen) {
        widening_allowed = false;
        take_display_lock();
        full_frame_requested = true;
        page->height = 50;
        page->font_height = 8;  // the frame keeps its 640 x 400 pixels
        page->view_top = 1;
        page->view_bottom = 49;
        page->clip_y2 = 50 * 8 - 1;
        page->pixels.resize(80 * 50 * 2);
        blank_cells(page, 26, 50);
        display_lock.release();
    }
    if (passed & locate_given::row) page->cursor_row = static_cast<int16_t>(row);
    if (passed & locate_given::column) page->cursor_column = static_cast<int16_t>(column);
    if (passed & locate_given::visibility) page->cursor_visible = visibility != 0;
    if (passed & locate_given::first_line) page->cursor_first_line = static_cast<uint8_t>(first_line);
    if (passed & locate_given::last_line) page->cursor_last_line = static_cast<uint8_t>(last_line);
    page->wrap_held = false;
}

void set_text_viewport(int32_t top, int32_t bottom, int32_t passed) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    int rows = page->text_rows();
    const bool rows_given = passed != 0;
    if (rows_given) {
        if (top < 1 || top > rows || bottom < top || bottom > rows) return fail();
    } else {
        top = 1;
        bottom = rows;
    }
    page->view_top = static_cast<int16_t>(top);
    page->view_bottom = static_cast<int16_t>(bottom);
    page->cursor_row = static_cast<int16_t>(top);
    page->cursor_column = 1;
    page->wrap_held = false;
}

void ensure_text_fits(TextString* text) {
    ScreenImage* page = write_page;
    if (page->wrap_held || page->cursor_column == 1) return;
    int64_t length = text ? text->length : 0;
    bool overflows = page->text_page
                         ? page->cursor_column + length - 1 > page->width
                         : int64_t{page->cursor_column - 1} * font_width + length * font_width > page->width;
    if (overflows) print_newline();
}

void print_text(TextString* text, int32_t newline) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    int32_t length = text ? text->length : 0;
    // An empty text keeps a held wrap unless it ends the line: then the
    // line's own newline below takes the wrap's place.
    if (page->wrap_held && (length > 0 || newline)) {
        page->wrap_held = false;
        if (length > 0) print_newline();
    }
    bool last_was_newline = false;
    // A drawn byte that leaves the last column wraps at once when more
    // output follows; otherwise the wrap waits for the next print.
    auto put = [&](uint8_t code, bool more_follows) {
        draw_character(page, code);
        last_was_newline = false;
        if (++page->cursor_column <= page->text_columns()) return;
        if (more_follows) {
            print_newline();
            last_was_newline = true;
        } else {
            page->cursor_column = static_cast<int16_t>(page->text_columns());
            page->wrap_held = true;
        }
    };
    for (int32_t i = 0; i < length; ++i) {
        uint8_t code = text->data[i];
        bool more_follows = i + 1 < length || newline;
        switch (code) {
        case 7:
            platform::Sleep(250);
            last_was_newline = false;
            break;
        case 9:
            do put(32, more_follows);
            while (!page->wrap_held && (page->cursor_column - 1) % 8 != 0);
            break;
        case 10:
        case 13:
            print_newline();
            last_was_newline = true;
            break;
        case 11:
            page->cursor_row = page->view_top;
            page->cursor_column = 1;
            last_was_newline = false;
            break;
        case 12:
            clear_screen(0, 0, 0);
            last_was_newline = false;
            break;
        case 28:
            page->cursor_column = static_cast<int16_t>(std::min(page->cursor_column + 1, page->text_columns()));
            last_was_newline = false;
            break;
        case 29:
            page->cursor_column = static_cast<int16_t>(std::max(page->cursor_column - 1, 1));
            last_was_newline = false;
            break;
        case 30:
            page->cursor_row = static_cast<int16_t>(std::max<int>(page->cursor_row - 1, page->view_top));
            last_was_newline = false;
            break;
        case 31:
            page->cursor_row = static_cast<int16_t>(std::min<int>(page->cursor_row + 1, page->view_bottom));
            last_was_newline = false;
            break;
        default:
            put(code, more_follows);
            break;
        }
    }
    if (newline && !last_was_newline) print_newline();
}

void print_newline() {
    ScreenImage* page = write_page;
    page->wrap_held = false;
    page->cursor_column = 1;
    if (++page->cursor_row <= page->view_bottom) return;
    page->cursor_row = page->view_bottom;
    int top = page->view_top, bottom = page->view_bottom;
    if (page->text_page) {
        size_t row_bytes = static_cast<size_t>(page->width) * 2;
        if (bottom > top) std::memmove(page->row(top - 1), page->row(top), row_bytes * (bottom - top));
        blank_cells(page, bottom, bottom);
        return;
    }
    int h = page->font_height;
    int y_top = (top - 1) * h, y_bottom = bottom * h;  // pixel rows [y_top, y_bottom)
    y_bottom = std::min(y_bottom, static_cast<int>(page->height));
    size_t row_bytes = static_cast<size_t>(page->width) * page->bytes_per_pixel;
    if (y_bottom - h > y_top)
        std::memmove(page->row(y_top), page->row(y_top + h), row_bytes * (y_bottom - h - y_top));
    if (page->bytes_per_pixel == 1) fill_pixel_rows(page, y_bottom - h, y_bottom, page->background);
}
