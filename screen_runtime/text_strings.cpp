// Text strings: one shared byte store, a pool of descriptors and the list of
// temporaries. Only the program thread uses them, so nothing locks.
//
// Store strings sit one after another in the store, each with its capacity
// (its length plus a 32-byte gap when made). The list of store strings keeps
// them in address order; a freed string leaves an empty entry and dead bytes
// that the next compaction squeezes out. Compaction and growth move bytes, so
// they rewrite every live descriptor's data pointer through that list.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "errors.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "string_store.h"

TextString* empty_text = nullptr;

namespace {

constexpr uint32_t spare_bytes = 32;
constexpr uint32_t first_store_size = 16 * 1024;
constexpr uint64_t largest_store = 0x80000000u;  // offsets and lengths stay 32-bit
constexpr uint32_t descriptors_per_chunk = 256;

// Bytes a zero-length view points at, so that no caller sees a null pointer.
uint8_t no_bytes[1] = {0};

[[noreturn]] void out_of_memory(int32_t code) {
    raise_error(code);  // critical: ends the process
    end_process();
}

// Entry limits of the lists by their error code, string_pool_full to
// temporaries_full; 0: none.
uint32_t list_limits[4] = {};

bool is_list_code(int32_t code) {
    return code >= error_code::string_pool_full && code <= error_code::temporaries_full;
}

uint32_t list_limit(int32_t code) {
    return is_list_code(code) ? list_limits[code - error_code::string_pool_full] : 0;
}

// A growable array of pointers on malloc, so that failure is ours to report.
struct PointerList {
    void** items = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;

    void reserve(uint32_t wanted, int32_t code) {
        if (wanted <= capacity) return;
        uint64_t size = capacity ? capacity : 64;
        while (size < wanted) size *= 2;
        if (size > UINT32_MAX) out_of_memory(code);
        if (const uint32_t limit = list_limit(code)) {
            if (wanted > limit) out_of_memory(code);
            size = std::min<uint64_t>(size, limit);
        }
        void* grown = std::realloc(items, size * sizeof(void*));
        if (!grown) out_of_memory(code);
        items = static_cast<void**>(grown);
        capacity = static_cast<uint32_t>(size);
    }
    void push(void* p, int32_t code) {
        if (count == capacity) reserve(count + 1, code);
        items[count++] = p;
    }
};

// --- descriptor pool ---------------------------------------------------------

PointerList chunks;    // arrays of descriptors_per_chunk descriptors, never freed
PointerList returned;  // descriptors free for use; capacity covers them all

[[gnu::noinline]] void add_chunk() {
    chunks.reserve(chunks.count + 1, error_code::string_pool_full);
    returned.reserve((chunks.count + 1) * descriptors_per_chunk, error_code::string_pool_full);
    auto* chunk = static_cast<TextString*>(std::malloc(sizeof(TextString) * descriptors_per_chunk));
    if (!chunk) out_of_memory(error_code::string_pool_full);
    chunks.push(chunk, error_code::string_pool_full);
    for (uint32_t i = descriptors_per_chunk; i-- > 0;)
        returned.push(new (&chunk[i]) TextString, error_code::string_pool_full);
}

TextString* take_descriptor() {
    if (returned.count == 0) add_chunk();
    auto* t = static_cast<TextString*>(returned.items[--returned.count]);
    *t = TextString{};
    return t;
}

void give_back_descriptor(TextString* t) {
    *t = TextString{};
    t->length = -1;  // marks a descriptor that is back in the pool
    returned.push(t, error_code::string_pool_full);
}

// --- the store ----------------------------------------------------------------

uint8_t* store = nullptr;
uint32_t store_size = 0;
uint32_t store_top = 0;   // end of the last string's bytes
uint32_t store_live = 0;  // bytes held by live strings
uint32_t store_moves = 0;
uint32_t store_limit = 0;
PointerList store_strings;  // in address order; empty entries for freed strings

TextString* store_entry(uint32_t i) { return static_cast<TextString*>(store_strings.items[i]); }

// Packs the live strings to the start of `target` (the store itself or a new
// buffer), trimming each to its length plus the gap, in address order.
void compact_into(uint8_t* target) {
    uint32_t at = 0;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < store_strings.count; ++i) {
        TextString* s = store_entry(i);
        if (!s) continue;
        uint32_t keep = std::min<uint32_t>(s->capacity, static_cast<uint32_t>(s->length) + spare_bytes);
        if (target + at != s->data) std::memmove(target + at, s->data, keep);
        s->data = target + at;
        s->capacity = keep;
        s->store_index = static_cast<int32_t>(kept);
        store_strings.items[kept++] = s;
        at += keep;
    }
    store_strings.count = kept;
    store_top = store_live = at;
    ++store_moves;
}

