// The key wait's one-character cycle: make a temporary, assign it to a
// variable, release the statement's temporaries. Once warm it must not touch
// the heap; the counter allocs_per_iter shows it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "runtime.h"
#include "screen_runtime.h"

namespace {
std::atomic<uint64_t> allocations{0};
}

// Count every heap allocation of the program. Under AddressSanitizer, which
// owns malloc, only operator new is counted.
#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
}
#endif

void* operator new(size_t size) {
#if defined(__SANITIZE_ADDRESS__)
    allocations.fetch_add(1, std::memory_order_relaxed);
#endif
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

void BM_PollAssignRelease(benchmark::State& state) {
    uint64_t at_start = allocations.load(std::memory_order_relaxed);
    runtime_init(false);
    uint32_t mark = temp_string_count();
    TextString* key = new_text_string(0, false);
    int32_t code = 0;
    auto cycle = [&] {
        assign_text(key, char_from_code(code));
        release_temp_strings(mark, 0);
        code = (code + 1) & 255;
    };
    for (int i = 0; i < 100000; ++i) cycle();  // warm: pool and store at their size

    state.counters["warm_up_allocs"] =
        benchmark::Counter(static_cast<double>(allocations.load(std::memory_order_relaxed) - at_start));
    // Counted around the cycle alone: the framework allocates at the loop's ends.
    uint64_t made = 0;
    for (auto _ : state) {
        uint64_t before = allocations.load(std::memory_order_relaxed);
        cycle();
        made += allocations.load(std::memory_order_relaxed) - before;
        benchmark::DoNotOptimize(key->data);
    }
    state.counters["allocs_per_iter"] =
        benchmark::Counter(static_cast<double>(made) / static_cast<double>(state.iterations()));
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(made));
}
BENCHMARK(BM_PollAssignRelease);

// The key wait's test: the key against the empty literal, released with the test.
void BM_KeyWaitTest(benchmark::State& state) {
    runtime_init(false);
    uint32_t mark = temp_string_count();
    TextString* key = new_text_string(0, false);
    for (auto _ : state) {
        assign_text(key, new_text_string(0, true));
        int32_t empty = release_temp_strings(mark, text_equal(key, text_from_literal_len("", 0)));
        benchmark::DoNotOptimize(empty);
    }
}
BENCHMARK(BM_KeyWaitTest);

}  // namespace
