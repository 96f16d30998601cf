#include "hex/loader.h"

#include <gtest/gtest.h>

#include "tests/hex_builder.h"

namespace {

const std::string kWorkedExample = hex_lines({
    ":020000040008F2",
    ":040000001122334452",
    ":08000200A0A1A2A30040000828",
    ":02001000B0B18D",
    ":04004000C0C1C2C3B6",
    ":02004200D0D11B",
    ":00000001FF",
});

struct Loaded {
    bool ok;
    std::string message;
    LoadResult result;
    std::vector<std::uint8_t> image;  // the bytes the image length counts
};

Loaded load(const std::string& text) {
    static ImageBuffer image;
    image.fill(0xA5);
    Loaded loaded{};
    loaded.ok = load_hex_bytes(text, image, loaded.result, loaded.message);
    if (loaded.ok) loaded.image.assign(image.begin(), image.begin() + loaded.result.image_length);
    return loaded;
}

std::vector<std::uint8_t> bytes(std::initializer_list<std::vector<std::uint8_t>> runs) {
    std::vector<std::uint8_t> all;
    for (const auto& run : runs) all.insert(all.end(), run.begin(), run.end());
    return all;
}

std::vector<std::uint8_t> ff(std::size_t count) { return std::vector<std::uint8_t>(count, 0xFF); }

// A first data record at word 0x1000 that declares `crc_address`, then `rest`.
std::string declaring(std::uint32_t crc_address, const std::vector<std::string>& rest) {
    std::vector<std::string> lines = {data_record(0x1000, crc_address_bytes(crc_address))};
    lines.insert(lines.end(), rest.begin(), rest.end());
    return hex_lines(lines);
}

}  // namespace

TEST(Loader, WorkedExample) {
    const Loaded loaded = load(kWorkedExample);
    ASSERT_TRUE(loaded.ok) << loaded.message;
    EXPECT_TRUE(loaded.result.entry_word);
    EXPECT_EQ(loaded.result.crc_address, 0x80040u);
    EXPECT_EQ(loaded.image, bytes({{0x11, 0x22, 0x33, 0x44, 0xA0, 0xA1, 0xA2, 0xA3, 0x00, 0x40, 0x00, 0x08},
                                   ff(20),
                                   {0xB0, 0xB1},
                                   ff(94),
                                   {0xC0, 0xC1, 0xC2, 0xC3}}));
}

TEST(Loader, SeparatorsBetweenRecordsLoadAlike) {
    std::string lower = kWorkedExample;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string lf_only = kWorkedExample;
    lf_only.erase(std::remove(lf_only.begin(), lf_only.end(), '\r'), lf_only.end());
    std::string junk = kWorkedExample;
    for (std::size_t at = junk.find("\r\n:"); at != std::string::npos; at = junk.find("\r\n:", at + 12))
        junk.replace(at, 2, "\r\n\r\n  some text\n\x1A\n");
    std::string adjoining = kWorkedExample;
    adjoining.erase(std::remove(adjoining.begin(), adjoining.end(), '\n'), adjoining.end());
    adjoining.erase(std::remove(adjoining.begin(), adjoining.end(), '\r'), adjoining.end());

    const Loaded reference = load(kWorkedExample);
    for (const auto& text : {lower, lf_only, junk, adjoining}) {
        const Loaded loaded = load(text);
        ASSERT_TRUE(loaded.ok) << loaded.message << text;
        EXPECT_EQ(loaded.image, reference.image) << text;
        EXPECT_EQ(loaded.result.crc_address, reference.result.crc_address) << text;
        EXPECT_TRUE(loaded.result.entry_word);
    }
}

