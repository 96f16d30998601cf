// The core's units on tables of HEX text, and the boot check (in the table size linked) against the tool.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iomanip>
#include <iterator>
#include <regex>
#include <sstream>

#include "crc/crc.h"
#include "crcstamp_check.h"
#include "hex/loader.h"
#include "hex/patcher.h"
#include "hex/record.h"

namespace {

const std::string kExample =
    ":020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000828\r\n:02001000B0B18D\r\n"
    ":04004000C0C1C2C3B6\r\n:02004200D0D11B\r\n:00000001FF\r\n";
const std::string kEnd = ":00000001FF\n";
const std::string k2000 = ":0410000020000000CC\n";                   // word 0x1000, CRC address 0x2000
const std::string kFar = ":04100000FFFF007F6F\n";                    // word 0x1000, CRC address 0x7FFFFF
const std::string kFull = ":04000000FFFF00FFFF\n:020000040002F8\n";  // 4 bytes at word 0, then page 2
const std::string kR2 = ":0410020001020304E0\n";                     // word 0x1002
const std::string kSlot = ":04200000FFFFFFFFE0";                     // the CRC record of k2000
const std::string kB = k2000 + kSlot + "\n";

std::string ff(std::size_t bytes) { return std::string(2 * bytes, 'F'); }

// The order the linked boot check is built in.
#ifdef CRCSTAMP_CHECK_LOW_BYTE_FIRST
constexpr ByteOrder kCheckOrder = ByteOrder::kLowByteFirst;
#else
constexpr ByteOrder kCheckOrder = ByteOrder::kHighByteFirst;
#endif

// The CRC by its definition, a bit at a time: each byte's bits, most significant first, into the register's top.
std::uint32_t crc_bit_at_a_time(std::uint32_t crc, const std::vector<std::uint8_t>& bytes) {
    for (const std::uint8_t byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool out = ((crc >> 31) ^ (byte >> bit)) & 1;
            crc = crc << 1 ^ (out ? kCrcPolynomial : 0);
        }
    }
    return crc;
}

const std::string kExampleLoad = "80040 entry 11223344A0A1A2A300400008" + ff(20) + "B0B1" + ff(94) + "C0C1C2C3";

// The refusal line for record n.
std::function<std::string(int)> refusal(const char* fault) {
    return [fault](int n) {
        return "File Format incorrect, " + std::string(fault) + "Line : " + std::to_string(n) + "\n";
    };
}

