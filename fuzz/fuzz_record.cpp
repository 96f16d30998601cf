// The record helpers against a slow reference written from the format rules:
// a hex digit of either case gives its value, any other character its code,
// a field takes the low four bits of each character, and positions past the
// end of the text read as code 0.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hex/record.h"

namespace {

unsigned reference_digit(unsigned c) {
    const char* digits = "0123456789abcdef";
    for (unsigned v = 0; v < 16; ++v) {
        if (c == static_cast<unsigned char>(digits[v])) return v;
        if (v >= 10 && c == static_cast<unsigned char>(digits[v] - 'a' + 'A')) return v;
    }
    return c;
}

unsigned reference_char(std::string_view text, std::size_t pos) {
    return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
}

unsigned reference_field(std::string_view text, std::size_t pos, std::size_t digits) {
    unsigned value = 0;
    for (std::size_t i = 0; i < digits; ++i) value = value * 16 + (reference_digit(reference_char(text, pos + i)) % 16);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t pos = 0; pos <= size + 4; ++pos) {
        const unsigned c = reference_char(text, pos);
        if (decode_hex_digit(static_cast<std::uint8_t>(c)) != reference_digit(c)) std::abort();
        if (hex_byte_at(text, pos) != reference_field(text, pos, 2)) std::abort();
        if (hex_field16_at(text, pos) != reference_field(text, pos, 4)) std::abort();
        char encoded[2];
        encode_hex_byte(static_cast<std::uint8_t>(c), encoded);
        if (reference_field(std::string_view(encoded, 2), 0, 2) != c || encoded[0] > 'F' || encoded[1] > 'F')
            std::abort();
    }
    return 0;
}
