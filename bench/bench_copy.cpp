// Baselines: plain memory copies the engine's benchmarks are measured against.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void copyBytes(benchmark::State& state, std::size_t bytes)
{
    std::vector<char> from(bytes, 'x');
    std::vector<char> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// 1,000,000 characters occupy 3,000,000 pixels of 4 bytes.
void BM_CopyBaseline(benchmark::State& state)
{
    copyBytes(state, static_cast<std::size_t>(state.range(0)) * 12);
}
BENCHMARK(BM_CopyBaseline)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A 6000 x 4000 canvas of 4-byte pixels.
void BM_CopyPixels(benchmark::State& state)
{
    copyBytes(state, static_cast<std::size_t>(state.range(0)) * 4);
}
BENCHMARK(BM_CopyPixels)->Arg(24000000)->Unit(benchmark::kMillisecond);

}  // namespace
