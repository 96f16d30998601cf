#include "crc/crc.h"

#include "hex/record.h"

CoveredWords covered_words(std::uint32_t image_length, bool entry_word) {
    // The last two whole words are the CRC slot; an odd last byte is no word.
    return {entry_word ? 2 : 0, std::int64_t{image_length / 2} - 2};
}

std::uint32_t compute_image_crc(const ImageBuffer& image, std::uint32_t image_length, bool entry_word,
                                ByteOrder order) {
    const CoveredWords covered = covered_words(image_length, entry_word);
    if (covered.end <= covered.first) return 0;
    // Word k is image bytes 2k (high) and 2k + 1: high byte first is image order.
    const auto first_byte = static_cast<std::size_t>(2 * covered.first);
    const auto byte_count = static_cast<std::size_t>(2 * (covered.end - covered.first));
    return crc_update_fast(0, image.data() + first_byte, byte_count, order);
}

std::uint8_t crc_record_checksum(std::uint32_t crc_address, std::uint32_t crc) {
    // The byte order of the CRC in the record does not change the sum.
    const std::uint8_t record[] = {
        4,
        static_cast<std::uint8_t>(crc_address >> 8),
        static_cast<std::uint8_t>(crc_address),
        record_type::kData,
        static_cast<std::uint8_t>(crc >> 24),
        static_cast<std::uint8_t>(crc >> 16),
        static_cast<std::uint8_t>(crc >> 8),
        static_cast<std::uint8_t>(crc),
    };
    return record_checksum(record, sizeof record);
}
