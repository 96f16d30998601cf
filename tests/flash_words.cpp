// flash_words HIGH.hex LOW.hex OUT.h: a HEX file stamped in each byte order as the flash words a boot check reads,
// for the 16-bit test program: the word address, where the declaration is, the words with the high-byte-first
// stamp, and each order's slot.
#include <fstream>
#include <iterator>

#include "hex/loader.h"

// The image's words, and the load and its declaration's word address; empty when it does not load.
std::vector<std::uint32_t> flash_of(const char* path, LoadResult& load, std::uint32_t& declared) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    static ImageBuffer image;
    std::string message;
    std::vector<std::uint32_t> words;
    if (load_hex_bytes(text, image, load, message) && declaration_address(text, load, declared))
        for (std::uint32_t k = 0; k < load.image_length / 2; ++k)
            words.push_back(std::uint32_t{image[2 * k]} << 8 | image[2 * k + 1]);
    return words;
}

int main(int argc, char** argv) {
    if (argc != 4) return 1;
    LoadResult load, low_load;
    std::uint32_t declared = 0;
    const auto high = flash_of(argv[1], load, declared), low = flash_of(argv[2], low_load, declared);
    // The same image, but for the slot: its last two words.
    if (high.size() < 2 || low.size() != high.size() || !std::equal(high.begin(), high.end() - 2, low.begin()))
        return 1;
    std::ofstream out(argv[3]);
    out << "#define SAMPLE_IMAGE_ADDRESS " << load.image_address << "UL\n#define SAMPLE_DECLARATION "
        << declared - load.image_address << "u\n#define SAMPLE_WORDS " << high.size()
        << "u\n#define SAMPLE_HIGH_FIRST_SLOT " << high.end()[-2] << "u, " << high.back()
        << "u\n#define SAMPLE_LOW_FIRST_SLOT " << low.end()[-2] << "u, " << low.back()
        << "u\nstatic uint16_t flash[SAMPLE_WORDS] = {";
    for (std::size_t k = 0; k < high.size(); ++k) out << (k % 16 ? " " : "\n") << high[k] << "u,";
    out << "\n};\n";
    return out.good() ? 0 : 1;
}
