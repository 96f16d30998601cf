#include <gtest/gtest.h>

#include "hex/record.h"
#include "tests/hex_builder.h"

TEST(Record, DecodesDigitsOfEitherCaseAndPassesOtherCharactersThrough) {
    const struct {
        char c;
        unsigned value;
    } cases[] = {{'0', 0}, {'7', 7}, {'9', 9}, {'a', 10}, {'c', 12}, {'f', 15},
                 {'A', 10}, {'C', 12}, {'F', 15}, {'g', 'g'}, {'G', 'G'}, {'\r', '\r'}};
    for (const auto& t : cases) EXPECT_EQ(decode_hex_digit(static_cast<std::uint8_t>(t.c)), t.value) << t.c;
}

TEST(Record, FormsFieldsFromTheLowNibbleOfAnyCharacter) {
    EXPECT_EQ(hex_byte_at("zz", 0), 0xAA);   // 'z' is 0x7A
    EXPECT_EQ(hex_byte_at(" G", 0), 0x07);   // space 0x20, 'G' 0x47
    EXPECT_EQ(hex_byte_at(":aB", 1), 0xAB);
    EXPECT_EQ(hex_field16_at(":0409FE", 3), 0x09FE);
}

TEST(Record, PositionsPastTheEndCountAsZero) {
    EXPECT_EQ(hex_byte_at("1", 0), 0x10);
    EXPECT_EQ(hex_byte_at("1", 5), 0x00);
    EXPECT_EQ(hex_field16_at(":12", 1), 0x1200);
    EXPECT_EQ(hex_field16_at("", 0), 0);
}

TEST(Record, EncodesUpperCaseOnly) {
    char out[2];
    encode_hex_byte(0xAB, out);
    EXPECT_EQ(std::string(out, 2), "AB");
    encode_hex_byte(0x0F, out);
    EXPECT_EQ(std::string(out, 2), "0F");
}

TEST(Record, ChecksumMakesTheRecordSumToZero) {
    const std::uint8_t extended[] = {0x02, 0x00, 0x00, 0x04, 0x00, 0x08};
    EXPECT_EQ(record_checksum(extended, sizeof extended), 0xF2);
    EXPECT_EQ(extended_address_record(0x0008), ":020000040008F2");
    const std::uint8_t end_of_file[] = {0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(record_checksum(end_of_file, sizeof end_of_file), 0xFF);
    const std::uint8_t zero_sum[] = {0x80, 0x80};
    EXPECT_EQ(record_checksum(zero_sum, sizeof zero_sum), 0x00);
}
