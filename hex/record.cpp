#include "hex/record.h"

#include <array>

namespace {

constexpr std::array<std::uint8_t, 256> make_digit_table() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9') {
            table[c] = static_cast<std::uint8_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
        } else {
            table[c] = static_cast<std::uint8_t>(c);
        }
    }
    return table;
}

// Looked up for every character of every record the loader reads.
constexpr auto kDigitValue = make_digit_table();

std::uint8_t nibble_at(std::string_view text, std::size_t pos) {
    const auto c = pos < text.size() ? static_cast<std::uint8_t>(text[pos]) : 0;
    return kDigitValue[c] & 0x0F;
}

}  // namespace

std::uint8_t decode_hex_digit(std::uint8_t c) { return kDigitValue[c]; }

char encode_hex_digit(std::uint8_t value) { return "0123456789ABCDEF"[value & 0x0F]; }

std::uint8_t hex_byte_at(std::string_view text, std::size_t pos) {
    return static_cast<std::uint8_t>(nibble_at(text, pos) << 4 | nibble_at(text, pos + 1));
}

std::uint16_t hex_field16_at(std::string_view text, std::size_t pos) {
    return static_cast<std::uint16_t>(hex_byte_at(text, pos) << 8 | hex_byte_at(text, pos + 2));
}

void encode_hex_byte(std::uint8_t value, char* out) {
    out[0] = encode_hex_digit(static_cast<std::uint8_t>(value >> 4));
    out[1] = encode_hex_digit(value);
}

std::uint8_t record_checksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}
