#include "hex/loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hex/file_io.h"
#include "hex/record.h"

namespace {

constexpr const char* kFormatFault = "File Format incorrect, Line : ";
constexpr const char* kTypeFault = "File Format incorrect, no this record type, Line : ";
constexpr const char* kChecksumFault = "File Format incorrect, checksum, Line : ";
constexpr const char* kSizeFault = "File Format incorrect, image too large, Line : ";

bool refuse(std::string& message, const char* fault, std::uint32_t record_number) {
    message = fault + std::to_string(record_number) + "\n";
    return false;
}

}  // namespace

bool load_hex_bytes(std::string_view file, ImageBuffer& image, LoadResult& result, std::string& message) {
    message.clear();
    // Nothing may stand before the first record: no blank line, no BOM.
    if (file.empty() || file[0] != ':') return refuse(message, kFormatFault, 1);

    std::size_t pos = 0;  // the current record's ':'
    std::uint32_t accepted = 0;
    std::uint32_t extended = 0;
    std::uint32_t last_address = 0;
    std::uint8_t last_count = 0;
    std::uint32_t data_records = 0;
    std::uint32_t crc_source = 1;  // the data record that declares the CRC address
    std::uint32_t crc_address = kNoCrcAddress;
    std::uint32_t length = 0;

    for (;;) {
        const std::uint32_t number = accepted + 1;
        const std::string_view rec = file.substr(pos);
        // A record cut short is refused only for a character about to be read.
        const auto have = [&rec](std::size_t chars) { return rec.size() >= chars; };
        if (!have(9)) return refuse(message, kFormatFault, number);

        const std::uint8_t count = hex_byte_at(rec, 1);
        const std::uint16_t field = hex_field16_at(rec, 3);
        const std::uint8_t type = hex_byte_at(rec, 7);
        unsigned sum = count + (field >> 8) + (field & 0xFFu) + type;
        std::size_t checksum_at = 0;

        if (type == record_type::kEndOfFile) {
            break;  // its checksum is never read
        } else if (type == record_type::kExtendedLinearAddress) {
            // The value is at 9-12 and the checksum at 13-14 whatever the count says.
            if (!have(15)) return refuse(message, kFormatFault, number);
            const std::uint16_t value = hex_field16_at(rec, 9);
            extended = std::uint32_t{value} << 16;
            sum += (value >> 8) + (value & 0xFFu);
            checksum_at = 13;
        } else if (type == record_type::kData) {
            const std::uint32_t address = field + extended;
            if (data_records > 0) {
                if (address > crc_address) break;  // beyond the CRC record: not stored
                // One word step is two bytes; 64 bits so that no distance wraps.
                const std::int64_t gap = 2 * (std::int64_t{address} - std::int64_t{last_address}) - last_count;
                if (gap < 0) return refuse(message, kFormatFault, number);  // out of order or overlapping
                if (gap > std::int64_t{kImageCapacity - length}) return refuse(message, kSizeFault, number);
                std::memset(image.data() + length, 0xFF, static_cast<std::size_t>(gap));
                length += static_cast<std::uint32_t>(gap);
            }
            const std::size_t data_end = 9 + 2 * std::size_t{count};
            if (!have(data_end)) return refuse(message, kFormatFault, number);

            ++data_records;
            if (data_records == 1 && address == kEntryAddress) {
                result.entry_word = true;
                crc_source = 2;
            }
            if (data_records == crc_source) {
                // The eight characters before the checksum, read as two words,
                // low word first; the top byte of the 32-bit value is dropped.
                const std::size_t at = data_end - 8;
                const std::uint32_t b0 = hex_byte_at(rec, at);
                const std::uint32_t b1 = hex_byte_at(rec, at + 2);
                const std::uint32_t b3 = hex_byte_at(rec, at + 6);
                crc_address = b3 << 16 | b0 << 8 | b1;
            }
            last_address = address;
            if (count > kImageCapacity - length) return refuse(message, kSizeFault, number);
            // The whole record is there (checked above): no digit needs a bounds check.
            const char* digits = rec.data() + 9;
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t byte = hex_byte(digits + 2 * i);
                image[length + i] = byte;
                sum += byte;
            }
            length += count;
            last_count = count;
            if (address >= crc_address) break;  // the CRC record ends the image
            checksum_at = data_end;
        } else {
            return refuse(message, kTypeFault, number);
        }

        if (!have(checksum_at + 2)) return refuse(message, kFormatFault, number);
        if (((sum + hex_byte_at(rec, checksum_at)) & 0xFFu) != 0) return refuse(message, kChecksumFault, number);
        ++accepted;
        // Whatever stands between records (line ends, blanks, text) is skipped;
        // it is mostly a line end, too short to be worth a call to memchr.
        std::size_t next = pos + checksum_at + 2;
        while (next < file.size() && file[next] != ':') ++next;
        if (next == file.size()) return refuse(message, kFormatFault, accepted + 1);
        pos = next;
    }

    result.image_length = length;
    result.crc_address = crc_address;
    return true;
}

bool load_hex_image(const std::string& path, FileBytes& file, ImageBuffer& image, LoadResult& result) {
    if (!read_file_bytes(path, file)) {
        std::fputs("file not found\n", stdout);
        return false;
    }
    // Two characters make an image byte: about as much of the image as the
    // file can fill is mapped in one go.
    prefault_for_writing(image.data(), std::min<std::size_t>(image.size(), file.size() / 2));
    std::string message;
    const bool loaded = load_hex_bytes(view_of(file), image, result, message);
    std::fputs(message.c_str(), stdout);
    return loaded;
}