TEST(Loader, Refusals) {
    // Ascending records below the CRC address that they declare (0x2000).
    const std::string r1 = data_record(0x1000, crc_address_bytes(0x2000));
    const std::string r2 = data_record(0x1002, {1, 2, 3, 4});
    const std::string r3 = data_record(0x1004, {5, 6, 7, 8});
    const struct {
        const char* name;
        std::string text;
        std::string message;
    } cases[] = {
        {"empty file", "", "File Format incorrect, Line : 1\n"},
        {"blank line first", "\r\n" + kEndOfFileRecord, "File Format incorrect, Line : 1\n"},
        {"byte-order mark", "\xEF\xBB\xBF" + kEndOfFileRecord, "File Format incorrect, Line : 1\n"},
        {"space first", " " + kEndOfFileRecord, "File Format incorrect, Line : 1\n"},
        {"type 02", hex_lines({r1, ":020000020000FC"}), "File Format incorrect, no this record type, Line : 2\n"},
        {"type 03, bad checksum", hex_lines({r1, r2, ":0400000300000000AA"}),
         "File Format incorrect, no this record type, Line : 3\n"},
        {"type 05", hex_lines({":0400000500000000F7"}), "File Format incorrect, no this record type, Line : 1\n"},
        {"data checksum", hex_lines({r1, ":04100200112233447F"}), "File Format incorrect, checksum, Line : 2\n"},
        {"extended address checksum", hex_lines({r1, ":020000040000F8"}),
         "File Format incorrect, checksum, Line : 2\n"},
        // Blank lines and text between records are not counted.
        {"fourth record after blank lines", r1 + "\n\n" + r2 + "\n\n\nnote\n" + r3 + "\r\n\r\n:04100600112233447F\n",
         "File Format incorrect, checksum, Line : 4\n"},
        {"no end-of-file record", hex_lines({r1, r2}) + "trailing text", "File Format incorrect, Line : 3\n"},
        {"out of order", hex_lines({r1, r2, data_record(0x1001, {1, 2})}), "File Format incorrect, Line : 3\n"},
        {"overlapping", hex_lines({r1, r2, data_record(0x1003, {1, 2})}), "File Format incorrect, Line : 3\n"},
    };
    for (const auto& t : cases) {
        const Loaded loaded = load(t.text);
        EXPECT_FALSE(loaded.ok) << t.name;
        EXPECT_EQ(loaded.message, t.message) << t.name;
    }
}

TEST(Loader, RecordsCutShortByTheEndOfTheFile) {
    const std::string first = data_record(0x1000, crc_address_bytes(0x2000)) + "\n";
    const struct {
        const char* name;
        std::string text;
        bool ok;
    } cases[] = {
        {"end-of-file record needs characters 1 to 8 only", first + ":00000001", true},
        {"end-of-file record short of its type", first + ":0000000", false},
        {"header cut", first + ":0200", false},
        {"data cut", first + ":04100200112233", false},
        {"checksum missing", first + ":0410020011223344", false},
        {"checksum half there", first + ":04100200112233447", false},
        {"record ending the load needs no checksum", first + ":0420000011223344", true},
        {"extended address value cut", first + ":0200000400", false},
        {"extended address checksum missing", first + ":020000040000", false},
        {"lone colon", first + ":", false},
    };
    for (const auto& t : cases) {
        const Loaded loaded = load(t.text);
        EXPECT_EQ(loaded.ok, t.ok) << t.name;
        if (!t.ok) {
            EXPECT_EQ(loaded.message, "File Format incorrect, Line : 2\n") << t.name;
        }
    }
}

TEST(Loader, GapFill) {
    const struct {
        const char* name;
        std::vector<std::string> records;
        std::vector<std::uint8_t> image_tail;  // after the first record's four bytes
    } cases[] = {
        {"adjoining", {data_record(0x1002, {1, 2, 3, 4})}, {1, 2, 3, 4}},
        {"sixteen bytes then 0x10 words on",
         {data_record(0x1002, std::vector<std::uint8_t>(16, 7)), data_record(0x1012, {9, 9})},
         bytes({std::vector<std::uint8_t>(16, 7), ff(16), {9, 9}})},
        {"odd count", {data_record(0x1002, {1, 2, 3}), data_record(0x1004, {4, 4})}, {1, 2, 3, 0xFF, 4, 4}},
        {"across an extended address record",
         {data_record(0xFFF0, std::vector<std::uint8_t>(0x20, 5)), extended_address_record(1), data_record(0, {6, 6})},
         bytes({ff(2 * (0xFFF0 - 0x1002)), std::vector<std::uint8_t>(0x20, 5), {6, 6}})},
        {"extended address record of count 0 and 5 read alike",
         {":000000040001FB", data_record(0, {1, 1}), ":050000040002F5000000", data_record(0, {2, 2})},
         bytes({ff(2 * (0x10000 - 0x1002)), {1, 1}, ff(2 * 0x10000 - 2), {2, 2}})},
    };
    for (const auto& t : cases) {
        std::vector<std::string> records = {data_record(0x1000, crc_address_bytes(0x7FFFFF))};
        records.insert(records.end(), t.records.begin(), t.records.end());
        records.push_back(kEndOfFileRecord);
        const Loaded loaded = load(hex_lines(records));
        ASSERT_TRUE(loaded.ok) << t.name << loaded.message;
        EXPECT_EQ(loaded.image, bytes({crc_address_bytes(0x7FFFFF), t.image_tail})) << t.name;
    }
}