// Makes room for `bytes` more at the store's end: squeezes or grows it.
[[gnu::noinline]] void make_room(uint64_t bytes) {
    uint64_t needed = store_live + bytes;
    if (needed <= store_size / 2) {  // mostly dead bytes: squeezing is enough
        compact_into(store);
        return;
    }
    uint64_t ceiling = store_limit ? std::min<uint64_t>(store_limit, largest_store) : largest_store;
    uint64_t size = std::max<uint64_t>(store_size, first_store_size);
    while (size < needed * 2 && size < ceiling) size *= 2;
    size = std::min(size, ceiling);
    uint8_t* grown = size >= needed && size > store_size ? static_cast<uint8_t*>(std::malloc(size)) : nullptr;
    if (!grown && needed < size && size > store_size) {
        size = needed;  // the doubled size is out of reach: try the bare minimum
        grown = static_cast<uint8_t*>(std::malloc(size));
    }
    if (!grown) {
        if (needed > store_size) out_of_memory(error_code::string_store_full);
        compact_into(store);
        return;
    }
    compact_into(grown);
    std::free(store);
    store = grown;
    store_size = static_cast<uint32_t>(size);
}

inline void ensure_room(uint64_t bytes) {
    if (store_top + bytes > store_size) make_room(bytes);
}

// Gives `t` a fresh block of `bytes` at the store's end. `t` must hold none.
void attach_block(TextString* t, uint32_t bytes) {
    store_strings.reserve(store_strings.count + 1, error_code::store_strings_full);
    ensure_room(bytes);
    t->data = store + store_top;
    t->capacity = bytes;
    t->store_index = static_cast<int32_t>(store_strings.count);
    store_strings.items[store_strings.count++] = t;
    store_top += bytes;
    store_live += bytes;
}

void detach_block(TextString* t) {
    uint32_t i = static_cast<uint32_t>(t->store_index);
    store_strings.items[i] = nullptr;
    store_live -= t->capacity;
    if (i + 1 == store_strings.count) {  // the last block: the store's end comes back
        while (store_strings.count && !store_entry(store_strings.count - 1)) --store_strings.count;
        if (store_strings.count) {
            TextString* last = store_entry(store_strings.count - 1);
            store_top = static_cast<uint32_t>(last->data - store) + last->capacity;
        } else {
            store_top = 0;
        }
    }
    t->store_index = -1;
    t->data = nullptr;
    t->capacity = 0;
}

// Hands the block of `from` to `to`, which holds none.
void move_block(TextString* to, TextString* from) {
    to->data = from->data;
    to->capacity = from->capacity;
    to->store_index = from->store_index;
    store_strings.items[to->store_index] = to;
    from->store_index = -1;
    from->data = nullptr;
    from->capacity = 0;
}

// --- temporaries ---------------------------------------------------------------

PointerList temporaries;  // empty entries for consumed or freed temporaries

void enter_temporary(TextString* t) {
    temporaries.reserve(temporaries.count + 1, error_code::temporaries_full);
    t->temporary = true;
    t->temp_index = static_cast<int32_t>(temporaries.count);
    temporaries.items[temporaries.count++] = t;
}

}  // namespace

void strings_init() {
    returned.count = 0;
    for (uint32_t c = chunks.count; c-- > 0;) {
        auto* chunk = static_cast<TextString*>(chunks.items[c]);
        for (uint32_t i = descriptors_per_chunk; i-- > 0;) {
            chunk[i] = TextString{};
            returned.items[returned.count++] = &chunk[i];
        }
    }
    store_strings.count = 0;
    store_top = store_live = store_moves = 0;
    if (store_limit && store_size > store_limit) {
        std::free(store);
        store = nullptr;
        store_size = 0;
    }
    temporaries.count = 0;
    empty_text = new_text_string(0, false);
}

uint32_t string_store_used() { return store_top; }
uint32_t string_store_live() { return store_live; }
uint32_t string_store_capacity() { return store_size; }
uint32_t string_store_moves() { return store_moves; }
uint32_t string_descriptors_in_use() { return chunks.count * descriptors_per_chunk - returned.count; }
void string_store_set_limit(uint32_t max_bytes) { store_limit = max_bytes; }
void string_list_set_limit(int32_t code, uint32_t max_entries) {
    if (is_list_code(code)) list_limits[code - error_code::string_pool_full] = max_entries;
}