std::vector<std::pair<std::string, std::string>> all() {
    std::string odd = std::regex_replace(kExample, std::regex("\r\n:"), "\n\r\n  text\x1A\n:");  // no colon between
    std::transform(odd.begin(), odd.end(), odd.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto bad = refusal(""), type = refusal("no this record type, "), sum = refusal("checksum, ");
    const auto large = refusal("image too large, "), over = refusal("overlaps the image, ");
    const auto below = refusal("below the image, "), words = refusal("declaration not two whole words, ");
    const std::string slot_load = "2000 20000000" + ff(0x2000 - 4) + "FFFFFFFF|", cut = ":04100200112233";
    // clang-format off
    std::vector<std::pair<std::string, std::string>> cases = {
        {kExample, kExampleLoad + "|1"}, {odd, kExampleLoad + "|1"}, {kEnd, "FFFFFFFF |0"},
        {std::regex_replace(kExample, std::regex("\r\n"), ""), kExampleLoad + "|0"},  // no record on a line of its own
        // The CRC address: the last four data bytes, low word first, the third taking no part; after an entry word
        // at 0x80000, those of the second record; its source record above it.
        {":041000000040FF08A5\n" + kEnd, "80040 0040FF08|0"},
        {":04500000100000009C\n:025002000101AA\n" + kEnd, "1000 10000000|0"},
        {":020000040008F2\n:0400000001020304F2\n:0400020000040008EE\n:04000400AABBCCDDEA\n" + kEnd,
         "80004 entry 0102030400040008AABBCCDD|1"},
        // Gaps: 2 x word distance - last count, across extended address records.
        {kFar + kR2 + kEnd, "7FFFFF FFFF007F01020304|0"},
        {kFar + ":03100200010203E5\n:021004000404E2\n" + kEnd, "7FFFFF FFFF007F010203FF0404|0"},
        {kFar + ":020000040001F9\n:020000000101FC\n:020000040002F8\n:020000000202FA\n" + kEnd,
         "7FFFFF FFFF007F" + ff(2 * (0x10000 - 0x1002)) + "0101" + ff(2 * 0x10000 - 2) + "0202|0"},
        {kFull + ":0249EF000102C3\n" + kEnd, "FFFFFF FFFF00FF" + ff(299994) + "0102|0"},
        // After the image: 03 and 05; nothing past the end; no data in the image (but a CRC record) or below it.
        {kB + kEnd + ":garbage", slot_load + "1"}, {kB + ":0000000000\n" + kEnd, slot_load + "1"},
        {kB + ":0400000500000000F7\n:020000040001F9\n:021000000102EB\n" + kEnd, slot_load + "1"},
        {kB + "\t " + kSlot + "\r\n" + kEnd, slot_load + "2"}, {kB + ":020FFE000102EE\n" + kEnd, below(3)},
        {":020000040008F2\n:08000200A0A1A2A30040000828\n:04004000C0C1C2C3B6\n:040000001122334452\n" + kEnd, below(4)},
        {":05100000AA0010000031\n:0110030001EB\n" + kEnd, words(1)}, {":020000040008F2\n:040000001122334452\n:03000200004008B3\n", words(3)},
        {":0410000010000000DC\n" + kEnd, "1000 10000000|0"},  // a slot would overwrite the declaration
        {k2000 + ":02300000AABB69\n" + kSlot + "\n" + kEnd, "2000 20000000|0"},  // after a record beyond the slot
        {kB + ":050FFE000102030405DF\n" + kEnd, over(3)}, {kB + kSlot + " ;\n" + kEnd, over(3)},
        {k2000 + ":022000000102DB\n" + kSlot + "\n" + kEnd, over(3)},
        // A hex digit right after the CRC record's checksum; words past 0xFFFFFFFF; two start addresses.
        {k2000 + kSlot + "0\n" + kEnd, bad(2)}, {":02000004FFFFFC\n:20FFF800" + std::string(64, '0') + "E9\n" + kEnd, bad(2)},
        {kB + ":0400000300000000F9\n:0400000500000000F7\n", bad(4)},
        {kB + ":02300000AABB6A\n" + kEnd, sum(3)}, {k2000 + ":04300000112233444F\n" + kEnd, sum(2)},
        {kB + ":02300000AABB", bad(3)}, {kB, bad(3)},
        // Every checksum is read but the CRC record's: the end of file's, and one that ends the image otherwise.
        {kB + ":00000001FE\n", sum(3)}, {k2000 + ":0620000011223344556600\n" + kEnd, sum(2)},
        // Counting records, not lines: types, one before its checksum, below or over the record before, cut short.
        {kB + ":020000020000FC\n" + kEnd, type(3)}, {"", bad(1)}, {" 00000001FF", bad(1)}, {k2000 + kR2 + ":0400000300000000AA", type(3)},
        {k2000 + "\n\nnote\n" + kR2 + ":04100400112233447F\n", sum(3)}, {k2000 + ":020000040000F8", sum(2)},
        {k2000 + kR2 + "trailing text", bad(3)}, {k2000 + kR2 + ":021001000102EA", bad(3)},
        {k2000 + kR2 + ":021003000102E8", bad(3)}, {k2000 + cut, bad(2)}, {k2000 + cut + "447", bad(2)},
        // A byte more than the image holds, in the data or the gap; 2 x 0x80000002 words less 4 bytes is 2^32 bytes.
        {kFull + ":0349EF00010203BF", large(3)}, {kFull + ":0249F0000102C2", large(3)},
        {":020000040008F2\n:0400000001020304F2\n:02000004800872\n:040002000000FFFFFC\n", large(4)},
    };
    // Not a hex digit in the count, address, type, data or checksum: in the image, the CRC record and after.
    const std::tuple<std::string, std::size_t, int> hosts[] = {{kB + kEnd, k2000.size(), 2},
        {kB + ":0400000500000000F7\n" + kEnd, kB.size(), 3}};
    // clang-format on
    for (const auto& [text, record, number] : hosts) {
        for (const std::size_t at : {2u, 5u, 8u, 12u, 18u}) {
            std::string broken = text;
            broken[record + at] = "G ;]"[at % 4];
            cases.emplace_back(broken, bad(number));
        }
    }
    return cases;
}

std::string contents_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The boot check's verdict, fed in pieces of `piece` words: 1 passed, 0 failed, -1 refused before any word was read.
int streamed(const std::uint16_t* image, std::uint32_t image_address, const std::uint16_t* declared,
             std::uint32_t readable, std::uint32_t piece) {
    crcstamp_check check;
    const int begun = crcstamp_check_begin(&check, image, image_address, declared, readable);
    while (begun && crcstamp_check_continue(&check, piece) > 0) continue;
    return crcstamp_check_passed(&check) ? 1 : begun - 1;
}

// The refusal, or the CRC address, the entry-word flag, the image in hex and the number of CRC records.
std::string load(const std::string& text) {
    static ImageBuffer image;
    LoadResult result;
    std::string message;
    if (!load_hex_bytes(text, image, result, message)) return message;
    std::ostringstream out;
    out << std::hex << std::uppercase << result.crc_address << (result.entry_word ? " entry " : " ")
        << std::setfill('0');
    for (std::uint32_t i = 0; i < result.image_length; ++i) out << std::setw(2) << int{image[i]};
    return out.str() + "|" + std::to_string(result.crc_records.size());
}

}  // namespace

