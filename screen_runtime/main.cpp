// The process's entry point: the runtime's start-up (entry.cpp). A file of
// its own, so that a program with its own main can still call runtime_main.
#include "runtime.h"

int main(int argc, char** argv) { runtime_main(argc, argv); }