uint32_t temp_string_count() { return temporaries.count; }

TextString* new_text_string(uint32_t length, bool temporary) {
    if (length > INT32_MAX - spare_bytes) out_of_memory(error_code::string_store_full);
    TextString* t = take_descriptor();
    attach_block(t, length + spare_bytes);
    t->length = static_cast<int32_t>(length);
    if (temporary) enter_temporary(t);
    return t;
}

TextString* new_fixed_text_string(uint32_t length) {
    TextString* t = new_text_string(length, false);
    std::memset(t->data, ' ', length);
    t->fixed_length = true;
    return t;
}

TextString* text_from_literal_len(const char* literal, int32_t length) {
    TextString* t = take_descriptor();
    // The view is never written through; the cast only fits the descriptor.
    t->data = literal ? reinterpret_cast<uint8_t*>(const_cast<char*>(literal)) : no_bytes;
    t->length = literal && length > 0 ? length : 0;
    t->read_only = true;
    enter_temporary(t);
    return t;
}

TextString* text_from_literal(const char* literal) {
    return text_from_literal_len(literal, literal ? static_cast<int32_t>(std::strlen(literal)) : 0);
}

void free_text_string(TextString* t) {
    // The shared empty string outlives every statement that uses it.
    // A descriptor already back in the pool (length -1) is not freed twice.
    if (!t || t == empty_text || t->length < 0) return;
    if (t->temp_index >= 0) temporaries.items[t->temp_index] = nullptr;
    if (t->store_index >= 0) detach_block(t);
    give_back_descriptor(t);
}

TextString* assign_text(TextString* d, TextString* s) {
    if (d == s) return d;  // consuming the source would free the destination
    if (d->fixed_length) {
        uint32_t n = static_cast<uint32_t>(d->length);
        uint32_t m = std::min(n, static_cast<uint32_t>(s->length));
        if (m) std::memmove(d->data, s->data, m);
        std::memset(d->data + m, ' ', n - m);
    } else if (s->temporary && !s->read_only && !s->fixed_length && s->store_index >= 0) {
        if (d->store_index >= 0) detach_block(d);
        d->read_only = false;
        move_block(d, s);
        d->length = s->length;
    } else {
        uint32_t n = static_cast<uint32_t>(s->length);
        if (d->store_index >= 0 && d->capacity >= n) {
            if (n) std::memmove(d->data, s->data, n);
        } else {
            // New block first: the source's bytes stay valid until copied.
            TextString fresh;
            attach_block(&fresh, n + spare_bytes);
            if (n) std::memcpy(fresh.data, s->data, n);
            if (d->store_index >= 0) detach_block(d);
            d->read_only = false;
            move_block(d, &fresh);
        }
        d->length = static_cast<int32_t>(n);
    }
    if (s->temporary) free_text_string(s);
    return d;
}

TextString* concat_text(TextString* a, TextString* b) {
    if (b->length == 0) return a;
    if (a->length == 0) return b;
    uint64_t total = static_cast<uint64_t>(a->length) + static_cast<uint64_t>(b->length);
    if (total > INT32_MAX - spare_bytes) out_of_memory(error_code::string_store_full);
    TextString* r = new_text_string(static_cast<uint32_t>(total), true);
    // Read the operands only now: making r may have moved their bytes.
    std::memcpy(r->data, a->data, static_cast<uint32_t>(a->length));
    std::memcpy(r->data + a->length, b->data, static_cast<uint32_t>(b->length));
    if (a->temporary) free_text_string(a);
    if (b != a && b->temporary) free_text_string(b);
    return r;
}

int32_t text_equal(TextString* a, TextString* b) {
    if (a->length != b->length) return 0;
    return a->length == 0 || std::memcmp(a->data, b->data, static_cast<uint32_t>(a->length)) == 0 ? -1 : 0;
}

int32_t release_temp_strings(uint32_t mark, int32_t value) {
    while (temporaries.count > mark) {
        auto* t = static_cast<TextString*>(temporaries.items[--temporaries.count]);
        if (t) {
            t->temp_index = -1;
            free_text_string(t);
        }
    }
    return value;
}

TextString* char_from_code(int32_t code) {
    if (code < 0 || code > 255) {
        raise_error(error_code::illegal_function_call);
        return new_text_string(0, true);
    }
    TextString* t = new_text_string(1, true);
    t->data[0] = static_cast<uint8_t>(code);
    return t;
}
