/* The bare floor of a crcstamp run: what any program that stamps a file
   safely must do, in C with nothing extra. Reads FILE whole into malloc'ed
   memory, then either (--in-place) overwrites ten of its bytes where they
   stand and flushes the file, or writes it all to a temporary file beside
   it, flushes that, renames it over FILE and flushes the folder. With
   --prefault it maps the memory's pages in one call before the read, as
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

static int replace(const char* path, const char* bytes, size_t size) {
    char temp[4096];
    const char* slash = strrchr(path, '/');
    size_t dir_length = slash ? (size_t)(slash - path) : 1;
    memcpy(temp, slash ? path : ".", dir_length);
    strcpy(temp + dir_length, "/.floor-XXXXXX");
    int out = mkstemp(temp);
    if (out < 0 || write(out, bytes, size) != (ssize_t)size || fsync(out) != 0 || close(out) != 0) return 1;
    if (rename(temp, path) != 0) return 1;
    temp[dir_length] = '\0';
    int dir = open(temp, O_RDONLY | O_DIRECTORY);
    if (dir < 0 || fsync(dir) != 0) return 1;
    return close(dir);
}

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    const int in_place = has_option(argc, argv, "--in-place");
    int fd = open(argv[1], in_place ? O_RDWR : O_RDONLY);
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
    int failed;
    if (in_place) {  /* the ten bytes in the middle, written back as they are */
        size_t at = size > 10 ? size / 2 : 0, length = size > 10 ? 10 : size;
        failed = pwrite(fd, bytes + at, length, (off_t)at) != (ssize_t)length || fsync(fd) != 0;
        failed = close(fd) != 0 || failed;
    } else {
        close(fd);
        failed = replace(argv[1], bytes, size);
    }
    free(bytes);
    return failed;
}
