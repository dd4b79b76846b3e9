// Errors, statement events and the shutdown handshake of the program thread.
#pragma once

#include <atomic>
#include <cstdint>

// Bit 0: the program thread has halted; bit 1: the event-timer thread has ended.
extern std::atomic<uint32_t> shutdown_ack;

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
