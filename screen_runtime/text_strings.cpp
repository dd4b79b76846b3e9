// Placeholder string store: one heap buffer per string.
#include <cstring>
#include <vector>

#include "screen_runtime.h"
#include "string_store.h"

TextString* empty_text = nullptr;

namespace {
std::vector<TextString*> temporaries;
}

void strings_init() {
    temporaries.clear();
    empty_text = new_text_string(0, false);
}

uint32_t string_store_used() { return 0; }
uint32_t string_store_moves() { return 0; }

uint32_t temp_string_count() { return static_cast<uint32_t>(temporaries.size()); }

TextString* new_text_string(uint32_t length, bool temporary) {
    auto* t = new TextString;
    t->data = new uint8_t[length + 32];
    t->length = static_cast<int32_t>(length);
    t->capacity = length + 32;
    if (temporary) {
        t->temporary = true;
        t->temp_index = static_cast<int32_t>(temporaries.size());
        temporaries.push_back(t);
    }
    return t;
}

TextString* text_from_literal_len(const char* literal, int32_t length) {
    auto* t = new TextString;
    t->data = reinterpret_cast<uint8_t*>(const_cast<char*>(literal));
    t->length = literal ? length : 0;
    t->read_only = true;
    t->temporary = true;
    t->temp_index = static_cast<int32_t>(temporaries.size());
    temporaries.push_back(t);
    return t;
}

TextString* text_from_literal(const char* literal) {
    return text_from_literal_len(literal, literal ? static_cast<int32_t>(std::strlen(literal)) : 0);
}

void free_text_string(TextString* t) {
    if (t->temporary && t->temp_index >= 0) temporaries[t->temp_index] = nullptr;
    if (!t->read_only) delete[] t->data;
    delete t;
}

TextString* assign_text(TextString* d, TextString* s) {
    if (d == s) return d;
    auto* bytes = new uint8_t[s->length + 32];
    if (s->length) std::memcpy(bytes, s->data, s->length);
    if (!d->read_only) delete[] d->data;
    d->data = bytes;
    d->length = s->length;
    if (s->temporary) free_text_string(s);
    return d;
}

TextString* concat_text(TextString* a, TextString* b) {
    if (b->length == 0) return a;
    if (a->length == 0) return b;
    TextString* r = new_text_string(a->length + b->length, true);
    std::memcpy(r->data, a->data, a->length);
    std::memcpy(r->data + a->length, b->data, b->length);
    if (a->temporary) free_text_string(a);
    if (b->temporary) free_text_string(b);
    return r;
}

int32_t text_equal(TextString* a, TextString* b) {
    return a->length == b->length && (a->length == 0 || std::memcmp(a->data, b->data, a->length) == 0) ? -1 : 0;
}

int32_t release_temp_strings(uint32_t mark, int32_t value) {
    while (temporaries.size() > mark) {
        TextString* t = temporaries.back();
        temporaries.pop_back();
        if (t) {
            t->temp_index = -1;
            t->temporary = false;
            free_text_string(t);
        }
    }
    return value;
}

TextString* char_from_code(int32_t code) {
    if (code < 0 || code > 255) {
        raise_error(5);
        return new_text_string(0, true);
    }
    TextString* t = new_text_string(1, true);
    t->data[0] = static_cast<uint8_t>(code);
    return t;
}
