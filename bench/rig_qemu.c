/* Cortex-M and RISC-V cores in QEMU: printf through semihosting (picolibc's), and the run's end with the return
 * from main. QEMU counts no cycles: trace_cost.sh reads what a word costs from its trace of every executed
 * instruction, between the entries of rig_mark that cycles_a_word makes. */
#include "boot_check_rig.h"

void rig_setup(void) {}

void rig_stop(void) {}

/* An entry that the trace finds by its address: never inlined, never merged. */
__attribute__((noinline)) void rig_mark(void) { __asm__ volatile(""); }

/* One run between two marks, by the same code whatever `count` is. */
__attribute__((noinline)) static uint32_t marked(crc_words_fn *crc_words, const uint16_t *words, uint32_t count) {
    uint32_t crc;
    rig_mark();
    crc = crc_words(0, words, count);
    rig_mark();
    return crc;
}

uint16_t cycles_a_word(crc_words_fn *crc_words, const uint16_t *words) {
    return marked(crc_words, words, 16) != marked(crc_words, words, 32); /* counted in the trace; nonzero */
}
