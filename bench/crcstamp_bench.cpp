// Throughput of the three passes over a full-size firmware file.
#include <benchmark/benchmark.h>

#include <algorithm>

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
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The patcher's own work is in a file whose lines end in LF alone, turned into
// CR LF text a block at a time on its way to the new file; a CR LF file only
// gets its ten characters written.
void patcher(benchmark::State& state) {
    std::string lf_text = full_text();
    lf_text.erase(std::remove(lf_text.begin(), lf_text.end(), '\r'), lf_text.end());
    std::size_t written = 0;
    for (auto _ : state) {
        written = 0;
        write_in_blocks(crlf_text(lf_text), [&written](std::string_view block) {
            benchmark::DoNotOptimize(block.data());
            written += block.size();
            return true;
        });
    }
    if (written != full_text().size()) state.SkipWithError("the CR LF text is not the benchmark file");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * lf_text.size()));
}

}  // namespace

BENCHMARK(image_crc);
BENCHMARK(loader);
BENCHMARK(patcher);
