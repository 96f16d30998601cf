// Throughput of the loader and the CRC over a full-size firmware file.
#include <benchmark/benchmark.h>

#include "bench/firmware_text.h"
#include "crc/crc.h"
#include "hex/loader.h"

namespace {

const std::string& full_text() {
    static const std::string text = full_size_firmware_text();
    return text;
}

void image_crc(benchmark::State& state) {
    static ImageBuffer image;
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31);
    for (auto _ : state) benchmark::DoNotOptimize(compute_image_crc(image, kImageCapacity, false));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kImageCapacity);
}

void loader(benchmark::State& state) {
    static ImageBuffer image;
    const std::string& text = full_text();
    std::string message;
    for (auto _ : state) {
        LoadResult result;
        // The figures are for a full image; anything less is a broken benchmark file.
        if (!load_hex_bytes(text, image, result, message) || result.image_length != kImageCapacity) {
            state.SkipWithError("the benchmark file does not load as a full image");
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(image_crc);
BENCHMARK(loader);
