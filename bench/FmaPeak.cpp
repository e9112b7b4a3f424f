#include "FmaPeak.h"

#include <immintrin.h>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// Independent chains, more than the units' latency times their count, so no FMA waits for the
// one before it.
constexpr int chains = 16;
// A few milliseconds per round on any core that has the units.
constexpr long burstSteps = 500000;
constexpr int rounds = 12;

// The sums are returned so that the compiler keeps the work.
[[gnu::target("avx512f")]] float burst512()
{
    __m512 acc[chains];
    for (int i = 0; i < chains; ++i)
        acc[i] = _mm512_set1_ps(float(i));
    const __m512 a = _mm512_set1_ps(0.999f), b = _mm512_set1_ps(0.001f);
    for (long step = 0; step < burstSteps; ++step)
#pragma GCC unroll 16
        for (int i = 0; i < chains; ++i)
            acc[i] = _mm512_fmadd_ps(acc[i], a, b);
    for (int i = 1; i < chains; ++i)
        acc[0] = _mm512_add_ps(acc[0], acc[i]);
    alignas(64) float lanes[16];
    _mm512_store_ps(lanes, acc[0]);
    return lanes[0];
}

[[gnu::target("avx2,fma")]] float burst256()
{
    __m256 acc[chains];
    for (int i = 0; i < chains; ++i)
        acc[i] = _mm256_set1_ps(float(i));
    const __m256 a = _mm256_set1_ps(0.999f), b = _mm256_set1_ps(0.001f);
    for (long step = 0; step < burstSteps; ++step)
#pragma GCC unroll 16
        for (int i = 0; i < chains; ++i)
            acc[i] = _mm256_fmadd_ps(acc[i], a, b);
    for (int i = 1; i < chains; ++i)
        acc[0] = _mm256_add_ps(acc[0], acc[i]);
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, acc[0]);
    return lanes[0];
}

} // namespace

QString FmaPeak::describe() const
{
    if (flops <= 0)
        return QStringLiteral("no measured peak (no FMA unit)");
    return QStringLiteral("%1 GFLOPS measured on %2 cores x %3-bit FMA")
        .arg(flops / 1e9, 0, 'f', 0)
        .arg(cores)
        .arg(vectorBits);
}

FmaPeak measureFmaPeak()
{
    FmaPeak peak;
    __builtin_cpu_init();
    const bool wide = __builtin_cpu_supports("avx512f");
    if (!wide && !__builtin_cpu_supports("fma"))
        return peak;
    peak.cores = int(std::max(1u, std::thread::hardware_concurrency()));
    peak.vectorBits = wide ? 512 : 256;
    // Every core at once, as in a convolution: together they may clock lower than one alone, and
    // cores that share units or time with others show it. A round lasts from its common start
    // to its last core's end; the best round counts.
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::time_point> ends(size_t(peak.cores));
    std::vector<float> sinks(size_t(peak.cores));
    Clock::time_point start;
    std::barrier sync(peak.cores, [&]() noexcept { start = Clock::now(); });
    double shortest = INFINITY;
    std::barrier done(peak.cores, [&]() noexcept {
        const auto last = *std::max_element(ends.begin(), ends.end());
        shortest = std::min(shortest, std::chrono::duration<double>(last - start).count());
    });
    std::vector<std::thread> threads;
    for (size_t core = 0; core < size_t(peak.cores); ++core)
        threads.emplace_back([&, core] {
            for (int round = 0; round < rounds; ++round) {
                sync.arrive_and_wait();
                sinks[core] += wide ? burst512() : burst256();
                ends[core] = Clock::now();
                done.arrive_and_wait();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    peak.flops = 2.0 * (peak.vectorBits / 32) * chains * burstSteps * peak.cores / shortest;
    return peak;
}
