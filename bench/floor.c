/* The bare floor of a crcstamp run: what any program that rewrites a file
   safely must do, in C with nothing extra. Reads FILE into malloc'ed memory,
   writes it to a temporary file beside it, flushes it, renames it over FILE
   and flushes the folder. With --prefault it maps the memory's pages in one
   call before the read, as crcstamp does. With no FILE it does nothing: an
   empty C program. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    int in = open(argv[1], O_RDONLY);
    struct stat info;
    if (in < 0 || fstat(in, &info) != 0) return 1;
    size_t size = (size_t)info.st_size;
    char* bytes = malloc(size ? size : 1);
    if (bytes == NULL) return 1;
    if (argc > 2 && strcmp(argv[2], "--prefault") == 0 && size > 0) {
        uintptr_t start = (uintptr_t)bytes & ~(uintptr_t)4095;
        madvise((void*)start, (uintptr_t)bytes + size - start, MADV_POPULATE_WRITE);
    }
    if (read(in, bytes, size) != (ssize_t)size) return 1;
    close(in);

    char temp[4096];
    const char* slash = strrchr(argv[1], '/');
    size_t dir_length = slash ? (size_t)(slash - argv[1]) : 1;
    memcpy(temp, slash ? argv[1] : ".", dir_length);
    strcpy(temp + dir_length, "/.floor-XXXXXX");
    int out = mkstemp(temp);
    if (out < 0 || write(out, bytes, size) != (ssize_t)size || fsync(out) != 0 || close(out) != 0) return 1;
    if (rename(temp, argv[1]) != 0) return 1;
    temp[dir_length] = '\0';
    int dir = open(temp, O_RDONLY | O_DIRECTORY);
    if (dir < 0 || fsync(dir) != 0) return 1;
    close(dir);
    free(bytes);
    return 0;
}