TEST(Loader, LoadsOrRefusesWithTheRecordAtFault) {
    for (const auto& [text, outcome] : all()) EXPECT_EQ(load(text), outcome) << text;
}

// One record: its fault (m malformed, t a type of no meaning), or where it ends and whether its checksum holds;
// the count a type fixes, and an address field of 0000 where it has no meaning.
TEST(Reader, ReadsOneRecordOrItsFault) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {":00000001FF", "11+"}, {":00000001FE\r\n", "11-"}, {":00000001FF;A", "11+"}, {":0410020001020304E0", "19+"},
        {":00000001", "m"}, {":0000000", "m"}, {":00000001FFA", "m"}, {":020000040001F90", "m"},  // cut short, too long
        {":04100200010\r\n20304E0", "m"}, {":00000006FA", "t"}, {":020000020000FC", "t"}, {":000000FF01", "t"},
        {":0200000500F9", "m"}, {":0500000312345678AAE5", "m"}, {":0100000100FE", "m"}, {":050000040002F5000000", "m"},
        {":020001040008F1", "m"}, {":0400010500000000F6", "m"}, {":0400000500000000F7", "19+"}};
    // clang-format on
    for (const auto& [text, outcome] : cases) {
        Record record{};
        std::uint8_t bytes[255];
        const RecordFault header = read_record_header(text, 0, record);
        const RecordFault fault = header == RecordFault::kNone ? read_record_data(text, record, bytes) : header;
        const std::string read = std::to_string(record.end) + (record.checksum_holds ? "+" : "-");
        EXPECT_EQ(fault == RecordFault::kNone ? read : fault == RecordFault::kMalformed ? "m" : "t", outcome) << text;
    }
}

TEST(ImageCrc, CoversAllButTheSlotAndTheEntryWordWithItsRecordChecksum) {
    const ImageBuffer image{'1', '2', '3', '4', '5', '6', '7', '8', 0xFF, 0xFF, 0xFF, 0xFF, 0x42};
    // {length, entry word, CRC}: an odd last byte is no word; too short to leave a word covers nothing.
    // clang-format off
    const std::tuple<std::uint32_t, bool, std::uint32_t> cases[] = {
        {12, false, 0x20E779A2}, {12, true, 0x6A2E5D05}, {13, false, 0x20E779A2}, {6, false, 0x3F5B3A17},
        {7, false, 0x3F5B3A17}, {10, true, 0x697B6D62}, {0, false, 0}, {3, false, 0}, {5, false, 0}, {0, true, 0},
        {7, true, 0}, {9, true, 0}};
    // clang-format on
    for (const auto& [length, entry_word, crc] : cases) {
        EXPECT_EQ(compute_image_crc(image, length, entry_word, ByteOrder::kHighByteFirst), crc);
        // Low byte first: the definition over the same words, each byte-swapped.
        std::vector<std::uint8_t> swapped;
        const CoveredWords covered = covered_words(length, entry_word);
        for (std::int64_t k = covered.first; k < covered.end; ++k) {
            const auto high = static_cast<std::size_t>(2 * k);
            swapped.insert(swapped.end(), {image[high + 1], image[high]});
        }
        EXPECT_EQ(compute_image_crc(image, length, entry_word, ByteOrder::kLowByteFirst),
                  crc_bit_at_a_time(0, swapped));
    }
    // The test vector that tells the orders apart: the words 0x3132 0x3334 0x3536 0x3738.
    EXPECT_EQ(compute_image_crc(image, 12, false, ByteOrder::kLowByteFirst), 0x40116AC1u);
    // The fast CRC, folded where the processor can, against the byte-wise one at every length around its blocks.
    std::uint8_t message[300];
    for (std::size_t i = 0; i < sizeof message; ++i) message[i] = static_cast<std::uint8_t>(i * 151 + 7);
    for (const ByteOrder order : {ByteOrder::kHighByteFirst, ByteOrder::kLowByteFirst}) {
        for (std::size_t length = 0; length <= sizeof message; ++length) {
            EXPECT_EQ(crc_update_fast(0x5A5A5A5A, message, length, order),
                      crc_update(0x5A5A5A5A, message, length, order))
                << length;
        }
    }
    // A strict reader's digits, in the sixteen-digit step and in the byte-at-a-time tail: these 22, each as its value.
    std::string digits;
    for (unsigned c = 0; c < 256; ++c) {
        std::string step(18, '0'), tail(18, '0');
        step[c % 16] = tail[16 + c % 2] = static_cast<char>(c);
        std::uint8_t bytes[2][9] = {};
        unsigned sum = 0;
        const bool in_step = decode_hex_digits(step.data(), 9, bytes[0], sum);
        EXPECT_EQ(decode_hex_digits(tail.data(), 9, bytes[1], sum), in_step) << c;
        const unsigned value = static_cast<unsigned>(decode_hex_digit(static_cast<std::uint8_t>(c))) << (c % 2 ? 0 : 4);
        if (in_step && bytes[0][c % 16 / 2] == value && bytes[1][8] == value) digits += static_cast<char>(c);
    }
    EXPECT_EQ(digits, "0123456789ABCDEFabcdef");
}

