// The irreducible part of the delay loops: the same number of extended-precision
// logarithms as the benchmark makes, each read from a double and rounded to
// one as natural_log must, with nothing else around them.
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    long long count = argc > 1 ? std::atoll(argv[1]) : 3'750'000'000LL;
    double x = 5.3589793170057245e-08;
    double sum = 0;
    auto started = std::chrono::steady_clock::now();
    for (long long i = 0; i < count; ++i) {
        double y;
        __asm__ volatile("fldln2\n\tfldl %1\n\tfyl2x\n\tfstpl %0" : "=m"(y) : "m"(x));
        sum += y;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%.3f\n", seconds);
    std::fprintf(stderr, "(%g)\n", sum);
}
