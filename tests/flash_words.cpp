// flash_words HIGH.hex LOW.hex OUT.h: the image of a HEX file stamped in each byte order as the flash words a boot
// check reads, for the 16-bit test program: its word address, where the declaration and the slot are, the words
// (with the high-byte-first stamp) and each order's slot.
#include <fstream>
#include <iterator>

#include "hex/loader.h"

namespace {

struct Flash {
    LoadResult load;
    std::uint32_t declared = 0;
    std::vector<std::uint16_t> words;
};

bool read_flash(const char* path, Flash& flash) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    static ImageBuffer image;
    std::string message;
    if (!load_hex_bytes(text, image, flash.load, message) || !declaration_address(text, flash.load, flash.declared))
        return false;
    for (std::uint32_t k = 0; k < flash.load.image_length / 2; ++k)
        flash.words.push_back(static_cast<std::uint16_t>(image[2 * k] << 8 | image[2 * k + 1]));
    return flash.words.size() >= 2;
}

}  // namespace

int main(int argc, char** argv) {
    Flash high, low;
    if (argc != 4 || !read_flash(argv[1], high) || !read_flash(argv[2], low)) return 1;
    // The same image but for the slot, its last two words.
    const std::size_t slot = high.words.size() - 2;
    if (low.words.size() != high.words.size() || low.load.image_address != high.load.image_address ||
        !std::equal(high.words.begin(), high.words.begin() + static_cast<std::ptrdiff_t>(slot), low.words.begin()))
        return 1;
    std::ofstream out(argv[3]);
    out << "#define SAMPLE_IMAGE_ADDRESS " << high.load.image_address << "UL\n#define SAMPLE_DECLARATION "
        << high.declared - high.load.image_address << "u\n#define SAMPLE_WORDS " << high.words.size()
        << "u\n#define SAMPLE_HIGH_FIRST_SLOT " << high.words[slot] << "u, " << high.words[slot + 1]
        << "u\n#define SAMPLE_LOW_FIRST_SLOT " << low.words[slot] << "u, " << low.words[slot + 1]
        << "u\nstatic uint16_t flash[SAMPLE_WORDS] = {";
    for (std::size_t k = 0; k < high.words.size(); ++k) out << (k % 16 ? " " : "\n") << high.words[k] << "u,";
    out << "\n};\n";
    return out.good() ? 0 : 1;
}
