// Realistic firmware HEX files: the shipped sample, and the largest file the
// tool takes, for benchmarks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/crcstamp.h"
#include "bench/hex_builder.h"

// Appends records for `bytes` at `word_address`, `record_bytes` to a record,
// with an extended linear address record wherever the upper 16 bits change.
inline void append_section(std::vector<std::string>& lines, std::uint32_t word_address,
                           const std::vector<std::uint8_t>& bytes, std::size_t record_bytes, std::uint32_t& upper) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::uint32_t address = word_address + static_cast<std::uint32_t>(at / 2);
        if (address >> 16 != upper) {
            upper = address >> 16;
            lines.push_back(extended_address_record(static_cast<std::uint16_t>(upper)));
        }
        // A record stays within its 64K-word page.
        const std::size_t page_left = 2 * (0x10000 - (address & 0xFFFF));
        const std::size_t count = std::min({record_bytes, bytes.size() - at, page_left});
        lines.push_back(data_record(static_cast<std::uint16_t>(address),
                                    {bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(at + count)}));
        at += count;
    }
}

// Deterministic filler that looks like code: no long runs of one value.
inline std::vector<std::uint8_t> pseudo_code(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
}

// An image that starts with the entry word at kEntryAddress, declares
// `crc_address` in its header record, holds `code_bytes` of code from word
// 0x80010, a constant table at 0x80800 when `with_constants`, the blank CRC
// slot, and then `trailing_bytes` of calibration data at 0xB0000 that lies
// beyond the CRC and is not covered by it.
inline std::string firmware_text(std::uint32_t crc_address, std::size_t code_bytes, bool with_constants,
                                 std::size_t trailing_bytes, std::size_t record_bytes) {
    std::vector<std::string> lines;
    std::uint32_t upper = 0;
    append_section(lines, kEntryAddress, {0x00, 0x04, 0x00, 0x10}, record_bytes, upper);  // goto 0x80010
    std::vector<std::uint8_t> header = {'C', 'R', 'C', 'S', 0x01, 0x00, 0x00, 0x03};
    const auto declared = crc_address_bytes(crc_address);
    header.insert(header.end(), declared.begin(), declared.end());
    append_section(lines, kEntryAddress + 2, header, record_bytes, upper);
    append_section(lines, 0x80010, pseudo_code(code_bytes, 1), record_bytes, upper);
    if (with_constants) append_section(lines, 0x80800, pseudo_code(512, 2), record_bytes, upper);
    append_section(lines, crc_address, {0xFF, 0xFF, 0xFF, 0xFF}, record_bytes, upper);
    append_section(lines, 0xB0000, pseudo_code(trailing_bytes, 3), record_bytes, upper);
    lines.push_back(kEndOfFileRecord);
    return hex_lines(lines);
}

// The sample shipped with the tool: a few hundred lines, two gaps, and
// calibration data beyond the CRC behind a second extended address record.
inline std::string sample_firmware_text() { return firmware_text(0x80A00, 3840, true, 128, 16); }

// The largest file the tool takes: the CRC slot ends a full 300000-byte
// image, and about 9000 more records follow it.
inline std::string full_size_firmware_text() {
    const std::uint32_t crc_address = kEntryAddress + kImageCapacity / 2 - 2;
    const std::size_t code_bytes = 2 * (crc_address - 0x80010);
    return firmware_text(crc_address, code_bytes, false, 9000 * 32, 32);
}
