#include "hex/patcher.h"

#include <algorithm>
#include <cstring>

#include "common/crcstamp.h"
#include "crc/crc.h"
#include "hex/file_io.h"
#include "hex/record.h"

namespace {

// Characters 9 to 18 of the patched record: four data bytes and the checksum.
constexpr std::size_t kPatchAt = 9;
constexpr std::size_t kPatchLength = 10;

bool is_lone_newline(const std::string& text, std::size_t at) {
    return text[at] == '\n' && (at == 0 || text[at - 1] != '\r');
}

// A lone LF becomes CR LF; a lone CR stays text. Most files already end
// their lines in CR LF and are left as they are, without a copy.
void end_lines_with_crlf(std::string& text) {
    std::size_t lone_newlines = 0;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        if (is_lone_newline(text, at)) ++lone_newlines;
    }
    if (lone_newlines == 0) return;
    std::string ended;
    ended.reserve(text.size() + lone_newlines);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_lone_newline(text, i)) ended += '\r';
        ended += text[i];
    }
    text.swap(ended);
}

}  // namespace

void patch_crc_text(std::string& text, std::uint32_t crc_address, std::uint32_t crc) {
    char patch[kPatchLength];
    const std::uint8_t data[] = {
        static_cast<std::uint8_t>(crc >> 8),   static_cast<std::uint8_t>(crc),
        static_cast<std::uint8_t>(crc >> 24),  static_cast<std::uint8_t>(crc >> 16),
        crc_record_checksum(crc_address, crc),
    };
    for (std::size_t i = 0; i < sizeof data; ++i) encode_hex_byte(data[i], patch + 2 * i);

    end_lines_with_crlf(text);
    std::uint32_t extended = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const bool has_newline = newline != std::string::npos;
        // Every line end is CR LF now; the CR is part of the line end.
        const std::size_t end = has_newline ? newline - 1 : text.size();
        const std::string_view line(text.data() + start, end - start);

        // The header fields come from the line's first slot as a text-mode read
        // gives it: the line end as one '\n', and zeros past it.
        char slot[kLineWidth] = {};
        std::size_t slot_length = std::min(line.size(), kLineWidth - 1);
        std::memcpy(slot, line.data(), slot_length);
        if (has_newline && slot_length < kLineWidth - 1) slot[slot_length++] = '\n';
        const std::string_view first_slot(slot, slot_length);

        const std::uint8_t type = hex_byte_at(first_slot, 7);
        if (type == record_type::kExtendedLinearAddress) {
            extended = std::uint32_t{hex_field16_at(first_slot, 9)} << 16;
        } else if (hex_field16_at(first_slot, 3) + extended == crc_address && type == record_type::kData &&
                   hex_byte_at(first_slot, 1) == 4 && line.size() >= kPatchAt + kPatchLength) {
            // Only a whole four-byte data record is stamped: ten characters
            // written into any other record at this address would break it.
            std::memcpy(text.data() + start + kPatchAt, patch, kPatchLength);
        }
        start = has_newline ? newline + 1 : text.size();
    }
}

bool patch_crc_record(const std::string& path, std::string& file, std::uint32_t crc_address, std::uint32_t crc) {
    patch_crc_text(file, crc_address, crc);
    return replace_file_bytes(path, file);
}
