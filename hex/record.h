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
// The field functions form a byte from any character: one that is not a hex
// digit counts with the low four bits of its code, and a position past the end
// of the text counts as code 0. A reader that vouches for a record first makes
// sure that it holds only hex digits (decode_hex_digits).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace record_type {
constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kExtendedSegmentAddress = 0x02;
constexpr std::uint8_t kStartSegmentAddress = 0x03;
constexpr std::uint8_t kExtendedLinearAddress = 0x04;
constexpr std::uint8_t kStartLinearAddress = 0x05;
}  // namespace record_type

// Characters of a record before its data: ':', count, address and type.
constexpr std::size_t kRecordHeaderLength = 9;

// Characters of a record with `count` data bytes, from its ':' to its checksum.
constexpr std::size_t record_length(std::uint8_t count) { return kRecordHeaderLength + 2 * std::size_t{count} + 2; }

// The byte count that the format fixes for a type, or -1 where it fixes none.
constexpr int fixed_byte_count(std::uint8_t type) {
    switch (type) {
        case record_type::kEndOfFile:
            return 0;
        case record_type::kExtendedSegmentAddress:
        case record_type::kExtendedLinearAddress:
            return 2;
        case record_type::kStartSegmentAddress:
        case record_type::kStartLinearAddress:
            return 4;
        default:
            return -1;
    }
}

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
// What a character adds to a field.
inline constexpr std::array<std::uint8_t, 256> kNibble = make_nibble_table();

inline std::uint8_t nibble_at(std::string_view text, std::size_t pos) {
    return pos < text.size() ? kNibble[static_cast<std::uint8_t>(text[pos])] : 0;
}

constexpr bool is_hex_digit(unsigned c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// What a character adds to a byte as its high or its low digit; a character
// that is not a hex digit adds kNotHexFlag, above the byte, instead.
constexpr std::uint16_t kNotHexFlag = 0x100;

constexpr std::array<std::uint16_t, 256> make_strict_digit_table(unsigned shift) {
    std::array<std::uint16_t, 256> table{};
    for (unsigned c = 0; c < 256; ++c) {
        table[c] = is_hex_digit(c) ? static_cast<std::uint16_t>(make_digit_table()[c] << shift) : kNotHexFlag;
    }
    return table;
}

inline constexpr std::array<std::uint16_t, 256> kStrictHigh = make_strict_digit_table(4);
inline constexpr std::array<std::uint16_t, 256> kStrictLow = make_strict_digit_table(0);

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

// The 16-bit field formed by the four characters at `pos`, first highest.
inline std::uint16_t hex_field16_at(std::string_view text, std::size_t pos) {
    return static_cast<std::uint16_t>(hex_byte_at(text, pos) << 8 | hex_byte_at(text, pos + 2));
}

#if defined(__SSE2__) || defined(_M_X64)
namespace record_detail {

// Sixteen digits to eight bytes in one step, on every x86-64: the loader
// spends most of its time here. False, with nothing stored, where one of
// them is not a hex digit.
inline bool decode_sixteen_digits(const char* digits, std::uint8_t* out, __m128i& sums) {
    const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits));
    // x below y, unsigned: min(x, y - 1) is x.
    const auto below = [](__m128i x, char y) {
        return _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(static_cast<char>(y - 1))), x);
    };
    const __m128i from_0 = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
    // Setting bit 5 folds A-F onto a-f, and nothing else onto them.
    const __m128i from_a = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i digit = below(from_0, 10);
    if (_mm_movemask_epi8(_mm_or_si128(digit, below(from_a, 6))) != 0xFFFF) return false;
    const __m128i nibbles =
        _mm_or_si128(_mm_and_si128(digit, from_0), _mm_andnot_si128(digit, _mm_add_epi8(from_a, _mm_set1_epi8(10))));
    // Each 16-bit lane holds a pair, its high digit in the low byte.
    const __m128i bytes =
        _mm_and_si128(_mm_or_si128(_mm_slli_epi16(nibbles, 4), _mm_srli_epi16(nibbles, 8)), _mm_set1_epi16(0x00FF));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(bytes, bytes));
    sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));  // two sums of four bytes
    return true;
}

}  // namespace record_detail
#endif

// Decodes the 2 x `count` hex digits at `digits` into `count` bytes at `out`,
// adding each byte to `sum`; false when any of the characters is not a hex
// digit, and then the bytes are not to be used.
inline bool decode_hex_digits(const char* digits, std::size_t count, std::uint8_t* out, unsigned& sum) {
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    if (count >= 8) {
        __m128i sums = _mm_setzero_si128();
        for (; i + 8 <= count; i += 8) {
            if (!record_detail::decode_sixteen_digits(digits + 2 * i, out + i, sums)) return false;
        }
        sum += static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    }
#endif
    const auto byte_at = [digits](std::size_t at) -> unsigned {
        return record_detail::kStrictHigh[static_cast<std::uint8_t>(digits[2 * at])] |
               record_detail::kStrictLow[static_cast<std::uint8_t>(digits[2 * at + 1])];
    };
    unsigned not_hex = 0;
    // Two bytes a step: the loop's own cost is a good part of a byte's.
    for (; i + 2 <= count; i += 2) {
        const unsigned first = byte_at(i), second = byte_at(i + 1);
        out[i] = static_cast<std::uint8_t>(first);
        out[i + 1] = static_cast<std::uint8_t>(second);
        not_hex |= first | second;
        sum += first + second;  // a flag adds nothing modulo 256
    }
    if (i < count) {
        const unsigned last = byte_at(i);
        out[i] = static_cast<std::uint8_t>(last);
        not_hex |= last;
        sum += last;
    }
    return (not_hex & record_detail::kNotHexFlag) == 0;
}

