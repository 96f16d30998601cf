// Throughput of the three passes over a full-size firmware file.
#include <benchmark/benchmark.h>

#include "bench/firmware_text.h"
#include "crc/crc.h"
#include "hex/loader.h"
#include "hex/patcher.h"

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
    // The loader stops at the CRC record; count the text it reads.
    const auto read = text.find(":02000004000B");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * read));
}

void patcher(benchmark::State& state) {
    FileBytes text(full_text().begin(), full_text().end());
    for (auto _ : state) {
        patch_crc_text(text, kEntryAddress + kImageCapacity / 2 - 2, 0x12345678);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(image_crc);
BENCHMARK(loader);
BENCHMARK(patcher);
