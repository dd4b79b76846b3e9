#include "screen_runtime.h"

void benchmark_main(int32_t) { end_program(); }
