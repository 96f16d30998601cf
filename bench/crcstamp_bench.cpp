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

// The image CRC as the tool computes it (folded where the processor can), and
// by the portable sliced tables; argument 0 high byte first, 1 low byte first.
ByteOrder order_of(const benchmark::State& state) {
    return state.range(0) == 0 ? ByteOrder::kHighByteFirst : ByteOrder::kLowByteFirst;
}

const ImageBuffer& full_image() {
    static const ImageBuffer image = [] {
        ImageBuffer bytes;
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31);
        return bytes;
    }();
    return image;
}

void image_crc(benchmark::State& state) {
    const ImageBuffer& image = full_image();
    for (auto _ : state) benchmark::DoNotOptimize(compute_image_crc(image, kImageCapacity, false, order_of(state)));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kImageCapacity);
}

void sliced_crc(benchmark::State& state) {
    const ImageBuffer& image = full_image();
    for (auto _ : state) benchmark::DoNotOptimize(crc_update_sliced(0, image.data(), image.size(), order_of(state)));
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

BENCHMARK(image_crc)->Arg(0)->Arg(1);
BENCHMARK(sliced_crc)->Arg(0)->Arg(1);
BENCHMARK(loader);
