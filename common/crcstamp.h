// Shared types and limits of crcstamp.
//
// The image is that of a processor addressed in 16-bit words: one word
// address step in the HEX file is two image bytes, and word k of the image
// is byte 2k (high) followed by byte 2k + 1 (low).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bytes the flat image can hold: 150000 words of program memory.
constexpr std::uint32_t kImageCapacity = 300000;

// Word address at which an image that starts with an entry word begins;
// such an image declares its CRC address in its second data record.
constexpr std::uint32_t kEntryAddress = 0x80000;

// CRC address of a load that stored no data record declaring one.
constexpr std::uint32_t kNoCrcAddress = 0xFFFFFFFF;

using ImageBuffer = std::array<std::uint8_t, kImageCapacity>;

// The order in which the CRC takes the two bytes of each image word. High
// byte first is image order; low byte first is how the CRC units of some
// DSPs read their memory.
enum class ByteOrder { kHighByteFirst, kLowByteFirst };

// Offset of a record's ':' in the file's bytes.
using RecordOffset = std::size_t;
constexpr RecordOffset kNoRecord = static_cast<RecordOffset>(-1);

struct LoadResult {
    std::uint32_t image_length = 0;             // bytes written, gap fills included
    std::uint32_t crc_address = kNoCrcAddress;  // word address of the CRC record
    bool entry_word = false;                    // first data record at kEntryAddress
    std::uint32_t image_address = 0;            // word address of the image's first byte
    RecordOffset crc_source = kNoRecord;        // the record that declared the CRC address
    std::uint32_t crc_source_address = 0;       // and its word address
    // The records that carry the CRC: the one that ends the image, and any
    // later one at the same address. Empty when the image does not end with one.
    std::vector<RecordOffset> crc_records;
    // On a refusal that names a record: its number, and where its ':' stands
    // (kNoRecord when the file ends before it begins).
    std::uint32_t fault_record = 0;
    RecordOffset fault_at = kNoRecord;
};

// The HEX file's path, as given on the command line or standard input.
extern std::string file_name;
