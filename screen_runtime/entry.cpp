// The runtime owns the process: its entry point starts the program thread.
#include "runtime.h"

int main(int argc, char** argv) { runtime_main(argc, argv); }
