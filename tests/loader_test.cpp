#include "hex/loader.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "tests/loader_cases.h"

namespace {

// The refusal, or the CRC address, the entry-word flag, the image in hex and
// the number of CRC records.
std::string load(const std::string& text) {
    static ImageBuffer image;
    LoadResult result;
    std::string message;
    if (!load_hex_bytes(text, image, result, message)) return message;
    std::ostringstream out;
    out << std::hex << std::uppercase << result.crc_address << (result.entry_word ? " entry " : " ")
        << std::setfill('0');
    for (std::uint32_t i = 0; i < result.image_length; ++i) out << std::setw(2) << int{image[i]};
    out << "|" << result.crc_records.size();
    return out.str();
}

}  // namespace

TEST(Loader, LoadsOrRefusesWithTheRecordAtFault) {
    for (const auto& [text, outcome] : loader_cases::all()) EXPECT_EQ(load(text), outcome) << text;
}

TEST(Loader, DescribesTheLayoutItFound) {
    using namespace loader_cases;
    const std::pair<std::string, std::string> cases[] = {
        {kEnd, "image: empty\nentry word: no\nCRC address: none\ncovered: nothing\nCRC records: none\n"},
        {kB + "\t " + kSlot + "\r\n" + kEnd,
         "image: words 0x001000 to 0x002001, 8196 bytes\nentry word: no\nCRC address: 0x002000, declared on line 1\n"
         "covered: words 0x001000 to 0x001FFF, 4096 words\nCRC records: lines 2, 3\n"},
        {":05100000AA0010000031\n:02300000AABB69\n" + kEnd,  // an odd last byte is one more word
         "image: words 0x001000 to 0x001002, 5 bytes\nentry word: no\nCRC address: 0x000010, declared on line 1\n"
         "covered: nothing\nCRC records: none\n"},
    };
    static ImageBuffer image;
    std::string message;
    for (const auto& [text, layout] : cases) {
        LoadResult load;
        ASSERT_TRUE(load_hex_bytes(text, image, load, message)) << message;
        EXPECT_EQ(describe_layout(text, load), layout);
    }
}
