// flash_words STAMPED.hex OUT.h: the image of a stamped HEX file as the flash words a boot check reads, for
// the 16-bit test program: its word address, where the declaration is, and the words.
#include <fstream>
#include <iterator>

#include "hex/loader.h"

int main(int argc, char** argv) {
    std::ifstream in(argc == 3 ? argv[1] : "", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    static ImageBuffer image;
    LoadResult load;
    std::string message;
    std::uint32_t declared = 0;
    if (!load_hex_bytes(text, image, load, message) || !declaration_address(text, load, declared)) return 1;
    std::ofstream out(argv[2]);
    out << "#define SAMPLE_IMAGE_ADDRESS " << load.image_address << "UL\n#define SAMPLE_DECLARATION "
        << declared - load.image_address << "u\n#define SAMPLE_WORDS " << load.image_length / 2
        << "u\nstatic uint16_t flash[SAMPLE_WORDS] = {";
    for (std::uint32_t k = 0; k < load.image_length / 2; ++k)
        out << (k % 16 ? " " : "\n") << (image[2 * k] << 8 | image[2 * k + 1]) << "u,";
    out << "\n};\n";
    return out.good() ? 0 : 1;
}
