// Placeholder pages: the start-up text screen and the mode-12 page.
#include "pages.h"
#include "screen_runtime.h"

const std::array<PaletteColour, 16> standard_colours = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
    0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF, 0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};
std::array<PaletteColour, 256> default_palette{};

std::atomic<ScreenImage*> display_page{nullptr};
ScreenImage* write_page = nullptr;
ScreenImage* read_page = nullptr;
std::atomic<int32_t> display_lock{0};
std::atomic<bool> display_started{false};
std::atomic<bool> automatic_display{true};
std::atomic<bool> full_frame_requested{true};

const uint8_t builtin_font[256][16] = {};

void pages_init() {
    for (int i = 0; i < 256; ++i) default_palette[i] = i < 16 ? standard_colours[i] : 0xFF000000;
    delete write_page;
    auto* page = new ScreenImage;
    page->text_page = true;
    page->width = 80;
    page->height = 25;
    page->bytes_per_pixel = 2;
    page->bits_per_pixel = 4;
    page->foreground = 7;
    page->background = 0;
    page->draw_colour = 7;
    page->view_top = 1;
    page->view_bottom = 24;
    page->pixels.resize(80 * 25 * 2);
    for (size_t i = 0; i < page->pixels.size(); i += 2) {
        page->pixels[i] = 32;
        page->pixels[i + 1] = 7;
    }
    page->palette = default_palette;
    write_page = read_page = page;
    display_page = page;
}

ScreenImage* new_mode12_page(int font_height) {
    auto* page = new ScreenImage;
    page->width = 640;
    page->height = 480;
    page->mode = 12;
    page->font_height = font_height;
    page->view_bottom = static_cast<int16_t>(480 / font_height - 1);
    page->pixels.assign(640 * 480, 0);
    for (int i = 0; i < 256; ++i) page->palette[i] = i < 16 ? standard_colours[i] : 0;
    return page;
}

void set_screen_mode(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
void clear_screen(int32_t, uint32_t, int32_t) {}
void locate_cursor(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {}
void set_text_viewport(int32_t, int32_t, int32_t) {}
void ensure_text_fits(TextString*) {}
void print_text(TextString*, int32_t) {}
void print_newline() {}
