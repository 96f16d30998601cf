// Builds Intel HEX text for the benchmarks and the sample file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hex/record.h"

// One record, ':' to checksum, without a line end.
inline std::string hex_record(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(record_checksum(bytes.data(), bytes.size()));
    std::string line(1 + 2 * bytes.size(), ':');
    for (std::size_t i = 0; i < bytes.size(); ++i) encode_hex_byte(bytes[i], &line[1 + 2 * i]);
    return line;
}

inline std::string data_record(std::uint16_t address, const std::vector<std::uint8_t>& data) {
    return hex_record(record_type::kData, address, data);
}

inline std::string extended_address_record(std::uint16_t upper) {
    return hex_record(record_type::kExtendedLinearAddress, 0,
                      {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

inline const std::string kEndOfFileRecord = ":00000001FF";

// The four bytes by which an image declares its CRC address: two words, low word first.
inline std::vector<std::uint8_t> crc_address_bytes(std::uint32_t word_address) {
    return {static_cast<std::uint8_t>(word_address >> 8), static_cast<std::uint8_t>(word_address),
            static_cast<std::uint8_t>(word_address >> 24), static_cast<std::uint8_t>(word_address >> 16)};
}

// Joins lines with CR LF after each.
inline std::string hex_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}
