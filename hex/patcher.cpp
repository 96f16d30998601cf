#include "hex/patcher.h"

#include <algorithm>
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

// Hands out `text` with a CR before every lone LF, a block at a time, so that
// the converted text never needs a copy of the whole file; a lone CR stays text.
class CrlfSource {
  public:
    explicit CrlfSource(std::string_view text) : text_(text) {}

    std::size_t operator()(char* to, std::size_t room) {
        std::size_t written = 0;
        while (at_ < text_.size() && written < room) {
            const std::size_t newline = text_.find('\n', at_);
            const std::size_t end = newline == std::string_view::npos ? text_.size() : newline;
            const std::size_t copied = std::min(end - at_, room - written);
            std::memcpy(to + written, text_.data() + at_, copied);
            written += copied;
            at_ += copied;
            if (at_ != newline) continue;
            const bool lone = is_lone_newline(text_, newline);
            if (room - written < 1u + lone) break;
            if (lone) to[written++] = '\r';
            to[written++] = '\n';
            ++at_;
        }
        return written;
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// Characters 9 to 18 are never a line end: stamping before the line ends
// change keeps the offsets.
void stamp(FileBytes& text, const LoadResult& load, const PatchText& patch) {
    for (const RecordOffset at : load.crc_records) std::memcpy(&text[at + kPatchAt], patch.data(), kPatchLength);
}

}  // namespace

TextSource crlf_text(std::string_view text) { return CrlfSource(text); }

void patch_crc_text(FileBytes& text, const LoadResult& load, std::uint32_t crc) {
    stamp(text, load, patch_text(load.crc_address, crc));
    if (!load.lone_newline) return;
    FileBytes ended;
    ended.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    write_in_blocks(crlf_text(view_of(text)), [&ended](std::string_view block) {
        ended.insert(ended.end(), block.begin(), block.end());
        return true;
    });
    text.swap(ended);
}

WriteOutcome patch_crc_record(FileSnapshot& file, const LoadResult& load, std::uint32_t crc) {
    const PatchText patch = patch_text(load.crc_address, crc);
    if (!load.lone_newline) {
        std::vector<std::size_t> offsets;
        for (const RecordOffset at : load.crc_records) offsets.push_back(at + kPatchAt);
        return overwrite_in_place(file, offsets, {patch.data(), patch.size()});
    }
    stamp(file.bytes, load, patch);
    return replace_file_bytes(file, crlf_text(view_of(file.bytes)));
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
