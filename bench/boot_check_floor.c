/* The floor that the boot check's speed is held against: the plainest fast table loop a firmware team would write
 * for the same CRC with the same table size on the same core. On a 32-bit core, one table of 32-bit entries, 256
 * of them a byte at a time or 16 a nibble at a time. On a core of 8 or 16 bits, four tables of bytes and the
 * register kept as four bytes: 256-byte tables, or 16-entry ones a nibble at a time with fixed shifts, in one array
 * so that one address reaches the four bytes of an entry. Its tables
 * are constants, as the boot check's are, made at build time by floor_tables.cmake. It takes each word's bytes in
 * the order the check is built for: FIRST and SECOND are the shifts that bring them down. */
#include <limits.h>

#include "boot_check_rig.h"
#include "floor_tables.h"

#ifdef CRCSTAMP_CHECK_LOW_BYTE_FIRST
#define FIRST 0
#define SECOND 8
#else
#define FIRST 8
#define SECOND 0
#endif

#if UINT_MAX > 0xFFFFu
uint32_t floor_crc_words(uint32_t crc, const uint16_t *words, uint32_t count) {
    for (; count > 0; --count) {
        const uint32_t w = *words++;
#if ENTRY_BITS == 4
        crc = crc << 4 ^ t[(crc >> 28 ^ w >> (FIRST + 4)) & 15];
        crc = crc << 4 ^ t[(crc >> 28 ^ w >> FIRST) & 15];
        crc = crc << 4 ^ t[(crc >> 28 ^ w >> (SECOND + 4)) & 15];
        crc = crc << 4 ^ t[(crc >> 28 ^ w >> SECOND) & 15];
#else
        crc = crc << 8 ^ t[(crc >> 24 ^ w >> FIRST) & 0xFF];
        crc = crc << 8 ^ t[(crc >> 24 ^ w >> SECOND) & 0xFF];
#endif
    }
    return crc;
}
#else

#if ENTRY_BITS == 4
#define STEP(in)                                               \
    do {                                                       \
        const uint8_t i_ = (uint8_t)(in);                      \
        r3 = (uint8_t)((r3 << 4 | r2 >> 4) ^ tb[0][i_]);       \
        r2 = (uint8_t)((r2 << 4 | r1 >> 4) ^ tb[1][i_]);       \
        r1 = (uint8_t)((r1 << 4 | r0 >> 4) ^ tb[2][i_]);       \
        r0 = (uint8_t)((r0 << 4) ^ tb[3][i_]);                 \
    } while (0)
#else
#define STEP(in)                                               \
    do {                                                       \
        const uint8_t i_ = (uint8_t)(in);                      \
        r3 = r2 ^ tb[0][i_], r2 = r1 ^ tb[1][i_], r1 = r0 ^ tb[2][i_], r0 = tb[3][i_]; \
    } while (0)
#endif

uint32_t floor_crc_words(uint32_t crc, const uint16_t *words, uint32_t count) {
    uint8_t r3 = (uint8_t)(crc >> 24), r2 = (uint8_t)(crc >> 16), r1 = (uint8_t)(crc >> 8), r0 = (uint8_t)crc;
    for (; count > 0; --count) {
        const uint16_t w = *words++;
#if ENTRY_BITS == 4
        STEP((r3 >> 4 ^ w >> (FIRST + 4)) & 15);
        STEP((r3 >> 4 ^ w >> FIRST) & 15);
        STEP((r3 >> 4 ^ w >> (SECOND + 4)) & 15);
        STEP((r3 >> 4 ^ w >> SECOND) & 15);
#else
        STEP(r3 ^ w >> FIRST);
        STEP(r3 ^ w >> SECOND);
#endif
    }
    return (uint32_t)r3 << 24 | (uint32_t)r2 << 16 | (uint32_t)r1 << 8 | r0;
}
#endif
