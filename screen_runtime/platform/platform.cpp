#include "platform.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace platform {

void Sleep(uint32_t milliseconds) {
    if (milliseconds == 0)
        sched_yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {
struct Start {
    void (*start)(void*);
    void* argument;
};
void* trampoline(void* p) {
    Start s = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    s.start(s.argument);
    return nullptr;
}
const auto process_start = std::chrono::steady_clock::now();
}  // namespace

ThreadHandle _beginthread(void (*start)(void*), unsigned stack_size, void* argument) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stack_size) pthread_attr_setstacksize(&attr, stack_size);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    auto* s = new Start{start, argument};
    int rc = pthread_create(&thread, &attr, trampoline, s);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete s;
        return static_cast<ThreadHandle>(-1);
    }
    return static_cast<ThreadHandle>(thread);
}

bool SetThreadPriority(ThreadHandle, int) { return true; }

long clock() {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - process_start)
                                 .count());
}

unsigned _controlfp(unsigned new_value, unsigned mask) {
#if defined(__x86_64__) || defined(__i386__)
    uint16_t cw;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    // The x87 precision field is bits 8-9: 11 extended, 10 double, 00 single.
    if (mask & MCW_PC) {
        unsigned pc = new_value & MCW_PC;
        uint16_t bits = pc == PC_64 ? 3 : pc == PC_53 ? 2 : 0;
        cw = static_cast<uint16_t>((cw & ~0x0300) | (bits << 8));
        __asm__ volatile("fldcw %0" : : "m"(cw));
    }
    uint16_t field = (cw >> 8) & 3;
    return field == 3 ? PC_64 : field == 2 ? PC_53 : PC_24;
#else
    (void)new_value;
    (void)mask;
    return PC_64;
#endif
}

SignalHandler signal(int signal_number, SignalHandler handler) { return std::signal(signal_number, handler); }

uint32_t GetModuleFileNameA(unsigned long, char* buffer, uint32_t size) {
    if (size == 0) return 0;
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0) return 0;
    buffer[n] = '\0';
    return static_cast<uint32_t>(n);
}

}  // namespace platform
