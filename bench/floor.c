/* The bare floor of a crcstamp run: what any program that stamps a file
   must do, in C with nothing extra. Reads FILE whole into malloc'ed memory,
   then overwrites ten of its bytes where they stand and flushes the file.
   With --prefault it maps the memory's pages in one call before the read, as
   crcstamp does. With no FILE it does nothing: an empty C program. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static int has_option(int argc, char** argv, const char* option) {
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], option) == 0) return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    int fd = open(argv[1], O_RDWR);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) return 1;
    size_t size = (size_t)info.st_size;
    char* bytes = malloc(size ? size : 1);
    if (bytes == NULL) return 1;
    if (has_option(argc, argv, "--prefault") && size > 0) {
        uintptr_t start = (uintptr_t)bytes & ~(uintptr_t)4095;
        madvise((void*)start, (uintptr_t)bytes + size - start, MADV_POPULATE_WRITE);
    }
    if (read(fd, bytes, size) != (ssize_t)size) return 1;
    /* the ten bytes in the middle, written back as they are */
    size_t at = size > 10 ? size / 2 : 0, length = size > 10 ? 10 : size;
    int failed = pwrite(fd, bytes + at, length, (off_t)at) != (ssize_t)length || fsync(fd) != 0;
    failed = close(fd) != 0 || failed;
    free(bytes);
    return failed;
}
