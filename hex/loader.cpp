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

// Start address records put nothing into the image, and are read only after it.
bool allowed_in_image(std::uint8_t type) {
    return type != record_type::kStartSegmentAddress && type != record_type::kStartLinearAddress;
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
    // A stamp must not overwrite the declaration of the CRC address.
    const auto is_crc_record = [&](std::uint32_t address, std::uint8_t count) {
        return address == crc_address && count == 4 && pos != result.crc_source &&
               stands_alone_on_line(file, pos, kCrcRecordLength);
    };

    for (;;) {
        Record rec;
        const RecordFault header = read_record_header(file, pos, rec);
        if (header != RecordFault::kNone) return refuse(header == RecordFault::kUnknownType ? kTypeFault : kFormatFault);
        const bool data_record = rec.type == record_type::kData;
        if (loading && !allowed_in_image(rec.type)) return refuse(kTypeFault);
        if (!allowed_in_image(rec.type) && ++start_records > 1) return refuse(kFormatFault);  // one start address
        const std::uint32_t address = rec.address + extended;
        // No word lies past 0xFFFFFFFF: a reader that wrapped would lay it over the image's first words.
        if (data_record && words_of(address, rec.count).end > std::uint64_t{1} << 32) return refuse(kFormatFault);

        std::uint8_t data[255];  // the data of a record that is not stored
        std::uint8_t* to = data;
        const bool stored = data_record && loading;
        if (stored) {
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
            if (rec.count <= kImageCapacity - length) to = image.data() + length;
        }
        if (read_record_data(file, rec, to) != RecordFault::kNone) return refuse(kFormatFault);

        bool ends_image = false;
        if (stored) {
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
                if (rec.count < 4 || rec.count % 2 != 0) return refuse(kDeclarationFault);
                // The last two words, low word first; the top byte of the 32-bit value is dropped.
                const std::uint8_t* declared = to + rec.count - 4;
                crc_address = std::uint32_t{declared[3]} << 16 | std::uint32_t{declared[0]} << 8 | declared[1];
                result.crc_source = pos;
                result.crc_source_address = address;
            }
            last_address = address;
            length += rec.count;
            last_count = rec.count;
            if (address >= crc_address) {
                loading = false;
                ends_image = true;
            }
        }

        // The one checksum not read is that of the CRC record that ends the image: a stamp replaces it.
        const bool stamped_here = ends_image && is_crc_record(address, rec.count);
        if (!stamped_here && !rec.checksum_holds) return refuse(kChecksumFault);
        if (stamped_here) crc_records.push_back(pos);
        if (data_record && !loading && !ends_image && rec.count > 0) {
            // After the image a data record must not land on one of its words;
            // only a further CRC record may, on the slot, and is stamped with it.
            if (words_of(address, rec.count).overlaps(words_of(result.image_address, length))) {
                if (crc_records.empty() || !is_crc_record(address, rec.count)) return refuse(kOverlapFault);
                crc_records.push_back(pos);
            } else if (address < result.image_address) {
                // The image is the lowest data of the file: where the boot check starts.
                return refuse(kBelowFault);
            }
        }
        if (rec.type == record_type::kExtendedLinearAddress) extended = (std::uint32_t{to[0]} << 8 | to[1]) << 16;
        if (rec.type == record_type::kEndOfFile) break;  // nothing after it is read
        pos = next_record(file, rec.end);
        ++number;
        if (pos == file.size()) return refuse(kFormatFault);
    }

    result.image_length = length;
    result.crc_address = crc_address;
    result.crc_records = std::move(crc_records);
    return true;
}

bool load_hex_image(const std::string& path, FileAccess access, FileSnapshot& file, ImageBuffer& image,
                    LoadResult& result) {
    switch (read_file_bytes(path, access, file)) {
        case ReadOutcome::kRead:
            break;
        case ReadOutcome::kNotFound:
            std::fputs("file not found\n", stdout);
            return false;
        case ReadOutcome::kNoMemory:
            std::fputs(kNoMemory, stdout);
            return false;
        case ReadOutcome::kNoHandles:
            std::fputs("too many files open, file not read\n", stdout);
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
    Record source;
    if (read_record_header(file, load.crc_source, source) != RecordFault::kNone) return false;
    address = load.crc_source_address + source.count / 2u - 2u;
    return true;
}

std::string describe_fault(std::string_view file, const LoadResult& load) {
    const std::string record = "record " + std::to_string(load.fault_record);
    if (load.fault_at == kNoRecord) return "the file ends before " + record + "\n";
    return record + " is on line " + std::to_string(line_number(file, load.fault_at)) + "\n";
}

std::string describe_layout(std::string_view file, const LoadResult& load, ByteOrder order) {
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
    out << "byte order: each word " << (order == ByteOrder::kHighByteFirst ? "high" : "low") << " byte first\n";
    // A unit that reads 32-bit values starts at an even word and reads words in pairs.
    out << "32-bit units: ";
    if (covered.end <= covered.first) {
        out << "not suited (nothing covered)\n";
    } else {
        const bool even_first = (image_words.first + static_cast<std::uint64_t>(covered.first)) % 2 == 0;
        const bool even_count = (covered.end - covered.first) % 2 == 0;
        out << (even_first && even_count ? "suited" : "not suited") << " (first covered word at an "
            << (even_first ? "even" : "odd") << " address, an " << (even_count ? "even" : "odd") << " count)\n";
    }
    out << "CRC records: " << (load.crc_records.empty() ? "none" : load.crc_records.size() == 1 ? "line " : "lines ");
    for (std::size_t i = 0; i < load.crc_records.size(); ++i)
        out << (i > 0 ? ", " : "") << line_of(load.crc_records[i]);
    out << "\n";
    return out.str();
}
