// file_floor FILE: what any tool that rewrites FILE safely must do at least:
// read it whole, write the same bytes to a temporary file, flush, rename.
#include <cstdio>
#include <string>

#include "hex/file_io.h"

int main(int argc, char** argv) {
    std::string bytes;
    if (argc != 2 || !read_file_bytes(argv[1], bytes) || !replace_file_bytes(argv[1], bytes)) {
        std::fputs("usage: file_floor FILE (a writable file)\n", stderr);
        return 1;
    }
    return 0;
}
