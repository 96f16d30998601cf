// The whole path on arbitrary bytes (in a buffer of their exact size, for ASan). A file that stamps is strict
// Intel HEX to its end, read by a plain second reader; its stamp loads again to the same CRC, which its CRC records
// then hold.
#include <algorithm>
#include <cctype>
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

// Hex digits only, as its count says, the count its type fixes, 03 and 05 only after the image, a right checksum
// but for the CRC record that ends the image, and no data after the image in it or below it.
void require_strict_file(std::string_view text, const LoadResult& load) {
    const std::uint64_t image_end = load.image_address + (std::uint64_t{load.image_length} + 1) / 2;
    const std::vector<RecordOffset>& slots = load.crc_records;
    std::uint32_t extended = 0;
    for (std::size_t pos = 0;; pos = text.find(':', pos)) {
        require(pos < text.size());
        const unsigned count = hex_byte_at(text, pos + 1);
        const std::size_t end = pos + 11 + 2 * count;
        require(end <= text.size());
        unsigned sum = 0;
        for (std::size_t i = pos + 1; i < end; i += 2) {
            require(std::isxdigit(static_cast<unsigned char>(text[i])) &&
                    std::isxdigit(static_cast<unsigned char>(text[i + 1])));
            sum += hex_byte_at(text, i);
        }
        const unsigned type = hex_byte_at(text, pos + 7);
        const bool after_image = pos > slots.front();
        require(type == 0 || type == 1 || type == 4 || (after_image && (type == 3 || type == 5)));
        require(count == (type == 0 ? count : type == 1 ? 0 : type == 4 ? 2 : 4));
        require(sum % 256 == 0 || pos == slots.front());
        const std::uint32_t address = hex_field16_at(text, pos + 3) + extended;
        if (after_image && type == 0 && count > 0 && std::find(slots.begin(), slots.end(), pos) == slots.end())
            require(address >= image_end);
        if (type == 4) extended = std::uint32_t{hex_field16_at(text, pos + 9)} << 16;
        if (type == 1) return;
        pos = end;
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
    require_strict_file(text, load);
    // Either order, as the input's length falls.
    const ByteOrder order = size % 2 == 0 ? ByteOrder::kHighByteFirst : ByteOrder::kLowByteFirst;
    const std::uint32_t crc = compute_image_crc(image, load.image_length, load.entry_word, order);

    FileBytes once(text.begin(), text.end());
    patch_crc_text(once, load, crc);

    LoadResult again;
    require(load_hex_bytes(view_of(once), image, again, message) &&
            again.crc_records.size() == load.crc_records.size());
    require(compute_image_crc(image, again.image_length, again.entry_word, order) == crc);
    require(crc_records_match(view_of(once), again, crc));  // so a second stamp changes nothing
    return 0;
}
