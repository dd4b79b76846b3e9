// The string store, the descriptor pool and the list of temporaries.
#pragma once

#include <cstdint>

struct TextString;

// Empties the store, the pool and the temporaries and makes empty_text.
// Descriptors handed out before are void afterwards; the memory is kept.
void strings_init();

// For tests: bytes in use at the store's end (live and dead), bytes held by
// live strings, the store's size, and how often it moved strings.
uint32_t string_store_used();
uint32_t string_store_live();
uint32_t string_store_capacity();
uint32_t string_store_moves();
// Descriptors taken from the pool and not yet given back.
uint32_t string_descriptors_in_use();

// Test seam: the store may not grow beyond this many bytes (0: no limit).
// Kept across strings_init.
void string_store_set_limit(uint32_t max_bytes);

// Test seam: the lists that report `code` when they cannot grow
// (error_code::string_pool_full, store_strings_full, temporaries_full) may
// not hold more than this many entries (0: no limit). Kept across strings_init.
void string_list_set_limit(int32_t code, uint32_t max_entries);

// A permanent fixed-length string of `length` blanks. Assignments into it
// keep its length.
TextString* new_fixed_text_string(uint32_t length);
