/* alternate RUNS [-r SOURCE:COPY]... COMMAND_A... -- COMMAND_B...: runs the
   two commands in turn, RUNS times each, with standard input and output on
   /dev/null, and prints the median wall time of each in microseconds, their
   ratio, and each command's largest peak resident memory in KiB. Alternating
   in one run puts both under the same disk and machine load. Before every
   run, untimed, each COPY is made SOURCE again and flushed, so that a command
   that changes its file meets the same file each time. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_us(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static char* restores[16];
static int restore_count;

/* COPY as SOURCE, on disk, so that no run pays for flushing it. */
static void restore(const char* pair) {
    char source[4096];
    const char* colon = strchr(pair, ':');
    snprintf(source, sizeof source, "%.*s", (int)(colon - pair), pair);
    const int in = open(source, O_RDONLY), out = open(colon + 1, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char buffer[65536];
    ssize_t got;
    while (in >= 0 && out >= 0 && (got = read(in, buffer, sizeof buffer)) > 0) {
        if (write(out, buffer, (size_t)got) != got) break;
    }
    if (in < 0 || out < 0 || fsync(out) != 0) {
        fprintf(stderr, "cannot restore %s\n", pair);
        exit(2);
    }
    close(in);
    close(out);
}

static double run(char** argv, long* peak_kib) {
    for (int i = 0; i < restore_count; ++i) restore(restores[i]);
    const double start = now_us();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        execv(argv[0], argv);
        _exit(127);
    }
    int status;
    struct rusage usage;
    wait4(child, &status, 0, &usage);
    const double elapsed = now_us() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        fprintf(stderr, "%s did not run\n", argv[0]);
        exit(2);
    }
    if (usage.ru_maxrss > *peak_kib) *peak_kib = usage.ru_maxrss;
    return elapsed;
}

static int by_value(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double median(double* values, int count) {
    qsort(values, (size_t)count, sizeof *values, by_value);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

int main(int argc, char** argv) {
    int first = 2;
    while (first + 1 < argc && strcmp(argv[first], "-r") == 0 && restore_count < 16 && strchr(argv[first + 1], ':')) {
        restores[restore_count++] = argv[first + 1];
        first += 2;
    }
    int split = first;
    while (split < argc && strcmp(argv[split], "--") != 0) ++split;
    const int runs = argc > 1 ? atoi(argv[1]) : 0;
    if (runs <= 0 || split == first || split + 1 >= argc) {
        fputs("usage: alternate RUNS [-r SOURCE:COPY]... COMMAND_A... -- COMMAND_B...\n", stderr);
        return 2;
    }
    argv[split] = NULL;
    double* a = malloc(sizeof(double) * (size_t)runs);
    double* b = malloc(sizeof(double) * (size_t)runs);
    long peak_a = 0, peak_b = 0;
    for (int i = 0; i < runs; ++i) {
        a[i] = run(argv + first, &peak_a);
        b[i] = run(argv + split + 1, &peak_b);
    }
    const double median_a = median(a, runs), median_b = median(b, runs);
    printf("%.0f %.0f %.3f %ld %ld\n", median_a, median_b, median_a / median_b, peak_a, peak_b);
    return 0;
}
