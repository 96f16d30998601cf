#include "hex/loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <utility>
#include <vector>

#include "crc/crc.h"
#include "file/file_io.h"
#include "hex/record.h"

namespace {

constexpr const char* kFormatFault = "File Format incorrect, Line : ";
constexpr const char* kTypeFault = "File Format incorrect, no this record type, Line : ";
constexpr const char* kChecksumFault = "File Format incorrect, checksum, Line : ";
constexpr const char* kSizeFault = "File Format incorrect, image too large, Line : ";
constexpr const char* kOverlapFault = "File Format incorrect, overlaps the image, Line : ";
constexpr const char* kBelowFault = "File Format incorrect, below the image, Line : ";
constexpr const char* kDeclarationFault = "File Format incorrect, declaration not two whole words, Line : ";

// Words from `first` on covered by `bytes` bytes: an odd last byte is the high
// byte of one more word. 64 bits, so that no range wraps.
struct WordRange {
    std::uint64_t first, end;
    bool overlaps(const WordRange& other) const { return first < other.end && other.first < end; }
};

WordRange words_of(std::uint32_t first, std::uint32_t bytes) { return {first, first + (std::uint64_t{bytes} + 1) / 2}; }

// Types that put nothing into the image are read only after it; type 02 is
// never read, since it would move every record after it.
bool type_allowed(std::uint8_t type, bool in_image) {
    switch (type) {
        case record_type::kData:
        case record_type::kEndOfFile:
        case record_type::kExtendedLinearAddress:
            return true;
        case record_type::kStartSegmentAddress:
        case record_type::kStartLinearAddress:
            return !in_image;
        default:
            return false;
    }
}

}  // namespace

