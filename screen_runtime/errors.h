// Errors, statement events and the shutdown handshake of the program thread.
#pragma once

#include <atomic>
#include <cstdint>

// The shutdown's acknowledgements: one bit for each thread it waits for.
extern std::atomic<uint32_t> shutdown_ack;
constexpr uint32_t program_thread_halted = 1;
constexpr uint32_t event_timer_ended = 2;
constexpr uint32_t every_thread_acknowledged = program_thread_halted | event_timer_ended;

// The line that check_statement_events recorded for the pending error.
int32_t error_line();

// Description of an error code ("Unprintable error" when it has none).
const char* error_text(int32_t code);

// From here on an allocation that fails, on any thread, ends the process
// through the critical "Out of memory" box (257) with exit code 0.
void install_out_of_memory_handler();

// Writes to standard error with neither allocation nor lock: safe when
// memory or the display is gone.
void write_stderr(const char* text);

// Clears pending_error, event_pending and the recorded line (tests and start-up).
void errors_init();