// The record reader: what a record is, where it starts and where it ends.
// A record runs from its ':' to its checksum, every character between a hex
// digit, and as long as its count says; a hex digit right after the
// checksum would make it longer, so it is no record. Types 02 and 06 to FF
// have no meaning here; where the format fixes a type's count, the record
// has it; address and start address records carry 0000 as their address.
//
//   Record record;
//   if (read_record_header(text, colon, record) == RecordFault::kNone &&
//       read_record_data(text, record, bytes) == RecordFault::kNone) ... record.checksum_holds ...
//   next = next_record(text, record.end);
//
// Two steps, so that a caller can look at the header before it says where
// the data goes (straight into an image, say).
enum class RecordFault { kNone, kMalformed, kUnknownType };

struct Record {
    std::size_t at = 0;  // its ':'
    std::uint8_t count = 0, type = 0;
    std::uint16_t address = 0;  // the address field
    std::size_t end = 0;        // just past the checksum
    bool checksum_holds = false;
    unsigned sum = 0;  // of the bytes read so far
};

// Reads the header of the record whose ':' stands at `at`.
inline RecordFault read_record_header(std::string_view text, std::size_t at, Record& record) {
    std::uint8_t header[4];
    record.at = at;
    record.sum = 0;
    record.checksum_holds = false;
    // A field that is not hex has no value: the header is checked before its type is looked at.
    if (text.size() - at < kRecordHeaderLength || !decode_hex_digits(text.data() + at + 1, 4, header, record.sum))
        return RecordFault::kMalformed;
    record.count = header[0];
    record.address = static_cast<std::uint16_t>(header[1] << 8 | header[2]);
    record.type = header[3];
    record.end = at + record_length(record.count);
    const int fixed = fixed_byte_count(record.type);
    if (record.type > record_type::kStartLinearAddress || record.type == record_type::kExtendedSegmentAddress)
        return RecordFault::kUnknownType;
    if (fixed >= 0 && record.count != fixed) return RecordFault::kMalformed;
    const bool addressed = record.type == record_type::kData || record.type == record_type::kEndOfFile;
    return addressed || record.address == 0 ? RecordFault::kNone : RecordFault::kMalformed;
}

// Reads the data of a record whose header was read into `data` (room for its
// count), and its checksum.
inline RecordFault read_record_data(std::string_view text, Record& record, std::uint8_t* data) {
    std::uint8_t checksum;
    if (text.size() < record.end ||
        !decode_hex_digits(text.data() + record.at + kRecordHeaderLength, record.count, data, record.sum) ||
        !decode_hex_digits(text.data() + record.end - 2, 1, &checksum, record.sum))
        return RecordFault::kMalformed;
    if (record.end < text.size() &&
        record_detail::kStrictLow[static_cast<std::uint8_t>(text[record.end])] != record_detail::kNotHexFlag)
        return RecordFault::kMalformed;
    record.checksum_holds = (record.sum & 0xFF) == 0;
    return RecordFault::kNone;
}

// Where the record after the one that ends at `end` begins: the next ':', or
// the size of the text when there is none. Whatever stands between (line
// ends, blanks, text) is no record's.
inline std::size_t next_record(std::string_view text, std::size_t end) {
    // Mostly a line end, too short to be worth a call to memchr.
    if (text.substr(end, 3) == "\r\n:") return end + 2;
    if (text.substr(end, 2) == "\n:") return end + 1;
    const std::size_t colon = text.find(':', end);
    return colon == std::string_view::npos ? text.size() : colon;
}

// Writes `value` as two upper-case hex digits at `out[0]` and `out[1]`.
void encode_hex_byte(std::uint8_t value, char* out);

// The checksum that makes the bytes of a record sum to 0 modulo 256.
std::uint8_t record_checksum(const std::uint8_t* bytes, std::size_t count);

// Characters of the record that carries the CRC, ':' to checksum: four data bytes.
constexpr std::size_t kCrcRecordLength = record_length(4);

// Whether the `length` characters from the ':' at `colon` are a line of their
// own: only spaces or tabs before them on the line, and right after them a
// line end (CR LF or LF) or the end of the text. Only such a record is
// rewritten: what else shares its line is not a record's to change.
bool stands_alone_on_line(std::string_view text, std::size_t colon, std::size_t length);
