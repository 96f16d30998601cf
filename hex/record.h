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

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace record_type {
constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;
}  // namespace record_type

// Value of a hex digit (0-15); any other character gives its own code.
std::uint8_t decode_hex_digit(std::uint8_t c);

// Upper-case hex digit of a value 0-15.
char encode_hex_digit(std::uint8_t value);

// The byte formed by the two characters at `pos`.
std::uint8_t hex_byte_at(std::string_view text, std::size_t pos);

// The 16-bit field formed by the four characters at `pos`, first highest.
std::uint16_t hex_field16_at(std::string_view text, std::size_t pos);

// Writes `value` as two upper-case hex digits at `out[0]` and `out[1]`.
void encode_hex_byte(std::uint8_t value, char* out);

// The checksum that makes the bytes of a record sum to 0 modulo 256.
std::uint8_t record_checksum(const std::uint8_t* bytes, std::size_t count);
