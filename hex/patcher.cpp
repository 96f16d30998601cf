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

}  // namespace

void patch_crc_text(std::string_view text, std::uint32_t crc_address, std::uint32_t crc, std::string& out) {
    char patch[kPatchLength];
    const std::uint8_t data[] = {
        static_cast<std::uint8_t>(crc >> 8),
        static_cast<std::uint8_t>(crc),
        static_cast<std::uint8_t>(crc >> 24),
        static_cast<std::uint8_t>(crc >> 16),
        crc_record_checksum(crc_address, crc),
    };
    for (std::size_t i = 0; i < sizeof data; ++i) encode_hex_byte(data[i], patch + 2 * i);

    out.reserve(out.size() + text.size() + text.size() / 16);
    std::uint32_t extended = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const bool has_newline = newline != std::string_view::npos;
        std::size_t end = has_newline ? newline : text.size();
        // CR LF is one line end; a lone CR is part of the text.
        if (has_newline && end > start && text[end - 1] == '\r') --end;
        const std::string_view line = text.substr(start, end - start);

        // The header fields come from the line's first slot as a text-mode read
        // gives it: the line end as one '\n', and zeros past it.
        char slot[kLineWidth] = {};
        std::size_t slot_length = std::min(line.size(), kLineWidth - 1);
        std::memcpy(slot, line.data(), slot_length);
        if (has_newline && slot_length < kLineWidth - 1) slot[slot_length++] = '\n';
        const std::string_view first_slot(slot, slot_length);

        const std::uint8_t type = hex_byte_at(first_slot, 7);
        bool is_crc_record = false;
        if (type == record_type::kExtendedLinearAddress) {
            extended = std::uint32_t{hex_field16_at(first_slot, 9)} << 16;
        } else if (hex_field16_at(first_slot, 3) + extended == crc_address) {
            // Only a whole four-byte data record is patched: ten characters
            // written into any other record at this address would break it.
            is_crc_record = type == record_type::kData && hex_byte_at(first_slot, 1) == 4 &&
                            line.size() >= kPatchAt + kPatchLength;
        }

        if (is_crc_record) {
            out.append(line.substr(0, kPatchAt));
            out.append(patch, kPatchLength);
            out.append(line.substr(kPatchAt + kPatchLength));
        } else {
            out.append(line);
        }
        if (has_newline) out.append("\r\n");
        start = has_newline ? newline + 1 : text.size();
    }
}

bool patch_crc_record(const std::string& path, std::uint32_t crc_address, std::uint32_t crc) {
    std::string text;
    if (!read_file_bytes(path, text)) return false;
    std::string patched;
    patch_crc_text(text, crc_address, crc, patched);
    return replace_file_bytes(path, patched);
}
