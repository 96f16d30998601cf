/* The boot check's floor (boot_check_floor.c): its tables made once, then the CRC as crcstamp_crc_words gives it. */
#include <stdint.h>
void floor_setup(void);
uint32_t floor_crc_words(uint32_t crc, const uint16_t *words, uint32_t count);
/* Cycles a word of `crc_words` over 16 of `words` (AVR: Timer1 at the CPU clock, from 0), or 0 when the count wrapped. */
uint16_t cycles_a_word(uint32_t (*crc_words)(uint32_t, const uint16_t *, uint32_t), const uint16_t *words);
