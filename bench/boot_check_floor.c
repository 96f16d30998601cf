/* The floor that the boot check's speed is held against: the plainest fast table loop a firmware team would write
 * for the same CRC with the same table size. With 1 KiB of table, four 256-byte tables and the register kept as four
 * bytes; with 64 bytes, four 16-entry tables, a nibble at a time, with fixed shifts. For the AVR stage: uint8_t, Timer1. */
#include <avr/io.h>
#include <stdint.h>

#include "boot_check_floor.h"

uint16_t cycles_a_word(uint32_t (*crc_words)(uint32_t, const uint16_t *, uint32_t), const uint16_t *words) {
    TCCR1B = _BV(CS10), TCNT1 = 0, TIFR1 = _BV(TOV1);
    crc_words(0, words, 16);
    return TIFR1 & _BV(TOV1) ? 0 : TCNT1 / 16u;
}

#ifdef CRCSTAMP_CHECK_SMALL
#define ENTRY_BITS 4
#else
#define ENTRY_BITS 8
#endif

static uint8_t t3[1 << ENTRY_BITS], t2[1 << ENTRY_BITS], t1[1 << ENTRY_BITS], t0[1 << ENTRY_BITS];

void floor_setup(void) {
    unsigned i, bit;
    for (i = 0; i < 1u << ENTRY_BITS; ++i) {
        uint32_t r = (uint32_t)i << (32 - ENTRY_BITS);
        for (bit = 0; bit < ENTRY_BITS; ++bit) r = r & 0x80000000UL ? r << 1 ^ 0x04C11DB7UL : r << 1;
        t3[i] = (uint8_t)(r >> 24), t2[i] = (uint8_t)(r >> 16), t1[i] = (uint8_t)(r >> 8), t0[i] = (uint8_t)r;
    }
}

#define STEP(in)                                           \
    do {                                                   \
        const uint8_t i_ = (uint8_t)(in);                  \
        r3 = (uint8_t)((r3 << ENTRY_BITS | r2 >> (8 - ENTRY_BITS)) ^ t3[i_]); \
        r2 = (uint8_t)((r2 << ENTRY_BITS | r1 >> (8 - ENTRY_BITS)) ^ t2[i_]); \
        r1 = (uint8_t)((r1 << ENTRY_BITS | r0 >> (8 - ENTRY_BITS)) ^ t1[i_]); \
        r0 = (uint8_t)((r0 << ENTRY_BITS) ^ t0[i_]);       \
    } while (0)

uint32_t floor_crc_words(uint32_t crc, const uint16_t *words, uint32_t count) {
    uint8_t r3 = (uint8_t)(crc >> 24), r2 = (uint8_t)(crc >> 16), r1 = (uint8_t)(crc >> 8), r0 = (uint8_t)crc;
    for (; count > 0; --count) {
        const uint16_t w = *words++;
#ifdef CRCSTAMP_CHECK_SMALL
        STEP((r3 >> 4 ^ w >> 12) & 15);
        STEP((r3 >> 4 ^ w >> 8) & 15);
        STEP((r3 >> 4 ^ w >> 4) & 15);
        STEP((r3 >> 4 ^ w) & 15);
#else
        STEP(r3 ^ w >> 8);
        STEP(r3 ^ w);
#endif
    }
    return (uint32_t)r3 << 24 | (uint32_t)r2 << 16 | (uint32_t)r1 << 8 | r0;
}
