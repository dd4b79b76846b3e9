// Placeholder display side: runs the program with no window.
#include "runtime.h"

int runtime_main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (i > 1) runtime_command_line += ' ';
        runtime_command_line += argv[i];
    }
    runtime_init(true);
    start_program_and_timer_threads();
    run_headless_main_loop();
}
