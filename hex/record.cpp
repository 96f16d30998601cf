#include "hex/record.h"

char encode_hex_digit(std::uint8_t value) { return "0123456789ABCDEF"[value & 0x0F]; }

void encode_hex_byte(std::uint8_t value, char* out) {
    out[0] = encode_hex_digit(static_cast<std::uint8_t>(value >> 4));
    out[1] = encode_hex_digit(value);
}

std::uint8_t record_checksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

bool stands_alone_on_line(std::string_view text, std::size_t colon, std::size_t length) {
    for (std::size_t i = colon; i > 0 && text[i - 1] != '\n'; --i) {
        if (text[i - 1] != ' ' && text[i - 1] != '\t') return false;
    }
    std::size_t line_end = text.find('\n', colon);
    if (line_end == std::string_view::npos) {
        line_end = text.size();
    } else if (text[line_end - 1] == '\r') {
        --line_end;  // CR LF is one line end; a lone CR is text
    }
    return line_end - colon == length;
}
