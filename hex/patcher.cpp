#include "hex/patcher.h"

#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include "crc/crc.h"
#include "hex/record.h"

namespace {

// Characters 9 to 18 of the CRC record: four data bytes and the checksum.
constexpr std::size_t kPatchAt = 9;
constexpr std::size_t kPatchLength = 10;
static_assert(kPatchAt + kPatchLength == kCrcRecordLength);

using PatchText = std::array<char, kPatchLength>;

PatchText patch_text(std::uint32_t crc_address, std::uint32_t crc) {
    const std::uint8_t bytes[] = {
        static_cast<std::uint8_t>(crc >> 8),   static_cast<std::uint8_t>(crc),
        static_cast<std::uint8_t>(crc >> 24),  static_cast<std::uint8_t>(crc >> 16),
        crc_record_checksum(crc_address, crc),
    };
    PatchText text{};
    for (std::size_t i = 0; i < sizeof bytes; ++i) encode_hex_byte(bytes[i], text.data() + 2 * i);
    return text;
}

bool is_lone_newline(std::string_view text, std::size_t i) {
    return text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
}

std::size_t count_lone_newlines(std::string_view text) {
    std::size_t lone_newlines = 0;
    for (std::size_t i = text.find('\n'); i != std::string_view::npos; i = text.find('\n', i + 1)) {
        lone_newlines += is_lone_newline(text, i);
    }
    return lone_newlines;
}

bool has_lone_newline(std::string_view text) { return count_lone_newlines(text) > 0; }

// A lone LF becomes CR LF; a lone CR stays text. Most files already end their
// lines in CR LF and are not copied.
void end_lines_with_crlf(FileBytes& text) {
    const std::string_view view = view_of(text);
    const std::size_t lone_newlines = count_lone_newlines(view);
    if (lone_newlines == 0) return;
    FileBytes ended;
    ended.reserve(text.size() + lone_newlines);
    for (std::size_t i = 0; i < view.size(); ++i) {
        if (is_lone_newline(view, i)) ended.push_back('\r');
        ended.push_back(view[i]);
    }
    text.swap(ended);
}

}  // namespace

void patch_crc_text(FileBytes& text, const LoadResult& load, std::uint32_t crc) {
    const PatchText patch = patch_text(load.crc_address, crc);
    // Characters 9 to 18 are never a line end: stamping first keeps the offsets.
    for (const RecordOffset at : load.crc_records) std::memcpy(&text[at + kPatchAt], patch.data(), kPatchLength);
    end_lines_with_crlf(text);
}

WriteOutcome patch_crc_record(FileSnapshot& file, const LoadResult& load, std::uint32_t crc) {
    if (!has_lone_newline(view_of(file.bytes))) {
        std::vector<std::size_t> offsets;
        for (const RecordOffset at : load.crc_records) offsets.push_back(at + kPatchAt);
        const PatchText patch = patch_text(load.crc_address, crc);
        return overwrite_in_place(file, offsets, {patch.data(), patch.size()});
    }
    patch_crc_text(file.bytes, load, crc);
    return replace_file_bytes(file, view_of(file.bytes));
}

bool crc_records_match(std::string_view text, const LoadResult& load, std::uint32_t crc) {
    const PatchText patch = patch_text(load.crc_address, crc);
    for (const RecordOffset at : load.crc_records) {
        for (std::size_t i = 0; i < kPatchLength; ++i) {
            const auto written = static_cast<unsigned char>(text[at + kPatchAt + i]);
            if (std::toupper(written) != patch[i]) return false;
        }
    }
    return !load.crc_records.empty();
}
