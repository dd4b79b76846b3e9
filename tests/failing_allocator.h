// Memory and threads that run out on demand, in a child process of a test.
// Without a sanitizer the address space is limited and the heap emptied;
// under one, which keeps its memory out of that limit's reach, malloc and
// pthread_create are wrapped at link time and operator new is replaced, and
// only what has been freed since can be had again.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FAILING_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FAILING_ALLOCATOR 1
#endif
#endif
#ifndef FAILING_ALLOCATOR
#define FAILING_ALLOCATOR 0
#endif

namespace failing_allocator {
constexpr std::size_t MiB = 1048576;

// Takes every block the heap still has (again). Small blocks step through
// every size class, so that none keeps a spare block.
void take_all_memory();
// From here on an allocation succeeds only from memory freed since; false
// when the limit could not be set.
bool exhaust_memory();
// From here on no thread can be started; false as above.
bool refuse_threads();
}  // namespace failing_allocator
