// crcstamp FILE: validates an Intel HEX firmware image, prints its CRC-32 and
// the checksum of the record that carries it, and stamps the CRC into the file.
#include <cstdio>
#include <iostream>

#include "app/console.h"
#include "common/crcstamp.h"
#include "crc/crc.h"
#include "hex/loader.h"
#include "hex/patcher.h"

std::string file_name;

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = open_console(argc, argv);
    if (arguments.size() > 1) {
        file_name = arguments[1];
    } else {
        std::cin >> file_name;  // one word; empty input leaves it empty
    }
    std::fwrite(file_name.data(), 1, file_name.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);

    static ImageBuffer image;
    LoadResult result;  // starts with the entry-word flag clear: the loader only sets it
    // Read once: the CRC goes into exactly the bytes it was computed from.
    std::string file;
    if (load_hex_image(file_name, file, image, result)) {
        const std::uint32_t crc = compute_image_crc(image, result.image_length, result.entry_word);
        std::printf("%08X\n", static_cast<unsigned>(crc));
        std::printf("%02X\n", static_cast<unsigned>(crc_record_checksum(result.crc_address, crc)));
        std::fflush(stdout);
        // Whoever reads the CRC off the screen must know when the file was not stamped.
        if (!patch_crc_record(file_name, file, result.crc_address, crc)) std::puts("file not written");
    }
    wait_for_key();
    return 0;
}
