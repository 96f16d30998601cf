#include "hex/loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <utility>
#include <vector>

#include "crc/crc.h"
#include "hex/file_io.h"
#include "hex/record.h"

namespace {

constexpr const char* kFormatFault = "File Format incorrect, Line : ";
constexpr const char* kTypeFault = "File Format incorrect, no this record type, Line : ";
constexpr const char* kChecksumFault = "File Format incorrect, checksum, Line : ";
constexpr const char* kSizeFault = "File Format incorrect, image too large, Line : ";
constexpr const char* kOverlapFault = "File Format incorrect, overlaps the image, Line : ";

bool refuse(std::string& message, const char* fault, std::uint32_t record_number) {
    message = fault + std::to_string(record_number) + "\n";
    return false;
}

// Words from `first` on covered by `bytes` bytes: an odd last byte is the high
// byte of one more word. 64 bits, so that no range wraps.
struct WordRange {
    std::uint64_t first, end;
    bool overlaps(const WordRange& other) const { return first < other.end && other.first < end; }
};

WordRange words_of(std::uint32_t first, std::uint32_t bytes) { return {first, first + (std::uint64_t{bytes} + 1) / 2}; }

}  // namespace

bool load_hex_bytes(std::string_view file, ImageBuffer& image, LoadResult& result, std::string& message) {
    message.clear();
    // Nothing may stand before the first record: no blank line, no BOM.
    if (file.empty() || file[0] != ':') return refuse(message, kFormatFault, 1);

    std::size_t pos = 0;  // the current record's ':'
    std::uint32_t number = 1;
    std::uint32_t extended = 0;
    // Until the image ends, data records are stored; after it the rest of the
    // file is only checked, and nothing in it may land in the image.
    bool loading = true;
    std::uint32_t last_address = 0;
    std::uint8_t last_count = 0;
    std::uint32_t data_records = 0;
    std::uint32_t crc_source = 1;  // the data record that declares the CRC address
    std::uint32_t crc_address = kNoCrcAddress;
    std::uint32_t length = 0;
    std::vector<RecordOffset> crc_records;
    // A stamp must not overwrite the declaration of the CRC address, nor a ':'
    // among the characters it rewrites, which starts a record of its own.
    const auto is_crc_record = [&](std::uint32_t address, std::uint8_t count) {
        return address == crc_address && count == 4 && pos != result.crc_source &&
               stands_alone_on_line(file, pos, kCrcRecordLength) &&
               file.substr(pos + 1, kCrcRecordLength - 1).find(':') == std::string_view::npos;
    };

    for (;;) {
        const std::string_view rec = file.substr(pos);
        // A record cut short is refused only for a character about to be read.
        const auto have = [&rec](std::size_t chars) { return rec.size() >= chars; };
        if (!have(9)) return refuse(message, kFormatFault, number);

        const std::uint8_t count = hex_byte_at(rec, 1);
        const std::uint16_t field = hex_field16_at(rec, 3);
        const std::uint8_t type = hex_byte_at(rec, 7);
        const std::uint32_t address = field + extended;
        const std::size_t data_end = 9 + 2 * std::size_t{count};
        unsigned sum = count + (field >> 8) + (field & 0xFFu) + type;
        std::size_t checksum_at = data_end;
        bool checksum_read = true;

        if (type == record_type::kEndOfFile) {
            break;  // its checksum is never read, nor anything after it
        } else if (type == record_type::kExtendedLinearAddress) {
            // The value is at 9-12 and the checksum at 13-14 whatever the count says.
            if (!have(15)) return refuse(message, kFormatFault, number);
            const std::uint16_t value = hex_field16_at(rec, 9);
            extended = std::uint32_t{value} << 16;
            sum += (value >> 8) + (value & 0xFFu);
            checksum_at = 13;
        } else if (type == record_type::kData && loading) {
            if (data_records > 0) {
                if (address > crc_address) {  // beyond the CRC record: the image ends before it,
                    loading = false;
                    continue;  // and this is the first record of the rest
                }
                // One word step is two bytes; 64 bits so that no distance wraps.
                const std::int64_t gap = 2 * (std::int64_t{address} - std::int64_t{last_address}) - last_count;
                if (gap < 0) return refuse(message, kFormatFault, number);  // out of order or overlapping
                if (gap > std::int64_t{kImageCapacity - length}) return refuse(message, kSizeFault, number);
                std::memset(image.data() + length, 0xFF, static_cast<std::size_t>(gap));
                length += static_cast<std::uint32_t>(gap);
            }
            if (!have(data_end)) return refuse(message, kFormatFault, number);

            ++data_records;
            if (data_records == 1) {
                result.image_address = address;
                if (address == kEntryAddress) {
                    result.entry_word = true;
                    crc_source = 2;
                }
            }
            if (data_records == crc_source) {
                // The eight characters before the checksum, read as two words,
                // low word first; the top byte of the 32-bit value is dropped.
                const std::size_t at = data_end - 8;
                const std::uint32_t b0 = hex_byte_at(rec, at);
                const std::uint32_t b1 = hex_byte_at(rec, at + 2);
                const std::uint32_t b3 = hex_byte_at(rec, at + 6);
                crc_address = b3 << 16 | b0 << 8 | b1;
                result.crc_source = pos;
                result.crc_source_address = address;
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
            if (address >= crc_address) {
                // The image ends here. The checksum is not read, since a stamp
                // replaces it: the rest of the file is read from after the data.
                loading = false;
                checksum_read = false;
                if (is_crc_record(address, count)) crc_records.push_back(pos);
            }
        } else if (loading) {
            return refuse(message, kTypeFault, number);
        } else {
            // After the image, a record of any type is read whole for its checksum.
            if (!have(data_end)) return refuse(message, kFormatFault, number);
            for (std::size_t i = 9; i < data_end; i += 2) sum += hex_byte(rec.data() + i);
        }

        if (checksum_read) {
            if (!have(checksum_at + 2)) return refuse(message, kFormatFault, number);
            if (((sum + hex_byte_at(rec, checksum_at)) & 0xFFu) != 0) return refuse(message, kChecksumFault, number);
            // After the image a data record must not land on one of its words;
            // only a further CRC record may, on the slot, and is stamped with it.
            if (!loading && type == record_type::kData &&
                words_of(address, count).overlaps(words_of(result.image_address, length))) {
                if (crc_records.empty() || !is_crc_record(address, count))
                    return refuse(message, kOverlapFault, number);
                crc_records.push_back(pos);
            }
        }
        // Whatever stands between records (line ends, blanks, text) is skipped;
        // it is mostly a line end, too short to be worth a call to memchr.
        std::size_t next = pos + (checksum_read ? checksum_at + 2 : data_end);
        while (next < file.size() && file[next] != ':') ++next;
        ++number;
        if (next == file.size()) return refuse(message, kFormatFault, number);
        pos = next;
    }

    result.image_length = length;
    result.crc_address = crc_address;
    result.crc_records = std::move(crc_records);
    return true;
}

bool load_hex_image(const std::string& path, FileSnapshot& file, ImageBuffer& image, LoadResult& result) {
    if (!read_file_bytes(path, file)) {
        std::fputs("file not found\n", stdout);
        return false;
    }
    // Two characters make an image byte: about as much of the image as the
    // file can fill is mapped in one go.
    prefault_for_writing(image.data(), std::min<std::size_t>(image.size(), file.bytes.size() / 2));
    std::string message;
    const bool loaded = load_hex_bytes(view_of(file.bytes), image, result, message);
    std::fputs(message.c_str(), stdout);
    return loaded;
}

std::string describe_layout(std::string_view file, const LoadResult& load) {
    std::ostringstream out;
    const auto word = [&out](std::uint64_t address) -> std::ostringstream& {
        out << "0x" << std::hex << std::uppercase << std::setfill('0') << std::setw(6) << address << std::dec;
        return out;
    };
    const auto line_of = [file](RecordOffset at) {
        return 1 + std::count(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at), '\n');
    };
    const WordRange image_words = words_of(load.image_address, load.image_length);
    out << "image: ";
    if (load.image_length == 0) {
        out << "empty\n";
    } else {
        out << "words ";
        word(image_words.first) << " to ";
        word(image_words.end - 1) << ", " << load.image_length << " bytes\n";
    }
    out << "entry word: " << (load.entry_word ? "yes" : "no") << "\nCRC address: ";
    if (load.crc_address == kNoCrcAddress) {
        out << "none\n";
    } else {
        word(load.crc_address) << ", declared on line " << line_of(load.crc_source) << "\n";
    }
    const CoveredWords covered = covered_words(load.image_length, load.entry_word);
    out << "covered: ";
    if (covered.end <= covered.first) {
        out << "nothing\n";
    } else {
        out << "words ";
        word(image_words.first + static_cast<std::uint64_t>(covered.first)) << " to ";
        word(image_words.first + static_cast<std::uint64_t>(covered.end - 1))
            << ", " << covered.end - covered.first << " words\n";
    }
    out << "CRC records: " << (load.crc_records.empty() ? "none" : load.crc_records.size() == 1 ? "line " : "lines ");
    for (std::size_t i = 0; i < load.crc_records.size(); ++i)
        out << (i > 0 ? ", " : "") << line_of(load.crc_records[i]);
    out << "\n";
    return out.str();
}
