// A program whose memory runs out before the first global constructor of its
// own runs, for test_out_of_memory. It must get as far as runtime_init.
#include <unistd.h>

#include <cstdlib>

#include "failing_allocator.h"
#include "runtime.h"
#include "screen_runtime.h"

extern "C" void benchmark_main(int32_t) { std::_Exit(4); }

// 101 is the first priority left to programs: before every constructor
// without one, the runtime's among them.
__attribute__((constructor(101))) static void run_out_of_memory() {
    if (!failing_allocator::exhaust_memory()) _exit(5);
}

int main() {
    runtime_init(false);
    return 3;  // it had memory after all
}