bool load_hex_bytes(std::string_view file, ImageBuffer& image, LoadResult& result, std::string& message) {
    message.clear();
    std::size_t pos = 0;  // the current record's ':'
    std::uint32_t number = 1;
    const auto refuse = [&](const char* fault) {
        message = fault + std::to_string(number) + "\n";
        result.fault_record = number;
        result.fault_at = pos < file.size() ? pos : kNoRecord;
        return false;
    };
    // Nothing may stand before the first record: no blank line, no BOM.
    if (file.empty() || file[0] != ':') return refuse(kFormatFault);

    std::uint32_t extended = 0;
    // Until the image ends, data records are stored; after it the rest of the
    // file is only checked, and none of its data may lie in the image or below it.
    bool loading = true;
    std::uint32_t last_address = 0;
    std::uint8_t last_count = 0;
    std::uint32_t data_records = 0, start_records = 0;
    std::uint32_t crc_source = 1;  // the data record that declares the CRC address
    std::uint32_t crc_address = kNoCrcAddress;
    std::uint32_t length = 0;
    std::vector<RecordOffset> crc_records;
    bool lone_newline = false;
    // A stamp must not overwrite the declaration of the CRC address.
    const auto is_crc_record = [&](std::uint32_t address, std::uint8_t count) {
        return address == crc_address && count == 4 && pos != result.crc_source &&
               stands_alone_on_line(file, pos, kCrcRecordLength);
    };

    for (;;) {
        const std::string_view rec = file.substr(pos);
        // A field that is not hex has no value: the header is checked before its type is looked at.
        std::uint8_t header[4];
        unsigned sum = 0;
        if (rec.size() < kRecordHeaderLength || !decode_hex_digits(rec.data() + 1, 4, header, sum))
            return refuse(kFormatFault);
        const std::uint8_t count = header[0];
        const std::uint8_t type = header[3];
        const std::uint32_t address = (std::uint32_t{header[1]} << 8 | header[2]) + extended;
        const std::size_t data_end = record_length(count) - 2;
        if (!type_allowed(type, loading)) return refuse(kTypeFault);
        if (fixed_byte_count(type) >= 0 && count != fixed_byte_count(type)) return refuse(kFormatFault);
        // Address and start records carry 0000 in their address field, and a file one start address at most.
        if (type != record_type::kData && type != record_type::kEndOfFile && (header[1] != 0 || header[2] != 0))
            return refuse(kFormatFault);
        if (type == record_type::kStartSegmentAddress || type == record_type::kStartLinearAddress) {
            if (++start_records > 1) return refuse(kFormatFault);
        }
        // No word lies past 0xFFFFFFFF: a reader that wrapped would lay it over the image's first words.
        if (type == record_type::kData && words_of(address, count).end > std::uint64_t{1} << 32)
            return refuse(kFormatFault);

        std::uint8_t data[255];                     // the data of a record that is not stored
        std::size_t read_to = kRecordHeaderLength;  // characters checked and summed so far
        bool ends_image = false;
        if (type == record_type::kData && loading) {
            if (data_records > 0) {
                if (address > crc_address) {  // beyond the CRC record: the image ends before it,
                    loading = false;
                    continue;  // and this is the first record of the rest
                }
                // One word step is two bytes; 64 bits so that no distance wraps.
                const std::int64_t gap = 2 * (std::int64_t{address} - std::int64_t{last_address}) - last_count;
                if (gap < 0) return refuse(kFormatFault);  // out of order or overlapping
                if (gap > std::int64_t{kImageCapacity - length}) return refuse(kSizeFault);
                if (gap > 0) std::memset(image.data() + length, 0xFF, static_cast<std::size_t>(gap));
                length += static_cast<std::uint32_t>(gap);
            }
            // Data that would not fit is decoded aside, only to tell a bad digit from a full image.
            std::uint8_t* const to = count <= kImageCapacity - length ? image.data() + length : data;
            if (rec.size() < data_end || !decode_hex_digits(rec.data() + kRecordHeaderLength, count, to, sum))
                return refuse(kFormatFault);
            if (to == data) return refuse(kSizeFault);

            ++data_records;
            if (data_records == 1) {
                result.image_address = address;
                if (address == kEntryAddress) {
                    result.entry_word = true;
                    crc_source = 2;
                }
            }
            if (data_records == crc_source) {
                // The boot check reads the declaration as two whole words of the flash.
                if (count < 4 || count % 2 != 0) return refuse(kDeclarationFault);
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
            length += count;
            last_count = count;
            read_to = data_end;
            if (address >= crc_address) {
                loading = false;
                ends_image = true;
            }
        }

        // The checksum's digits count like the rest: a right one brings the sum to 0 modulo 256.
        std::uint8_t checksum;
        if (rec.size() < data_end + 2 ||
            !decode_hex_digits(rec.data() + read_to, (data_end - read_to) / 2, data, sum) ||
            !decode_hex_digits(rec.data() + data_end, 1, &checksum, sum))
            return refuse(kFormatFault);
        // A hex digit straight after the checksum would make the record longer than its count says.
        if (pos + data_end + 2 < file.size() && record_detail::is_hex_digit(static_cast<unsigned char>(file[pos + data_end + 2])))
            return refuse(kFormatFault);
        // The one checksum not read is that of the CRC record that ends the image: a stamp replaces it.
        const bool stamped_here = ends_image && is_crc_record(address, count);
        if (!stamped_here && (sum & 0xFFu) != 0) return refuse(kChecksumFault);
        if (stamped_here) crc_records.push_back(pos);
        if (type == record_type::kData && !loading && !ends_image && count > 0) {
            // After the image a data record must not land on one of its words;
            // only a further CRC record may, on the slot, and is stamped with it.
            if (words_of(address, count).overlaps(words_of(result.image_address, length))) {
                if (crc_records.empty() || !is_crc_record(address, count)) return refuse(kOverlapFault);
                crc_records.push_back(pos);
            } else if (address < result.image_address) {
                // The image is the lowest data of the file: where the boot check starts.
                return refuse(kBelowFault);
            }
        }
        if (type == record_type::kExtendedLinearAddress) extended = (std::uint32_t{data[0]} << 8 | data[1]) << 16;
        if (type == record_type::kEndOfFile) {  // nothing after it is read, but for its line ends
            for (std::size_t i = pos + data_end + 2; i < file.size(); ++i) lone_newline |= is_lone_newline(file, i);
            break;
        }

        // Whatever stands between records (line ends, blanks, text) is skipped;
        // it is mostly a line end, too short to be worth a call to memchr.
        // Records hold no line end: here is where every line end of the file
        // up to the end-of-file record stands.
        std::size_t next = pos + data_end + 2;
        if (file.substr(next, 3) == "\r\n:") next += 2;  // the usual case
        for (; next < file.size() && file[next] != ':'; ++next) lone_newline |= is_lone_newline(file, next);
        ++number;
        pos = next;
        if (next == file.size()) return refuse(kFormatFault);
    }

    result.image_length = length;
    result.crc_address = crc_address;
    result.crc_records = std::move(crc_records);
    result.lone_newline = lone_newline;
    return true;
}

bool load_hex_image(const std::string& path, FileAccess access, FileSnapshot& file, ImageBuffer& image,
                    LoadResult& result) {
    if (!read_file_bytes(path, access, file)) {
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

namespace {

std::ptrdiff_t line_number(std::string_view file, RecordOffset at) {
    return 1 + std::count(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at), '\n');
}

}  // namespace

bool declaration_address(std::string_view file, const LoadResult& load, std::uint32_t& address) {
    if (load.crc_address == kNoCrcAddress) return false;
    // The source record's last two words: a load makes sure that they are whole words.
    address = load.crc_source_address + hex_byte_at(file, load.crc_source + 1) / 2u - 2u;
    return true;
}

std::string describe_fault(std::string_view file, const LoadResult& load) {
    const std::string record = "record " + std::to_string(load.fault_record);
    if (load.fault_at == kNoRecord) return "the file ends before " + record + "\n";
    return record + " is on line " + std::to_string(line_number(file, load.fault_at)) + "\n";
}

std::string describe_layout(std::string_view file, const LoadResult& load) {
    std::ostringstream out;
    const auto word = [&out](std::uint64_t address) -> std::ostringstream& {
        out << "0x" << std::hex << std::uppercase << std::setfill('0') << std::setw(6) << address << std::dec;
        return out;
    };
    const auto line_of = [file](RecordOffset at) { return line_number(file, at); };
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
    out << "declaration: ";
    std::uint32_t declared = 0;
    if (declaration_address(file, load, declared)) {
        out << "word ";
        word(declared) << "\n";
    } else {
        out << "none\n";
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
