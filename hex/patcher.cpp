#include "hex/patcher.h"

#include <array>
#include <cctype>
#include <cstring>

#include "common/crcstamp.h"
#include "crc/crc.h"
#include "hex/file_io.h"
#include "hex/record.h"

namespace {

// Characters 9 to 18 of the CRC record: four data bytes and the checksum.
constexpr std::size_t kPatchAt = 9;
constexpr std::size_t kPatchLength = 10;
// Characters 0 to 12 hold every header field a line is matched by, all in
// its first slot: the rest of a longer line is never taken for a record.
constexpr std::size_t kHeaderLength = 13;
static_assert(kHeaderLength < kLineWidth);

using PatchText = std::array<char, kPatchLength>;

PatchText patch_text(std::uint32_t crc_address, std::uint32_t crc) {
    const std::uint8_t bytes[] = {
        static_cast<std::uint8_t>(crc >> 8),  static_cast<std::uint8_t>(crc),
        static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
        crc_record_checksum(crc_address, crc),
    };
    PatchText text{};
    for (std::size_t i = 0; i < sizeof bytes; ++i) encode_hex_byte(bytes[i], text.data() + 2 * i);
    return text;
}

// A lone LF becomes CR LF; a lone CR stays text.
void end_lines_with_crlf(FileBytes& text, std::size_t lone_newlines) {
    FileBytes ended;
    ended.reserve(text.size() + lone_newlines);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ended.push_back('\r');
        ended.push_back(text[i]);
    }
    text.swap(ended);
}

}  // namespace

std::vector<std::size_t> find_crc_records(std::string_view text, std::uint32_t crc_address,
                                          std::size_t* lone_newlines) {
    std::vector<std::size_t> records;
    std::size_t lone = 0;
    std::uint32_t extended = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t newline = text.find('\n', start);
        const bool has_newline = newline != std::string_view::npos;
        std::size_t end = has_newline ? newline : text.size();
        if (has_newline && end > start && text[end - 1] == '\r') {
            --end;  // CR LF is one line end
        } else if (has_newline) {
            ++lone;
        }
        const std::string_view line = text.substr(start, end - start);

        // A short line's fields read as a text-mode read of it gives them:
        // the line end as one '\n', and zeros past it.
        char short_line[kHeaderLength];
        std::string_view head = line;
        if (line.size() < kHeaderLength) {
            std::memset(short_line, 0, sizeof short_line);
            std::memcpy(short_line, line.data(), line.size());
            if (has_newline) short_line[line.size()] = '\n';
            head = std::string_view(short_line, line.size() + (has_newline ? 1 : 0));
        }
        const std::uint8_t type = hex_byte_at(head, 7);
        if (type == record_type::kExtendedLinearAddress) {
            extended = std::uint32_t{hex_field16_at(head, 9)} << 16;
        } else if (hex_field16_at(head, 3) + extended == crc_address && type == record_type::kData &&
                   hex_byte_at(head, 1) == 4 && line.size() >= kPatchAt + kPatchLength) {
            // Only a whole four-byte data record: ten characters written into
            // any other record at this address would break it.
            records.push_back(start);
        }
        start = has_newline ? newline + 1 : text.size();
    }
    if (lone_newlines != nullptr) *lone_newlines = lone;
    return records;
}

std::size_t patch_crc_text(FileBytes& text, std::uint32_t crc_address, std::uint32_t crc) {
    const PatchText patch = patch_text(crc_address, crc);
    std::size_t lone_newlines = 0;
    const std::vector<std::size_t> records = find_crc_records(view_of(text), crc_address, &lone_newlines);
    // Characters 9 to 18 are never a line end: stamping first keeps the offsets.
    for (const std::size_t at : records) std::memcpy(&text[at + kPatchAt], patch.data(), kPatchLength);
    // Most files already end their lines in CR LF and are not copied.
    if (lone_newlines > 0) end_lines_with_crlf(text, lone_newlines);
    return records.size();
}

PatchOutcome patch_crc_record(const std::string& path, FileBytes& file, std::uint32_t crc_address,
                              std::uint32_t crc) {
    // Nothing is gained by rewriting a file that gets no CRC.
    if (patch_crc_text(file, crc_address, crc) == 0) return PatchOutcome::kNoCrcRecord;
    return replace_file_bytes(path, view_of(file)) ? PatchOutcome::kStamped : PatchOutcome::kNotWritten;
}

CrcCheck check_crc_text(std::string_view text, std::uint32_t crc_address, std::uint32_t crc) {
    const std::vector<std::size_t> records = find_crc_records(text, crc_address);
    if (records.empty()) return CrcCheck::kNoCrcRecord;
    const PatchText patch = patch_text(crc_address, crc);
    for (const std::size_t at : records) {
        for (std::size_t i = 0; i < kPatchLength; ++i) {
            const auto written = static_cast<unsigned char>(text[at + kPatchAt + i]);
            if (std::toupper(written) != patch[i]) return CrcCheck::kDiffers;
        }
    }
    return CrcCheck::kMatches;
}
