// The string store, the descriptor pool and the list of temporaries.
#pragma once

#include <cstdint>

struct TextString;

// Empties the store, the pool and the temporaries and makes empty_text.
void strings_init();

// For tests: bytes in use at the store's end and how often it moved strings.
uint32_t string_store_used();
uint32_t string_store_moves();
