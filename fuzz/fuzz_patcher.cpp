// The patcher on arbitrary text, CRC address and CRC: the output is the input
// with every line end made CR LF and at most ten characters changed on a
// line (its data and checksum, never its line end; a lone CR is text); no
// byte is lost, and a second pass over the output changes nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hex/patcher.h"

namespace {

std::string with_crlf_ends(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    std::uint32_t crc_address = 0;
    std::uint32_t crc = 0;
    std::memcpy(&crc_address, data, 4);
    std::memcpy(&crc, data + 4, 4);
    const std::string text(reinterpret_cast<const char*>(data + 8), size - 8);

    FileBytes once_bytes(text.begin(), text.end());
    patch_crc_text(once_bytes, crc_address, crc);
    const std::string once(view_of(once_bytes));
    const std::string expected = with_crlf_ends(text);
    if (once.size() != expected.size()) std::abort();
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < once.size(); ++i) {
        if (once[i] != expected[i]) {
            const std::size_t column = i - line_start;
            const bool line_end = expected[i] == '\n' || (expected[i] == '\r' && expected[i + 1] == '\n');
            if (column < 9 || column > 18 || line_end) std::abort();
        }
        if (expected[i] == '\n') line_start = i + 1;
    }
    FileBytes twice(once.begin(), once.end());
    patch_crc_text(twice, crc_address, crc);
    if (view_of(twice) != once) std::abort();
    return 0;
}
