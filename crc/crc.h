// CRC-32 of the firmware image: polynomial 0x04C11DB7, not reflected,
// initial value 0, no final XOR (the catalogue's CRC-32/MPEG-2 but for its
// initial value), fed most significant bit first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/crcstamp.h"

constexpr std::uint32_t kCrcPolynomial = 0x04C11DB7;

// One bit through the register, most significant first: the definition of
// the CRC that the table below is checked against.
constexpr std::uint32_t crc_bit_step(std::uint32_t reg) {
    return (reg & 0x80000000u) ? (reg << 1) ^ kCrcPolynomial : reg << 1;
}

constexpr std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit) reg = crc_bit_step(reg);
        table[i] = reg;
    }
    return table;
}

inline constexpr std::array<std::uint32_t, 256> crc_table = make_crc_table();

// Feeds bytes into the register, one table look-up a byte.
constexpr std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        crc = (crc << 8) ^ crc_table[((crc >> 24) ^ bytes[i]) & 0xFF];
    }
    return crc;
}

static_assert(crc_table[1] == 0x04C11DB7);
static_assert(crc_table[2] == 0x09823B6E);
static_assert(crc_table[128] == 0x690CE0EE);
static_assert(crc_table[255] == 0xB1F740B4);

namespace crc_detail {
constexpr std::uint8_t kCheckInput[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
}
static_assert(crc_update(0, crc_detail::kCheckInput, 9) == 0x89A1897F, "check value of \"123456789\"");

// CRC over the image's words but its last two (the CRC slot itself) and, when
// `entry_word` is set, its first two; words are fed high byte first.
std::uint32_t compute_image_crc(const ImageBuffer& image, std::uint32_t image_length, bool entry_word);

// Checksum of the four-byte data record at `crc_address` that carries `crc`.
std::uint8_t crc_record_checksum(std::uint32_t crc_address, std::uint32_t crc);
