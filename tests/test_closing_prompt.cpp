// The closing prompt (end_program) in a child process: the bottom row, the
// flush of the keys before it, the key that ends it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "glyph_cells.h"
#include "keyboard.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

// end_program in a child process, this thread standing in for the program
// thread. The exit handler reports what the process saw at its end.
std::atomic<bool> late_key_pushed{false};
void report_at_exit() {
    std::fprintf(stderr, "late=%d empty=%d close=%d\n", late_key_pushed.load() ? 1 : 0,
                 key_queue.head.load() == key_queue.tail.load() ? 1 : 0, close_program.load());
}

// end_program turns the automatic display back on once its flush is over:
// a key given from then on is the one that ends the prompt.
void press_after_the_flush(uint8_t character) {
    for (int waited = 0; !automatic_display.load(); ++waited) {
        if (waited == 20000) {
            std::fprintf(stderr, "the flush never ended\n");
            std::_Exit(5);
        }
        platform::Sleep(1);
    }
    late_key_pushed = true;
    handle_character_key(character, 0);
}

[[noreturn]] void run_end_program() {
    runtime_init(false);
    close_program = 0;
    automatic_display = false;
    for (char c : std::string("early")) key_queue_push(static_cast<uint8_t>(c), 0);
    start_event_timer_thread();
    start_headless_main_loop_thread();
    std::atexit(report_at_exit);
    std::thread(press_after_the_flush, 'x').detach();
    end_program();
}

TEST(EndProgram, FlushesThenEndsOnTheNextKey) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_end_program(), ::testing::ExitedWithCode(0), "late=1 empty=1 close=1");
}

// The prompt on the benchmark's 640 x 480 page: only row 30 changes, and
// the display page becomes the write page.
ScreenImage* prompt_page = nullptr;
ScreenImage* start_up_page = nullptr;  // kept reachable once it stops being the write page
void report_page_at_exit() {
    static const char prompt[] = "Press any key to continue";
    ScreenImage* p = prompt_page;
    int changed_above = 0, wrong_in_row = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            uint8_t v = p->row(y)[x];
            if (y < 464) {
                changed_above += v != 5;
                continue;
            }
            wrong_in_row += v != glyphs::text_pixel<uint8_t>(prompt, 0, 464, x, y, 15, 0, 0);
        }
    std::fprintf(stderr, "write=%d view=%d-%d cursor=%d,%d above=%d row=%d\n", write_page == p ? 1 : 0,
                 p->view_top, p->view_bottom, int{p->cursor_row}, int{p->cursor_column}, changed_above, wrong_in_row);
}

[[noreturn]] void run_prompt_on_graphics_page() {
    runtime_init(false);
    close_program = 0;
    start_up_page = write_page;
    prompt_page = new_screen_page(12, 16);
    prompt_page->foreground = 15;
    prompt_page->background = 0;
    std::fill(prompt_page->pixels.begin(), prompt_page->pixels.end(), 5);
    display_page = prompt_page;
    read_page = prompt_page;  // write_page stays the start-up text screen
    automatic_display = false;
    start_event_timer_thread();
    start_headless_main_loop_thread();
    std::atexit(report_page_at_exit);
    std::thread(press_after_the_flush, 'x').detach();
    end_program();
}

TEST(EndProgram, PromptOnTheBottomRowOfTheDisplayPage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run_prompt_on_graphics_page(), ::testing::ExitedWithCode(0),
                "write=1 view=30-30 cursor=30,26 above=0 row=0");
}

}  // namespace
