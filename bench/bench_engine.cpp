// The engine on photo-sized canvases: hiding and reading a long text, and the
// worst case of the scan, a start marker with no end marker on a 24-megapixel
// picture (every pixel is read).
#include "stego/message.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

struct BenchCanvas {
    std::int64_t width;
    std::int64_t height;
    std::vector<std::uint32_t> pixels;

    BenchCanvas(std::int64_t w, std::int64_t h) : width(w), height(h), pixels(static_cast<std::size_t>(w * h))
    {
        std::mt19937 random(1);
        for (auto& p : pixels)
            p = 0xFF000000U | (random() & 0x00FFFFFFU);
    }
    stego::PixelSurface surface() { return {pixels.data(), width, width, height}; }
};

// A 3:2 landscape canvas just large enough for `characters` of text.
BenchCanvas canvasFor(std::int64_t characters)
{
    const std::int64_t needed = 3 * (characters + stego::kMarkerLength);
    const auto height = static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(needed) * 2.0 / 3.0)));
    return BenchCanvas((needed + height - 1) / height, height);
}

// Word-like text with plenty of 'e's, so the end-marker test has work to do.
std::string proseOf(std::int64_t length)
{
    static const char* const words[] = {"the", "message", "seen", "picture", "hidden", "seven", "every",
                                        "letter", "here", "we", "are,", "see", "enemy", "between"};
    std::mt19937 random(2);
    std::string text;
    while (static_cast<std::int64_t>(text.size()) < length) {
        text += words[random() % 14];
        text += random() % 9 == 0 ? "\r\n" : " ";
    }
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void setPixelBytes(benchmark::State& state, std::int64_t pixels)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * pixels * 4);
}

void BM_HideMessage(benchmark::State& state)
{
    BenchCanvas canvas = canvasFor(state.range(0));
    const std::string text = proseOf(state.range(0));
    for (auto _ : state) {
        auto report = stego::hideBytes(canvas.surface(), text);
        benchmark::DoNotOptimize(report);
        benchmark::ClobberMemory();
    }
    setPixelBytes(state, 3 * (state.range(0) + stego::kMarkerLength));
    state.counters["width"] = static_cast<double>(canvas.width);
    state.counters["height"] = static_cast<double>(canvas.height);
}
BENCHMARK(BM_HideMessage)->Arg(1000000)->Arg(1200000)->Unit(benchmark::kMillisecond);

void BM_ReadMessage(benchmark::State& state)
{
    BenchCanvas canvas = canvasFor(state.range(0));
    const std::string text = proseOf(state.range(0));
    stego::hideBytes(canvas.surface(), text);
    for (auto _ : state) {
        stego::ReadResult result = stego::readMessage(canvas.surface());
        if (result.text.size() != text.size())
            state.SkipWithError("the text did not read back");
        benchmark::DoNotOptimize(result);
    }
    setPixelBytes(state, 3 * (state.range(0) + stego::kMarkerLength));
}
BENCHMARK(BM_ReadMessage)->Arg(1000000)->Arg(1200000)->Unit(benchmark::kMillisecond);

void BM_ReadFullScan(benchmark::State& state)
{
    // 24,000,000 pixels as a 6000 x 4000 photo: random low bits after the
    // start marker never spell the end marker.
    BenchCanvas canvas(6000, state.range(0) / 6000);
    stego::hideBytes(canvas.surface(), "");
    for (std::int64_t p = 3 * 13; p < 3 * stego::kMarkerLength; ++p)
        canvas.pixels[static_cast<std::size_t>((p % canvas.height) * canvas.width + p / canvas.height)] ^= 0x00010000U;
    for (auto _ : state) {
        stego::ReadResult result = stego::readMessage(canvas.surface());
        if (result.outcome != stego::ReadOutcome::NoEndMarker)
            state.SkipWithError("the scan stopped early");
        benchmark::DoNotOptimize(result);
    }
    setPixelBytes(state, canvas.width * canvas.height);
}
BENCHMARK(BM_ReadFullScan)->Arg(24000000)->Unit(benchmark::kMillisecond);

}  // namespace
