/* What the boot check's test program needs of the small core it runs on (rig_avr.c, rig_stm8.c), and the
 * floor that its speed is held against (boot_check_floor.c). */
#include <stdint.h>

typedef uint32_t crc_words_fn(uint32_t crc, const uint16_t *words, uint32_t count);

/* The console that printf writes to. */
void rig_setup(void);
/* Ends the run, and with it the simulation. */
void rig_stop(void);
/* Cycles a word of `crc_words` over 16 of `words`, from a cleared 16-bit timer at the CPU clock, or 0 when the
 * count wrapped. */
uint16_t cycles_a_word(crc_words_fn *crc_words, const uint16_t *words);

uint32_t floor_crc_words(uint32_t crc, const uint16_t *words, uint32_t count);
