#include "frame_builder.h"

#include <algorithm>
#include <cstring>

#if defined(__SANITIZE_THREAD__)
#define RACE_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RACE_CHECKED 1
#endif
#endif
#if RACE_CHECKED
// ThreadSanitizer's runtime: accesses between the two calls are not checked.
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
#endif

namespace {
FrameSlot slots[3];
std::atomic<uint64_t> last_sequence{0};

// The display page as one pass of the builder saw it: the frame is drawn
// from this copy, never from the live page, so the copy kept of the last
// frame is exactly what that frame shows.
struct PageCopy {
    const ScreenImage* page = nullptr;
    bool valid = false;
    uint16_t width = 0, height = 0;
    bool text_page = false;
    uint8_t bytes_per_pixel = 0;
    int32_t font_height = 0;
    bool cursor_visible = false;
    int16_t cursor_row = 0, cursor_column = 0;
    std::vector<uint8_t> pixels;
    std::array<PaletteColour, 256> palette{};
};
PageCopy shown;  // what the newest frame was built from
PageCopy taken;  // this pass's copy

// The one place that reads the live page's pixel (or cell) bytes. The
// program thread writes them without a lock, so a copy may catch a drawing
// half done; the next pass sees the rest as a change. This race is the only
// one the design accepts: locking every pixel write would cost the drawing
// loops far more than a frame shown half drawn until the next one.
void copy_page_bytes(const ScreenImage& page, std::vector<uint8_t>& out) {
    out.resize(page.pixels.size());
#if RACE_CHECKED
    // Out of ThreadSanitizer's sight: a report per collision, even one
    // suppressed, would slow a checked run a hundredfold.
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
#endif
    std::memcpy(out.data(), page.pixels.data(), out.size());
#if RACE_CHECKED
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
#endif
}

void take_copy(const ScreenImage& page, PageCopy& copy) {
    copy.page = &page;
    copy.valid = true;
    copy.width = page.width;
    copy.height = page.height;
    copy.text_page = page.text_page;
    copy.bytes_per_pixel = page.bytes_per_pixel;
    copy.font_height = page.font_height;
    copy.cursor_visible = page.cursor_visible;
    copy.cursor_row = page.cursor_row;
    copy.cursor_column = page.cursor_column;
    copy_page_bytes(page, copy.pixels);
    copy.palette = page.palette;
}

bool same_frame(const PageCopy& a, const PageCopy& b) {
    if (!a.valid || !b.valid || a.page != b.page || a.width != b.width || a.height != b.height ||
        a.text_page != b.text_page || a.bytes_per_pixel != b.bytes_per_pixel || a.font_height != b.font_height ||
        a.pixels != b.pixels || a.palette != b.palette)
        return false;
    return !a.text_page || (a.cursor_visible == b.cursor_visible && a.cursor_row == b.cursor_row &&
                            a.cursor_column == b.cursor_column);
}

int text_cell_height(const PageCopy& page) { return std::clamp(page.font_height, 1, 16); }

FrameSlot* claim_slot() {
    for (auto& slot : slots) {
        FrameState expected = FrameState::free;
        if (slot.state.compare_exchange_strong(expected, FrameState::writing)) return &slot;
    }
    // No slot free: overwrite the oldest frame the window has not taken.
    FrameSlot* oldest = nullptr;
    for (auto& slot : slots)
        if (slot.state.load() == FrameState::ready && (!oldest || slot.sequence < oldest->sequence)) oldest = &slot;
    if (oldest) {
        FrameState expected = FrameState::ready;
        if (oldest->state.compare_exchange_strong(expected, FrameState::writing)) return oldest;
    }
    return nullptr;
}

void render_text_page(const PageCopy& page, uint32_t* out) {
    const int columns = page.width, rows = page.height, cell_height = text_cell_height(page);
    const int frame_width = columns * 8;
    const size_t cells = static_cast<size_t>(columns) * rows;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            size_t cell = static_cast<size_t>(row) * columns + column;
            if (cell * 2 + 1 >= page.pixels.size() || cell >= cells) break;
            uint8_t character = page.pixels[cell * 2];
            uint8_t attribute = page.pixels[cell * 2 + 1];
            uint32_t fg = page.palette[attribute & 15] | 0xFF000000u;
            uint32_t bg = page.palette[(attribute >> 4) & 7] | 0xFF000000u;
            bool cursor_here = page.cursor_visible && page.cursor_row == row + 1 && page.cursor_column == column + 1;
            for (int y = 0; y < cell_height; ++y) {
                uint8_t bits = glyph_row(cell_height, character, y);
                // The cursor: the cell's two lowest lines in its foreground colour.
                if (cursor_here && y >= cell_height - 2) bits = 0xFF;
                uint32_t* line = out + static_cast<size_t>(row * cell_height + y) * frame_width + column * 8;
                for (int x = 0; x < 8; ++x) line[x] = (bits & (0x80 >> x)) ? fg : bg;
            }
        }
    }
}

