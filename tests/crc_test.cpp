#include "crc/crc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

ImageBuffer image_of(const char* bytes) {
    ImageBuffer image{};
    std::memcpy(image.data(), bytes, std::strlen(bytes));
    return image;
}

}  // namespace

TEST(ImageCrc, CoversAllButTheSlotAndTheEntryWord) {
    const ImageBuffer image = image_of("12345678\xFF\xFF\xFF\xFF\x42");
    const struct {
        std::uint32_t length;
        bool entry_word;
        std::uint32_t crc;
    } cases[] = {
        {12, false, 0x20E779A2},
        {12, true, 0x6A2E5D05},
        {13, false, 0x20E779A2},  // the odd last byte is no word
        {6, false, 0x3F5B3A17},   // one word: "12"
        {7, false, 0x3F5B3A17},
        // Too short to leave a word: nothing is covered, the count never goes negative.
        {0, false, 0},
        {3, false, 0},
        {4, false, 0},
        {5, false, 0},
        {0, true, 0},
        {7, true, 0},
        {8, true, 0},
        {9, true, 0},
    };
    for (const auto& t : cases) {
        EXPECT_EQ(compute_image_crc(image, t.length, t.entry_word), t.crc) << t.length << " " << t.entry_word;
    }
}

TEST(CrcRecordChecksum, IsTheChecksumOfTheFourByteRecord) {
    EXPECT_EQ(crc_record_checksum(0x0809FE, 0x12345678), 0xE1);
    EXPECT_EQ(crc_record_checksum(0x80040, 0xC0D3AF29), 0x51);
    EXPECT_EQ(crc_record_checksum(kNoCrcAddress, 0), 0xFE);
}