// Between a header declaring 0x0809FE and the end: text, text stamped with 0x12345678 ("": none), and what a check
// finds: the CRC (m), another (d) or no CRC record (-).
TEST(Patcher, StampsAndChecksTheRecordsTheLoaderFound) {
    const std::string head = ":020000040008F2\r\n:0409F00009FE0008F4\r\n", end = "\r\n:00000001FF\r\n";
    const std::string blank = ":0409FE00FFFFFFFFF9", ok = ":0409FE0056781234E1";
    // clang-format off
    const std::tuple<std::string, std::string, char> cases[] = {
        {blank, ok, 'd'}, {ok, ok, 'm'}, {":0409fe0056781234e1", ":0409fe0056781234E1", 'm'},
        {":0409FE0056781234E2", ok, 'd'}, {":0409FE0066781234E1", ok, 'd'},
        {ok + "\r\n  " + blank, ok + "\r\n  " + ok, 'd'},
        {"# comm 0409FE\r\n \t" + blank, "# comm 0409FE\r\n \t" + ok, 'd'},  // no comment is a record
        // Only a four-byte data record alone on its line is stamped; a lone CR ends no line.
        {"\r" + blank + "\r", "", '-'}, {":0209FE00FFFFF9", "", '-'}, {blank + ";", "", '-'}};
    // clang-format on
    static ImageBuffer image;
    std::string message;
    for (const auto& [middle, stamped, verdict] : cases) {
        const std::string before = head + middle + end;
        LoadResult result;
        ASSERT_TRUE(load_hex_bytes(before, image, result, message)) << message << before;
        const bool found = !result.crc_records.empty();
        EXPECT_EQ(found ? (crc_records_match(before, result, 0x12345678) ? 'm' : 'd') : '-', verdict) << middle;
        FileBytes text(before.begin(), before.end());
        patch_crc_text(text, result, 0x12345678);
        EXPECT_EQ(view_of(text), stamped.empty() ? before : head + stamped + end);
    }
}

