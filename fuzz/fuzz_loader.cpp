// The loader on arbitrary bytes: it reads nothing outside the file's bytes
// (they sit in a buffer of their exact size, so ASan sees a read past them),
// writes nothing outside the image, and a success leaves an image that the
// CRC can take.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "crc/crc.h"
#include "hex/loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<char[]> file(new char[size]);
    std::copy(data, data + size, file.get());
    const auto image = std::make_unique<ImageBuffer>();
    LoadResult result;
    std::string message;
    if (load_hex_bytes(std::string_view(file.get(), size), *image, result, message)) {
        if (!message.empty() || result.image_length > kImageCapacity) std::abort();
        static_cast<void>(compute_image_crc(*image, result.image_length, result.entry_word));
    } else if (!message.empty() && (message.back() != '\n' || message.find('\n') != message.size() - 1)) {
        std::abort();  // a refusal is one line
    }
    return 0;
}
