// The process start-up. The runtime owns the process: it starts the program
// thread and then becomes the window thread.
#include "display.h"
#include "runtime.h"

int runtime_main(int argc, char** argv) {
    prepare_x_connections(argc, argv);
    // First: from here on every failed allocation ends through the critical box.
    runtime_init(true);
    for (int i = 1; i < argc; ++i) {
        if (i > 1) runtime_command_line += ' ';
        runtime_command_line += argv[i];
    }
    start_program_thread();
    start_event_timer_thread();
    start_main_loop_thread();

    run_window_thread(argc, argv);
}
