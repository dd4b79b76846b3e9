// Memory and threads that run out when a test says so. Linked into each
// program whose processes run out of them (its sources, not a library: the
// replacement operator new must be the program's).
#include "failing_allocator.h"

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace {
using failing_allocator::MiB;

std::atomic<bool> memory_refused{false};
std::atomic<size_t> room_given_back{0};  // bytes freed since memory ran out
std::atomic<bool> threads_refused{false};

bool memory_for(size_t size) {
    if (!memory_refused.load()) return true;
    size_t room = room_given_back.load();
    do {
        if (room < size) return false;
    } while (!room_given_back.compare_exchange_weak(room, room - size));
    return true;
}
}  // namespace

#if FAILING_ALLOCATOR
// These are the replacements: their free() matches their malloc().
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    for (;;) {
        if (void* p = std::malloc(size ? size : 1)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#endif

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* p, size_t size);
void __real_free(void* p);
int __real_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* argument);

void* __wrap_malloc(size_t size) { return memory_for(size) ? __real_malloc(size) : nullptr; }
void* __wrap_calloc(size_t count, size_t size) { return memory_for(count * size) ? __real_calloc(count, size) : nullptr; }
void* __wrap_realloc(void* p, size_t size) { return memory_for(size) ? __real_realloc(p, size) : nullptr; }
void __wrap_free(void* p) {
    if (p && memory_refused.load()) room_given_back += malloc_usable_size(p);
    __real_free(p);
}
int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* argument) {
    return threads_refused.load() ? EAGAIN : __real_pthread_create(thread, attr, start, argument);
}
}

namespace {
// Kept, so that the compiler cannot drop the allocations as unused.
void* volatile last_block = nullptr;

#if !FAILING_ALLOCATOR
// Address space of the process now, read without allocating.
size_t address_space_in_use() {
    char text[64] = {};
    const int fd = open("/proc/self/statm", O_RDONLY);
    if (fd < 0) return 0;
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    return n > 0 ? std::strtoul(text, nullptr, 10) * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// Little more address space than the process holds now: small blocks still
// come from the heap's spare room, a thread's stack does not.
bool limit_address_space() {
    const size_t in_use = address_space_in_use();
    const rlimit limit{in_use + MiB, in_use + MiB};
    return in_use > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
}
#endif
}  // namespace

namespace failing_allocator {

void take_all_memory() {
    for (size_t size = MiB; size >= 8; size = size > 1024 ? size / 2 : size - 8)
        for (void* block; (block = std::malloc(size)) != nullptr;) last_block = block;
}

bool exhaust_memory() {
#if FAILING_ALLOCATOR
    room_given_back = 0;
    memory_refused = true;
#else
    if (!limit_address_space()) return false;
    take_all_memory();
#endif
    return true;
}

bool refuse_threads() {
#if FAILING_ALLOCATOR
    threads_refused = true;
    return true;
#else
    return limit_address_space();
#endif
}
}  // namespace failing_allocator

