#include "hex/patcher.h"

#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include "crc/crc.h"
#include "hex/record.h"

namespace {

// Characters 9 to 18 of the CRC record: four data bytes and the checksum.
constexpr std::size_t kPatchAt = 9;
constexpr std::size_t kPatchLength = 10;
static_assert(kPatchAt + kPatchLength == kCrcRecordLength);

using PatchText = std::array<char, kPatchLength>;

PatchText patch_text(std::uint32_t crc_address, std::uint32_t crc) {
    const std::uint8_t bytes[] = {
        static_cast<std::uint8_t>(crc >> 8),   static_cast<std::uint8_t>(crc),
        static_cast<std::uint8_t>(crc >> 24),  static_cast<std::uint8_t>(crc >> 16),
        crc_record_checksum(crc_address, crc),
    };
    PatchText text{};
    for (std::size_t i = 0; i < sizeof bytes; ++i) encode_hex_byte(bytes[i], text.data() + 2 * i);
    return text;
}

}  // namespace

void patch_crc_text(FileBytes& text, const LoadResult& load, std::uint32_t crc) {
    const PatchText patch = patch_text(load.crc_address, crc);
    for (const RecordOffset at : load.crc_records) std::memcpy(&text[at + kPatchAt], patch.data(), kPatchLength);
}

WriteOutcome patch_crc_record(FileSnapshot& file, const LoadResult& load, std::uint32_t crc) {
    patch_crc_text(file.bytes, load, crc);
    std::vector<std::size_t> offsets;
    for (const RecordOffset at : load.crc_records) offsets.push_back(at + kPatchAt);
    return write_in_place(file, offsets, kPatchLength);
}

bool crc_records_match(std::string_view text, const LoadResult& load, std::uint32_t crc) {
    const PatchText patch = patch_text(load.crc_address, crc);
    for (const RecordOffset at : load.crc_records) {
        for (std::size_t i = 0; i < kPatchLength; ++i) {
            const auto written = static_cast<unsigned char>(text[at + kPatchAt + i]);
            if (std::toupper(written) != patch[i]) return false;
        }
    }
    return !load.crc_records.empty();
}
