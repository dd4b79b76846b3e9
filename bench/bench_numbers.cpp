// Hot paths of the timed workloads: the idle event check, the random draw
// and the logarithm delay.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "runtime.h"
#include "screen_runtime.h"

namespace {

constexpr double k = 5.3589793170057245e-08;

void BM_event_check_idle(benchmark::State& state) {
    runtime_init(false);
    int32_t line = 0;
    for (auto _ : state) {
        ++line;
        benchmark::DoNotOptimize(line);
        if (event_pending.load(std::memory_order_relaxed)) check_statement_events(line, 0, nullptr);
    }
}
BENCHMARK(BM_event_check_idle);

void BM_random_draw(benchmark::State& state) {
    runtime_init(false);
    for (auto _ : state) {
        float v = floor_single(static_cast<float>(next_random(0.0f, 0) * 1000.0L));
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_random_draw);

void BM_natural_log(benchmark::State& state) {
    runtime_init(false);
    double x = k;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        double l = natural_log(x);
        benchmark::DoNotOptimize(l);
    }
}
BENCHMARK(BM_natural_log);

// The same instructions inline: what the call is measured against.
inline double bare_log(double x) {
    long double r;
    __asm__ volatile("fldln2\n\tfldl %1\n\tfyl2x" : "=t"(r) : "m"(x));
    return static_cast<double>(r);
}

void BM_bare_x87_log(benchmark::State& state) {
    double x = k;
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        double l = bare_log(x);
        benchmark::DoNotOptimize(l);
    }
}
BENCHMARK(BM_bare_x87_log);

// Both loops timed back to back, so the ratio sees the same machine state.
void BM_log_call_over_bare(benchmark::State& state) {
    runtime_init(false);
    constexpr int n = 100000;
    double call_total = 0, bare_total = 0;
    for (auto _ : state) {
        double x = k;
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) {
            benchmark::DoNotOptimize(x);
            double l = natural_log(x);
            benchmark::DoNotOptimize(l);
        }
        auto t1 = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) {
            benchmark::DoNotOptimize(x);
            double l = bare_log(x);
            benchmark::DoNotOptimize(l);
        }
        auto t2 = std::chrono::steady_clock::now();
        const double call = std::chrono::duration<double>(t1 - t0).count();
        call_total += call;
        bare_total += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(call);
    }
    state.counters["call_ns"] = call_total / (static_cast<double>(state.iterations()) * n) * 1e9;
    state.counters["bare_ns"] = bare_total / (static_cast<double>(state.iterations()) * n) * 1e9;
    state.counters["ratio"] = call_total / bare_total;
}
BENCHMARK(BM_log_call_over_bare)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
