#include "hex/record.h"

#include <gtest/gtest.h>

#include "tests/hex_builder.h"

TEST(Record, FieldsAreFormedFromAnyCharacter) {
    EXPECT_EQ(decode_hex_digit('7'), 7);
    EXPECT_EQ(decode_hex_digit('c'), 12);
    EXPECT_EQ(decode_hex_digit('C'), 12);
    EXPECT_EQ(decode_hex_digit('g'), 'g');  // not a digit: its own code
    EXPECT_EQ(hex_byte_at("zz", 0), 0xAA);  // low four bits of 'z' (0x7A)
    EXPECT_EQ(hex_byte_at(":aB", 1), 0xAB);
    EXPECT_EQ(hex_field16_at(":0409FE", 3), 0x09FE);
    // Past the end of the text every position reads as code 0.
    EXPECT_EQ(hex_byte_at("1", 0), 0x10);
    EXPECT_EQ(hex_field16_at(":12", 1), 0x1200);
    EXPECT_EQ(hex_field16_at("", 0), 0);
}

TEST(Record, WritesUpperCaseAndChecksums) {
    char out[2];
    encode_hex_byte(0xAB, out);
    EXPECT_EQ(std::string(out, 2), "AB");
    EXPECT_EQ(extended_address_record(0x0008), ":020000040008F2");
    const std::uint8_t end_of_file[] = {0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(record_checksum(end_of_file, sizeof end_of_file), 0xFF);
}