TEST(Loader, CrcAddressEntryWordAndWhereLoadingStops) {
    const auto with_end = [](std::vector<std::string> records) {
        records.push_back(kEndOfFileRecord);
        return hex_lines(records);
    };
    const struct {
        const char* name;
        std::string text;
        std::uint32_t crc_address;
        bool entry_word;
        std::uint32_t length;
    } cases[] = {
        {"end-of-file only", kEndOfFileRecord, kNoCrcAddress, false, 0},
        {"first record declares", with_end({data_record(0x1000, {0x00, 0x40, 0x00, 0x08})}), 0x80040, false, 4},
        {"third byte takes no part", with_end({data_record(0x1000, {0x00, 0x40, 0xFF, 0x08})}), 0x80040, false, 4},
        {"last four of a longer record", with_end({data_record(0x1000, {9, 9, 0x12, 0x34, 0x00, 0x56})}), 0x561234,
         false, 6},
        {"entry word defers to the second record",
         with_end({extended_address_record(8), data_record(0, {1, 2, 3, 4}), data_record(2, {0x00, 0x04, 0x00, 0x08}),
                   data_record(4, {0xAA, 0xBB, 0xCC, 0xDD})}),
         0x80004, true, 12},
        {"only the first record can hold the entry word",
         with_end({extended_address_record(7), data_record(0xFFF0, crc_address_bytes(0x90000)),
                   extended_address_record(8), data_record(0, {1, 2, 3, 4})}),
         0x90000, false, 4 + 28 + 4},
        // Count 0: the eight characters are the count, address and type.
        {"empty source record", with_end({":00123400BA"}), 0x000012, false, 0},
        // Count 1: the address, the type and the one data byte.
        {"one-byte source record", with_end({":01AB340042DE"}), 0x42AB34, false, 1},
        {"source below its own address still stored",
         with_end({data_record(0x5000, crc_address_bytes(0x1000)), data_record(0x5002, {1, 1})}), 0x1000, false, 4},
        // Checksums that are never read: the end-of-file record's, and those of
        // records at or beyond the CRC address, after which nothing is read.
        {"end-of-file with a wrong checksum", declaring(0x2000, {":0000000100"}), 0x2000, false, 4},
        {"record at the CRC address, wrong checksum, then garbage",
         declaring(0x2000, {":0420000011223344FF", "garbage"}), 0x2000, false, 4 + 2 * 0x1000 - 4 + 4},
        {"record beyond the CRC address is not stored", declaring(0x2000, {":04300000112233444F", "garbage"}), 0x2000,
         false, 4},
    };
    for (const auto& t : cases) {
        const Loaded loaded = load(t.text);
        ASSERT_TRUE(loaded.ok) << t.name << loaded.message;
        EXPECT_EQ(loaded.message, "") << t.name;
        EXPECT_EQ(loaded.result.crc_address, t.crc_address) << t.name;
        EXPECT_EQ(loaded.result.entry_word, t.entry_word) << t.name;
        EXPECT_EQ(loaded.result.image_length, t.length) << t.name;
    }
}

// Adjoining records from word 0 that hold `total` bytes, the last one
// `extra_gap_words` further on; the declared CRC address is never reached.
std::string image_of_size(std::size_t total, std::uint32_t extra_gap_words) {
    std::vector<std::string> lines;
    std::vector<std::uint8_t> data = crc_address_bytes(0xFFFFFF);
    data.resize(250, 0x11);
    std::uint32_t address = 0;
    for (std::size_t left = total; left > 0;) {
        data.resize(std::min<std::size_t>(left, 250), 0x22);
        if (left == data.size()) address += extra_gap_words;
        lines.push_back(extended_address_record(static_cast<std::uint16_t>(address >> 16)));
        lines.push_back(data_record(static_cast<std::uint16_t>(address), data));
        address += static_cast<std::uint32_t>(data.size() / 2);
        left -= data.size();
    }
    lines.push_back(kEndOfFileRecord);
    return hex_lines(lines);
}

TEST(Loader, ImageCapacityEdge) {
    const Loaded full = load(image_of_size(kImageCapacity, 0));
    ASSERT_TRUE(full.ok) << full.message;
    EXPECT_EQ(full.result.image_length, kImageCapacity);

    // 2 x 0x80000002 words less 4 bytes is 2^32 bytes: in 32 bits, no gap at all.
    const std::string huge_gap =
        hex_lines({extended_address_record(0x0008), data_record(0, {1, 2, 3, 4}), extended_address_record(0x8008),
                   data_record(2, {0, 0, 0xFF, 0xFF}), kEndOfFileRecord});
    // One byte more, or a gap that would carry the image past the capacity,
    // is refused at the record that would do it.
    const std::pair<std::string, std::uint32_t> too_large[] = {
        {image_of_size(kImageCapacity + 1, 0), 2402}, {image_of_size(kImageCapacity - 10, 6), 2400}, {huge_gap, 4}};
    for (const auto& [text, record] : too_large) {
        const Loaded loaded = load(text);
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.message, "File Format incorrect, image too large, Line : " + std::to_string(record) + "\n");
    }
}
