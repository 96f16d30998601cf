// The firmware's boot check, in whichever table size it is linked with, against the tool.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "crc/crc.h"
#include "crcstamp_check.h"
#include "hex/loader.h"
#include "hex/patcher.h"
#include "hex/record.h"
#include "tests/loader_cases.h"

TEST(BootCheck, ComputesTheToolsCrcOverWords) {
    for (std::uint16_t byte = 0; byte < 256; ++byte) EXPECT_EQ(crcstamp_crc_words(0, &byte, 1), crc_table[byte]);
    const std::uint16_t words[] = {0x3132, 0x3334, 0x3536, 0x3738};
    EXPECT_EQ(crcstamp_crc_words(0, words, 4), 0x20E779A2u);
    EXPECT_EQ(crcstamp_crc_words(crcstamp_crc_words(0, words, 1), words + 1, 3), 0x20E779A2u);  // in pieces
    const std::uint16_t declared[] = {0x0A00, 0xFF08};  // bytes 0A 00 FF 08: the top eight bits dropped
    EXPECT_EQ(crcstamp_crc_address(declared), 0x080A00u);

    // A header that declares a slot before the covered words or past 150000 words reads nothing more:
    // the image is just as long as the largest one the tool takes.
    std::vector<std::uint16_t> image(kImageCapacity / 2, 0xFFFF);
    const std::uint32_t crc = crcstamp_crc_words(0, image.data() + 2, kImageCapacity / 2 - 4);
    image[kImageCapacity / 2 - 2] = static_cast<std::uint16_t>(crc);
    image[kImageCapacity / 2 - 1] = static_cast<std::uint16_t>(crc >> 16);
    const std::uint16_t zeros[] = {0, 0, 0, 0};
    const std::tuple<const std::uint16_t*, std::uint32_t, std::uint32_t, int> cases[] = {
        {image.data(), kEntryAddress, kEntryAddress + kImageCapacity / 2 - 2, 1},
        {image.data(), kEntryAddress, kEntryAddress + kImageCapacity / 2 - 1, 0},
        {image.data(), 0x1000, 0x1000 + kImageCapacity / 2 - 2, 0},  // only 0x80000 starts with an entry word
        {zeros, kEntryAddress, kEntryAddress + 2, 1},                // nothing covered: a CRC of 0
        {zeros, kEntryAddress, kEntryAddress + 1, 0},
        {zeros, 0x1000, 0x1000, 1},
        {zeros, 0x1000, 0x0FFF, 0},
    };
    for (const auto& [first, image_address, crc_address, verdict] : cases) {
        const std::uint16_t at[] = {static_cast<std::uint16_t>(crc_address),
                                    static_cast<std::uint16_t>(crc_address >> 16)};
        EXPECT_EQ(crcstamp_check_image(first, image_address, at), verdict) << std::hex << crc_address;
    }
}

// Every file that stamps, laid out as flash words once stamped: the boot check agrees with the tool,
// and fails when one covered word or either slot word changes.
TEST(BootCheck, AgreesWithTheStampAndCatchesAChangedWord) {
    std::ifstream sample(CRCSTAMP_SAMPLE, std::ios::binary);
    std::vector<std::string> files = {{std::istreambuf_iterator<char>(sample), std::istreambuf_iterator<char>()}};
    for (const auto& [text, outcome] : loader_cases::all()) files.push_back(text);
    static ImageBuffer image;
    std::string message;
    std::size_t checked = 0;
    for (const std::string& text : files) {
        LoadResult load;
        if (!load_hex_bytes(text, image, load, message) || load.crc_records.empty()) continue;
        FileBytes stamped(text.begin(), text.end());
        patch_crc_text(stamped, load, compute_image_crc(image, load.image_length, load.entry_word));
        ASSERT_TRUE(load_hex_bytes(view_of(stamped), image, load, message)) << message;
        // Erased past the image, where a changed header word may send the check; and an odd last byte's low byte.
        std::vector<std::uint16_t> flash(kImageCapacity / 2, 0xFFFF);
        for (std::uint32_t i = 0; i < load.image_length; ++i) {
            flash[i / 2] =
                static_cast<std::uint16_t>(i % 2 ? (flash[i / 2] & 0xFF00) | image[i] : image[i] << 8 | 0xFF);
        }
        // The declaration: the source record's last two words.
        const std::size_t declared =
            load.crc_source_address - load.image_address + hex_byte_at(view_of(stamped), load.crc_source + 1) / 2 - 2;
        const auto check = [&] { return crcstamp_check_image(flash.data(), load.image_address, &flash[declared]); };
        EXPECT_TRUE(check()) << text;
        for (std::uint32_t k = load.entry_word ? 2 : 0; k < (load.image_length + 1) / 2; ++k) {
            flash[k] ^= 0x0100;
            EXPECT_FALSE(check()) << "word " << k << " of " << text;
            flash[k] ^= 0x0100;
        }
        ++checked;
    }
    EXPECT_GE(checked, 8u);
}