void frame_size(const PageCopy& page, int& width, int& height) {
    if (page.text_page) {
        width = page.width * 8;
        height = page.height * text_cell_height(page);
    } else {
        width = page.width;
        height = page.height;
    }
}

void render_page(const PageCopy& page, uint32_t* out) {
    if (page.text_page) return render_text_page(page, out);
    const size_t count = static_cast<size_t>(page.width) * page.height;
    if (page.bytes_per_pixel == 4) {
        const size_t n = std::min(count, page.pixels.size() / 4);
        std::memcpy(out, page.pixels.data(), n * 4);
        for (size_t i = 0; i < n; ++i) out[i] |= 0xFF000000u;
        return;
    }
    // Palette with alpha forced, so a colour index maps straight to a pixel.
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = page.palette[i] | 0xFF000000u;
    const uint8_t* in = page.pixels.data();
    const size_t n = std::min(count, page.pixels.size());
    for (size_t i = 0; i < n; ++i) out[i] = colours[in[i]];
}
}  // namespace

void frame_builder_init() {
    for (auto& slot : slots) {
        slot.state.store(FrameState::free);
        slot.sequence.store(0);
    }
    shown = PageCopy{};
    taken = PageCopy{};
    last_sequence.store(0);
}

bool frame_builder_pass() {
    if (display_lock.grant_if_requested() != DisplayLockState::free) return false;
    // Already set when start_main_loop_thread runs the passes; this one is
    // for a caller that runs them itself.
    display_started.store(true, std::memory_order_relaxed);
    const ScreenImage* page = display_page.load();
    if (!page) return false;
    // One copy, taken first: the decision and the frame both come from it.
    take_copy(*page, taken);
    bool forced = full_frame_requested.exchange(false);
    if (!forced && same_frame(taken, shown)) return false;
    FrameSlot* slot = claim_slot();
    if (!slot) {
        // Nothing shown: the next pass finds the same change, and a forced
        // request waits for it too.
        if (forced) full_frame_requested.store(true);
        return false;
    }
    frame_size(taken, slot->width, slot->height);
    slot->pixels.resize(static_cast<size_t>(slot->width) * slot->height);
    std::fill(slot->pixels.begin(), slot->pixels.end(), 0xFF000000u);
    render_page(taken, slot->pixels.data());
    std::swap(shown, taken);
    slot->sequence.store(last_sequence.fetch_add(1) + 1);
    slot->state.store(FrameState::ready);
    return true;
}

const FrameSlot* take_newest_frame() {
    FrameSlot* newest = nullptr;
    for (auto& slot : slots)
        if (slot.state.load() == FrameState::ready && (!newest || slot.sequence > newest->sequence)) newest = &slot;
    if (!newest) return nullptr;
    FrameState expected = FrameState::ready;
    if (!newest->state.compare_exchange_strong(expected, FrameState::on_screen)) return nullptr;
    for (auto& slot : slots) {
        if (&slot == newest) continue;
        FrameState on_screen = FrameState::on_screen;
        slot.state.compare_exchange_strong(on_screen, FrameState::free);
        // An older ready frame is never shown now. Hold the slot before the
        // last look at its sequence: the builder may have just rewritten it.
        FrameState ready = FrameState::ready;
        if (slot.sequence < newest->sequence && slot.state.compare_exchange_strong(ready, FrameState::writing))
            slot.state.store(slot.sequence < newest->sequence ? FrameState::free : FrameState::ready);
    }
    return newest;
}