// The boot check computes the tool's CRC, reads nothing wild, and on every file that stamps agrees with the tool.
TEST(BootCheck, AgreesWithTheToolAndReadsNothingWild) {
    for (std::uint32_t value = 0; value < 0x10000; ++value) {  // every word, through every byte of the register
        const auto word = static_cast<std::uint16_t>(value);
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
        ASSERT_EQ(crcstamp_crc_words(0x5A5A5A5A ^ value, &word, 1),
                  crc_update(0x5A5A5A5A ^ value, bytes, 2, kCheckOrder));
    }

    // A slot below the covered words, past 150000 words or past the readable flash (exactly as long, for ASan)
    // is refused, reading nothing but the declaration. Rows: image address, declared address, readable words, verdict.
    constexpr std::uint32_t kAll = kImageCapacity / 2;
    constexpr std::uint32_t kEntry = kEntryAddress;  // where a CRC of 0 covers nothing, or all zeros, it matches
    const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, int> cases[] = {
        {kEntry, kEntry + kAll - 2, kAll, 1}, {kEntry, kEntry + 2, kAll, 1},
        {kEntry, kEntry + kAll - 1, kAll, -1}, {kEntry, kEntry + 1, kAll, -1},
        {kEntry - 2, kEntry, kAll, 0},         {0x1000, 0x0FFF, kAll, -1},
        {kEntry, kEntry + 98, 100, 1},         {kEntry, kEntry + 99, 100, -1},
        {kEntry, 0xFFFFFF, 100, -1},           {kEntry, kEntry + 2, 3, -1}};
    for (const auto& [image_address, crc_address, readable, verdict] : cases) {
        std::vector<std::uint16_t> flash(readable, 0);
        flash[0] = 1;  // in the entry word: covered only where the image has none (0x80000 starts with one)
        const std::uint16_t at[] = {static_cast<std::uint16_t>(crc_address),
                                    static_cast<std::uint16_t>(crc_address >> 16 | 0xFF00)};
        EXPECT_EQ(streamed(flash.data(), image_address, at, readable, 1000), verdict) << std::hex << crc_address;
        EXPECT_EQ(crcstamp_check_image(flash.data(), image_address, at, readable), verdict > 0);
    }

    std::vector<std::pair<std::string, std::string>> files = all();
    files.emplace_back(contents_of(CRCSTAMP_SAMPLE), "");
    static ImageBuffer image;
    std::string message;
    std::size_t checked = 0;
    for (const auto& [text, outcome] : files) {
        LoadResult load;
        if (!load_hex_bytes(text, image, load, message) || load.crc_records.empty()) continue;
        FileBytes stamped(text.begin(), text.end());
        patch_crc_text(stamped, load, compute_image_crc(image, load.image_length, load.entry_word, kCheckOrder));
        ASSERT_TRUE(load_hex_bytes(view_of(stamped), image, load, message)) << message;
        // Erased past the image, where a changed header word may send the check.
        std::vector<std::uint16_t> flash(kImageCapacity / 2, 0xFFFF);
        for (std::uint32_t k = 0; k < load.image_length / 2; ++k)
            flash[k] = static_cast<std::uint16_t>(image[2 * k] << 8 | image[2 * k + 1]);
        std::uint32_t declared = 0;
        if (!declaration_address(view_of(stamped), load, declared)) continue;
        const std::uint16_t* declaration = &flash[declared - load.image_address];
        // Whole, and in pieces of 1, 7 and 1024 words for the image and one changed word.
        const auto verdicts = [&](bool in_pieces) {
            std::string all_ways = std::to_string(crcstamp_check_image(flash.data(), load.image_address, declaration, kImageCapacity / 2));
            for (const std::uint32_t piece : {1u, 7u, 1024u})
                if (in_pieces) all_ways += std::to_string(streamed(flash.data(), load.image_address, declaration, kImageCapacity / 2, piece));
            return all_ways;
        };
        EXPECT_EQ(verdicts(true), "1111") << text;
        for (std::uint32_t k = load.entry_word ? 2 : 0; k < load.image_length / 2; ++k) {
            flash[k] ^= 0x0100;
            EXPECT_EQ(verdicts(k == load.image_length / 4), k == load.image_length / 4 ? "0000" : "0") << k << text;
            flash[k] ^= 0x0100;
        }
        ++checked;
    }
    EXPECT_GE(checked, 8u);
}

// A CRC unit that reads 32-bit values, as its manual describes it: seed 0, words in address order, each value's
// bytes from the least significant. On the sample, whose covered words are 32-bit aligned, its result is the
// low-byte-first stamp, read from the slot as one 32-bit value.
TEST(CrcUnit, ReadingThirtyTwoBitValuesAgreesWithTheLowByteFirstStamp) {
    const std::string text = contents_of(CRCSTAMP_SAMPLE);
    static ImageBuffer image;
    LoadResult load;
    std::string message;
    ASSERT_TRUE(load_hex_bytes(text, image, load, message)) << message;
    FileBytes stamped(text.begin(), text.end());
    patch_crc_text(stamped, load, compute_image_crc(image, load.image_length, load.entry_word, ByteOrder::kLowByteFirst));
    ASSERT_TRUE(load_hex_bytes(view_of(stamped), image, load, message)) << message;
    EXPECT_NE(describe_layout(view_of(stamped), load, ByteOrder::kLowByteFirst).find("32-bit units: suited"), std::string::npos);

    const auto word = [](std::int64_t k) {
        const auto high = static_cast<std::size_t>(2 * k);
        return std::uint32_t{image[high]} << 8 | image[high + 1];
    };
    const CoveredWords covered = covered_words(load.image_length, load.entry_word);
    std::uint32_t unit = 0;
    for (std::int64_t k = covered.first; k < covered.end; k += 2) {
        const std::uint32_t value = word(k) | word(k + 1) << 16;  // little-endian: the lower word is the low half
        unit = crc_bit_at_a_time(unit, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
    }
    EXPECT_EQ(unit, word(covered.end) | word(covered.end + 1) << 16);
}
