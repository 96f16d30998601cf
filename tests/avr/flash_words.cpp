// flash_words STAMPED.hex OUT.h: the image of a stamped HEX file as the flash words a boot check reads,
// for the 16-bit test program: its word address, where the declaration is, and the words.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "hex/loader.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    static ImageBuffer image;
    LoadResult load;
    std::string message;
    std::uint32_t declared = 0;
    std::FILE* out = std::fopen(argv[2], "w");
    if (out == nullptr || !load_hex_bytes(text, image, load, message) || !declaration_address(text, load, declared)) {
        std::fprintf(stderr, "flash_words: %s has no image with a declaration %s\n", argv[1], message.c_str());
        return 1;
    }
    std::fprintf(out, "#define SAMPLE_IMAGE_ADDRESS 0x%06XUL\n#define SAMPLE_DECLARATION %uu\n#define SAMPLE_WORDS %uu\n",
                 static_cast<unsigned>(load.image_address), static_cast<unsigned>(declared - load.image_address),
                 static_cast<unsigned>(load.image_length / 2));
    std::fputs("static uint16_t flash[SAMPLE_WORDS] = {", out);
    for (std::uint32_t k = 0; k < load.image_length / 2; ++k)
        std::fprintf(out, "%s0x%02X%02Xu,", k % 12 == 0 ? "\n    " : " ", image[2 * k], image[2 * k + 1]);
    std::fputs("\n};\n", out);
    return std::fclose(out) == 0 ? 0 : 1;
}
