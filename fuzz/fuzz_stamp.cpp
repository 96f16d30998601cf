// The whole path on arbitrary bytes, held in a buffer of their exact size for ASan. A stamp, at the
// loaded CRC address or one from the input, ends every line in CR LF, changes nothing else but
// characters 9 to 18 of a line, checks as matching, and a second stamp changes nothing.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crc/crc.h"
#include "hex/loader.h"
#include "hex/patcher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<char> file(data, data + size);
    const std::string_view text(file.data(), size);
    static ImageBuffer image;
    LoadResult result;
    std::string message;
    std::uint32_t crc_address = 0, crc = 0x12345678;
    if (load_hex_bytes(text, image, result, message)) {
        crc_address = result.crc_address;
        crc = compute_image_crc(image, result.image_length, result.entry_word);
    } else if (size >= 4) {
        std::memcpy(&crc_address, data, 4);
    }
    FileBytes once(text.begin(), text.end());
    const std::size_t stamped = patch_crc_text(once, crc_address, crc);
    std::size_t at = 0, line_start = 0;
    for (std::size_t i = 0; i < size; ++i, ++at) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r') && (at >= once.size() || once[at++] != '\r'))
            std::abort();
        const bool line_end = text[i] == '\n' || (text[i] == '\r' && i + 1 < size && text[i + 1] == '\n');
        if (at >= once.size() || (once[at] != text[i] && (at - line_start < 9 || at - line_start > 18 || line_end)))
            std::abort();
        if (text[i] == '\n') line_start = at + 1;
    }
    const CrcCheck check = stamped > 0 ? CrcCheck::kMatches : CrcCheck::kNoCrcRecord;
    FileBytes twice = once;
    if (at != once.size() || check_crc_text(view_of(once), crc_address, crc) != check ||
        patch_crc_text(twice, crc_address, crc) != stamped || twice != once)
        std::abort();
    return 0;
}
