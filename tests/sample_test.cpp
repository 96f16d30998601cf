#include <gtest/gtest.h>

#include "bench/firmware_text.h"
#include "crc/crc.h"
#include "hex/file_io.h"
#include "hex/loader.h"

// The sample shipped with the tool is what the generator makes, and loads.
TEST(Sample, IsGeneratedAndLoads) {
    FileBytes bytes;
    ASSERT_TRUE(read_file_bytes(CRCSTAMP_SAMPLE_HEX, bytes));
    const std::string_view shipped = view_of(bytes);
    EXPECT_EQ(shipped, sample_firmware_text());

    static ImageBuffer image;
    LoadResult result;
    std::string message;
    ASSERT_TRUE(load_hex_bytes(shipped, image, result, message)) << message;
    EXPECT_TRUE(result.entry_word);
    EXPECT_EQ(result.crc_address, 0x80A00u);
    EXPECT_EQ(result.image_length, 2 * (0x80A00u - kEntryAddress) + 4);
}
