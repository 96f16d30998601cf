// Writes a firmware HEX file to stdout: "sample" (the shipped sample) or
// "full" (the largest file the tool takes).
#include <cstdio>
#include <cstring>

#include "bench/firmware_text.h"

int main(int argc, char** argv) {
    if (argc != 2 || (std::strcmp(argv[1], "sample") != 0 && std::strcmp(argv[1], "full") != 0)) {
        std::fputs("usage: make_firmware_hex sample|full\n", stderr);
        return 2;
    }
    const std::string text = std::strcmp(argv[1], "sample") == 0 ? sample_firmware_text() : full_size_firmware_text();
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
