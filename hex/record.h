// Intel HEX record conventions, as crcstamp reads and writes them.
//
// A record is ':' followed by pairs of hex digits, one byte a pair, high
// digit first:
//
//   0    1-2    3-6      7-8   9 ...          last two
//   :    count  address  type  count data     checksum
//
// Type 00 is data, 01 end of file, 04 extended linear address (the upper 16
// bits of the addresses that follow). Addresses are word addresses.
//
// Fields are formed leniently, as the records have always been read: no
// character is refused as a digit, and one that is not a hex digit counts with
// the low four bits of its code. A position past the end of the text counts as
// code 0, so a short line reads as zeros rather than out of bounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace record_type {
constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;
}  // namespace record_type

namespace record_detail {

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

constexpr std::array<std::uint8_t, 256> make_nibble_table() {
    std::array<std::uint8_t, 256> table = make_digit_table();
    for (auto& value : table) value &= 0x0F;
    return table;
}

inline constexpr std::array<std::uint8_t, 256> kDigitValue = make_digit_table();
// What a character adds to a field; looked up for every character the loader
// reads, so kept inline.
inline constexpr std::array<std::uint8_t, 256> kNibble = make_nibble_table();

inline std::uint8_t nibble(char c) { return kNibble[static_cast<std::uint8_t>(c)]; }

inline std::uint8_t nibble_at(std::string_view text, std::size_t pos) {
    return pos < text.size() ? nibble(text[pos]) : 0;
}

}  // namespace record_detail

// Value of a hex digit (0-15); any other character gives its own code.
inline std::uint8_t decode_hex_digit(std::uint8_t c) { return record_detail::kDigitValue[c]; }

// Upper-case hex digit of a value 0-15.
char encode_hex_digit(std::uint8_t value);

// The byte formed by the two characters at `pos`.
inline std::uint8_t hex_byte_at(std::string_view text, std::size_t pos) {
    return static_cast<std::uint8_t>(record_detail::nibble_at(text, pos) << 4 |
                                     record_detail::nibble_at(text, pos + 1));
}

// The byte formed by the two characters at `digits`, both known to be there.
inline std::uint8_t hex_byte(const char* digits) {
    return static_cast<std::uint8_t>(record_detail::nibble(digits[0]) << 4 | record_detail::nibble(digits[1]));
}

// The 16-bit field formed by the four characters at `pos`, first highest.
inline std::uint16_t hex_field16_at(std::string_view text, std::size_t pos) {
    return static_cast<std::uint16_t>(hex_byte_at(text, pos) << 8 | hex_byte_at(text, pos + 2));
}

// Writes `value` as two upper-case hex digits at `out[0]` and `out[1]`.
void encode_hex_byte(std::uint8_t value, char* out);

// The checksum that makes the bytes of a record sum to 0 modulo 256.
std::uint8_t record_checksum(const std::uint8_t* bytes, std::size_t count);

// Characters of the record that carries the CRC, ':' to checksum: four data bytes.
constexpr std::size_t kCrcRecordLength = 19;

// Whether the `length` characters from the ':' at `colon` are a line of their
// own: only spaces or tabs before them on the line, and right after them a
// line end (CR LF or LF) or the end of the text. Only such a record is
// rewritten: what else shares its line is not a record's to change.
bool stands_alone_on_line(std::string_view text, std::size_t colon, std::size_t length);
