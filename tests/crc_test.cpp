#include "crc/crc.h"

#include <gtest/gtest.h>

#include "hex/record.h"

TEST(ImageCrc, CoversAllButTheSlotAndTheEntryWordWithItsRecordChecksum) {
    const ImageBuffer image{'1', '2', '3', '4', '5', '6', '7', '8', 0xFF, 0xFF, 0xFF, 0xFF, 0x42};
    // {length, entry word, CRC}: an odd last byte is no word; too short to leave a word covers nothing.
    // clang-format off
    const std::tuple<std::uint32_t, bool, std::uint32_t> cases[] = {
        {12, false, 0x20E779A2}, {12, true, 0x6A2E5D05}, {13, false, 0x20E779A2}, {6, false, 0x3F5B3A17},
        {7, false, 0x3F5B3A17}, {10, true, 0x697B6D62}, {0, false, 0}, {3, false, 0}, {5, false, 0}, {0, true, 0},
        {7, true, 0}, {9, true, 0}};
    // clang-format on
    for (const auto& [length, entry_word, crc] : cases) EXPECT_EQ(compute_image_crc(image, length, entry_word), crc);
    EXPECT_EQ(crc_record_checksum(0x0809FE, 0x12345678), 0xE1);
    EXPECT_EQ(decode_hex_digit('g'), 'g');        // fields are formed from any character: this one by its own code
    EXPECT_EQ(hex_byte_at("zz", 0), 0xAA);        // the low four bits of 'z' (0x7A)
    EXPECT_EQ(hex_field16_at(":12", 1), 0x1200);  // past the end: code 0
}
