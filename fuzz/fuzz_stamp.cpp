// The whole path on arbitrary bytes, held in a buffer of their exact size for ASan. A file that stamps
// has every record sound up to its end-of-file record and nothing after the image landing in it. Its
// stamp ends every line in CR LF and changes nothing else but characters 9 to 18 of its CRC records; a
// file whose lines already end so loads again to the same CRC and CRC records, which then hold it.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "crc/crc.h"
#include "hex/loader.h"
#include "hex/patcher.h"
#include "hex/record.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Every record from the first to the end-of-file record, read plainly. An extended address record's checksum
// follows its two bytes, whatever its count; the stamp writes that of the record that ends the image.
void require_sound_file(std::string_view text, const LoadResult& load) {
    const std::uint64_t image_first = load.image_address, image_end = image_first + (load.image_length + 1) / 2;
    const std::vector<RecordOffset>& slots = load.crc_records;
    std::uint32_t extended = 0;
    for (std::size_t pos = 0; hex_byte_at(text, pos + 7) != record_type::kEndOfFile; pos = text.find(':', pos)) {
        const unsigned count = hex_byte_at(text, pos + 1), type = hex_byte_at(text, pos + 7);
        const std::uint32_t address = hex_field16_at(text, pos + 3) + extended;
        const std::size_t digits = type == record_type::kExtendedLinearAddress ? 14 : 10 + 2 * count;
        unsigned sum = 0;
        for (std::size_t i = 1; i < 1 + digits; i += 2) sum += hex_byte_at(text, pos + i);
        require(pos == slots.front() ? pos + digits - 1 <= text.size() : pos + digits < text.size() && sum % 256 == 0);
        if (type == record_type::kExtendedLinearAddress) extended = std::uint32_t{hex_field16_at(text, pos + 9)} << 16;
        if (pos > slots.front() && type == record_type::kData && count > 0 &&
            std::find(slots.begin(), slots.end(), pos) == slots.end())
            require(address >= image_end || address + (count + 1) / 2 <= image_first);
        pos += pos == slots.front() ? digits - 1 : digits + 1;
        require(pos <= text.size() && text.find(':', pos) != std::string_view::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<char> file(data, data + size);
    const std::string_view text(file.data(), size);
    static ImageBuffer image;
    LoadResult load;
    std::string message;
    if (!load_hex_bytes(text, image, load, message) || load.crc_records.empty()) return 0;
    require_sound_file(text, load);
    const std::uint32_t crc = compute_image_crc(image, load.image_length, load.entry_word);

    FileBytes once(text.begin(), text.end());
    patch_crc_text(once, load, crc);
    std::size_t at = 0, record = 0;
    for (std::size_t i = 0; i < size; ++i, ++at) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) require(at < once.size() && once[at++] == '\r');
        while (record < load.crc_records.size() && i >= load.crc_records[record] + kCrcRecordLength) ++record;
        const bool stamped = record < load.crc_records.size() && i >= load.crc_records[record] + 9;
        require(at < once.size() && (once[at] == text[i] || stamped));
    }
    require(at == once.size());

    // A record read across a lone LF (any character counts as a digit) shifts when the LF gets its CR.
    if (once.size() != size) return 0;
    LoadResult again;
    require(load_hex_bytes(view_of(once), image, again, message) &&
            again.crc_records.size() == load.crc_records.size());
    require(compute_image_crc(image, again.image_length, again.entry_word) == crc);
    require(crc_records_match(view_of(once), again, crc));  // so a second stamp changes nothing
    return 0;
}
