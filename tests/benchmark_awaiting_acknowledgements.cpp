// The benchmark's own entry, with a shutdown that never gives up waiting.
#include "runtime.h"

int main(int argc, char** argv) {
    shutdown_ack_limit_ms = 3'600'000;
    runtime_main(argc, argv);
}
