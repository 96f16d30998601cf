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

// Feeds bytes into the register, one table look-up a byte: the reference the
// faster ways below are checked against. Low byte first feeds each pair of
// bytes the other way round (a lone last byte as it is).
constexpr std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count,
                                   ByteOrder order = ByteOrder::kHighByteFirst) {
    const std::size_t swap = order == ByteOrder::kLowByteFirst ? 1 : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t fed = (i ^ swap) < count ? i ^ swap : i;
        crc = (crc << 8) ^ crc_table[((crc >> 24) ^ bytes[fed]) & 0xFF];
    }
    return crc;
}

static_assert(crc_table[1] == 0x04C11DB7);
static_assert(crc_table[2] == 0x09823B6E);
static_assert(crc_table[128] == 0x690CE0EE);
static_assert(crc_table[255] == 0xB1F740B4);

namespace crc_detail {

constexpr std::uint8_t kCheckInput[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

// Slice k, entry i: the register after the byte i and then k zero bytes.
// Sixteen slices take sixteen bytes a step with independent look-ups.
using SliceTables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr SliceTables make_slice_tables() {
    SliceTables slices{};
    slices[0] = crc_table;
    for (std::size_t k = 1; k < slices.size(); ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint32_t previous = slices[k - 1][i];
            slices[k][i] = (previous << 8) ^ crc_table[previous >> 24];
        }
    }
    return slices;
}

inline constexpr SliceTables kSlices = make_slice_tables();

// Four bytes as the register takes them, the first fed in the top eight bits.
template <ByteOrder order>
constexpr std::uint32_t load_fed(const std::uint8_t* bytes) {
    if constexpr (order == ByteOrder::kHighByteFirst) {
        return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
    } else {  // bytes 1 0 3 2: the four read least significant first, their halves swapped
        const std::uint32_t little =
            std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[1]} << 8 | bytes[0];
        return little << 16 | little >> 16;
    }
}

// The four bytes of `word`, high first, through slices `top` down to `top` - 3.
constexpr std::uint32_t through_slices(std::size_t top, std::uint32_t word) {
    return kSlices[top][word >> 24] ^ kSlices[top - 1][(word >> 16) & 0xFF] ^ kSlices[top - 2][(word >> 8) & 0xFF] ^
           kSlices[top - 3][word & 0xFF];
}

}  // namespace crc_detail

static_assert(crc_update(0, crc_detail::kCheckInput, 9) == 0x89A1897F, "check value of \"123456789\"");

namespace crc_detail {

template <ByteOrder order>
constexpr std::uint32_t update_sliced(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
    for (; count >= 16; bytes += 16, count -= 16) {
        crc = through_slices(15, crc ^ load_fed<order>(bytes)) ^ through_slices(11, load_fed<order>(bytes + 4)) ^
              through_slices(7, load_fed<order>(bytes + 8)) ^ through_slices(3, load_fed<order>(bytes + 12));
    }
    return crc_update(crc, bytes, count, order);
}

}  // namespace crc_detail

// The same CRC as crc_update, sixteen bytes a step.
constexpr std::uint32_t crc_update_sliced(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count,
                                          ByteOrder order) {
    using crc_detail::update_sliced;
    return order == ByteOrder::kHighByteFirst ? update_sliced<ByteOrder::kHighByteFirst>(crc, bytes, count)
                                              : update_sliced<ByteOrder::kLowByteFirst>(crc, bytes, count);
}

namespace crc_detail {
// Every slice and every tail length, in both orders, against the byte-wise reference.
constexpr bool sliced_matches_reference() {
    std::uint8_t bytes[50] = {};
    for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (const ByteOrder order : {ByteOrder::kHighByteFirst, ByteOrder::kLowByteFirst}) {
        for (std::size_t length = 0; length <= sizeof bytes; ++length) {
            if (crc_update_sliced(0x5A5A5A5A, bytes, length, order) != crc_update(0x5A5A5A5A, bytes, length, order))
                return false;
        }
    }
    return true;
}
}  // namespace crc_detail

static_assert(crc_detail::sliced_matches_reference());
static_assert(crc_update_sliced(0, crc_detail::kCheckInput, 9, ByteOrder::kHighByteFirst) == 0x89A1897F);

// The same CRC as crc_update, as fast as this machine computes it: one
// implementation a processor family (crc_x86.cpp, crc_portable.cpp).
std::uint32_t crc_update_fast(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count, ByteOrder order);

// The image words the CRC covers, [first, end): all but the last two whole
// words (the CRC slot itself) and, when `entry_word` is set, the first two.
// None when end <= first.
struct CoveredWords {
    std::int64_t first, end;
};
CoveredWords covered_words(std::uint32_t image_length, bool entry_word);

// CRC over the covered words, each word's bytes fed in `order`.
std::uint32_t compute_image_crc(const ImageBuffer& image, std::uint32_t image_length, bool entry_word, ByteOrder order);

// Checksum of the four-byte data record at `crc_address` that carries `crc`.
std::uint8_t crc_record_checksum(std::uint32_t crc_address, std::uint32_t crc);
