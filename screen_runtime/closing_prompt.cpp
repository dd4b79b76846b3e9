// The closing prompt: end_program.
#include "keyboard.h"
#include "pages.h"
#include "platform/platform.h"
#include "screen_runtime.h"

void end_program() {
    // This runtime opens no files, so there are none to close.
    write_page = display_page.load();
    const int32_t rows = write_page->text_rows();
    set_text_viewport(rows, rows, 1);
    print_text(empty_text, 1);
    {
        static const char prompt[] = "Press any key to continue";
        uint32_t mark = temp_string_count();
        print_text(text_from_literal_len(prompt, sizeof prompt - 1), 0);
        release_temp_strings(mark, 0);
    }
    while (take_key()) platform::Sleep(0);
    automatic_display.store(true, std::memory_order_relaxed);
    for (;;) {
        platform::Sleep(100);
        if (stop_program.load(std::memory_order_relaxed)) halt_program_thread();
        if (take_key()) break;
    }
    close_program.store(1, std::memory_order_relaxed);
    halt_program_thread();
}
