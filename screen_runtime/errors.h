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

// The error codes, by the numbers the reports show; error_text gives their texts.
namespace error_code {
constexpr int32_t illegal_function_call = 5;
constexpr int32_t overflow = 6;
constexpr int32_t out_of_memory = 7;
constexpr int32_t subscript_out_of_range = 9;
constexpr int32_t division_by_zero = 11;  // critical
constexpr int32_t type_mismatch = 13;
constexpr int32_t bad_file_name_or_number = 52;
constexpr int32_t file_not_found = 53;
constexpr int32_t device_io_error = 57;
constexpr int32_t input_past_end_of_file = 62;
constexpr int32_t path_not_found = 76;
// Critical: raise_error ends the process at once.
constexpr int32_t out_of_stack_space = 256;
constexpr int32_t allocation_failed = 257;  // "Out of memory", cause 1
constexpr int32_t dynamic_library_not_loaded = 259;
constexpr int32_t dynamic_library_function_missing = 260;
constexpr int32_t dynamic_library_start_failed = 261;
constexpr int32_t hosted_mode_unavailable = 262;
constexpr int32_t hosted_mode_start_failed = 263;
constexpr int32_t gl_subprogram_not_started = 270;
constexpr int32_t gl_subprogram_failed = 271;
// Recorded as any other error; report_error ends the process on them.
constexpr int32_t first_reported_critical = 300;
constexpr int32_t last_reported_critical = 313;
// Critical: "Out of memory" in one of the runtime's own stores, cause code - 500.
constexpr int32_t first_store_full = 502;
constexpr int32_t static_cells_full = 504;
constexpr int32_t string_pool_full = 508;      // the pool's list of returned descriptors
constexpr int32_t store_strings_full = 510;    // the list of store strings
constexpr int32_t temporaries_full = 511;      // the list of temporaries
constexpr int32_t string_store_full = 512;
constexpr int32_t last_store_full = 518;
}  // namespace error_code

// Description of an error code ("Unprintable error" when it has none).
const char* error_text(int32_t code);

// From here on an allocation that fails, on any thread, ends the process
// through the critical "Out of memory" box (allocation_failed) with exit code 0.
void install_out_of_memory_handler();

// Writes to standard error with neither allocation nor lock: safe when
// memory or the display is gone.
void write_stderr(const char* text);

// Clears pending_error, event_pending and the recorded line (tests and start-up).
void errors_init();
