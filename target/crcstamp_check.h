/* crcstamp_check: the boot-time check of the CRC that crcstamp stamps into a
 * firmware image, for the firmware to compile into itself. C99, freestanding,
 * 16- and 32-bit words only, so that it builds where char is 16 bits.
 *
 *   extern const uint16_t image_start[];      (word 0x80000: the entry word)
 *   extern const uint16_t crc_declaration[];  (the header's last two words)
 *   if (!crcstamp_check_image(image_start, 0x80000, crc_declaration))
 *       refuse_to_run();
 *
 * Or in pieces, to service a watchdog between them:
 *
 *   uint32_t crc = 0;
 *   crc = crcstamp_crc_words(crc, first_half, n1);  kick_watchdog();
 *   crc = crcstamp_crc_words(crc, second_half, n2);
 *   ok = crc == crcstamp_stamped_crc(slot);
 *
 * The CRC is CRC-32 with polynomial 0x04C11DB7, initial value 0, not
 * reflected, no final XOR, over 16-bit words fed high byte first. Define
 * CRCSTAMP_CHECK_SMALL for a 64-byte table in place of a 1 KiB one, at two
 * table look-ups a byte in place of one.
 */
#ifndef CRCSTAMP_CHECK_H
#define CRCSTAMP_CHECK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The CRC register after feeding `count` words into `crc`; start with 0. */
uint32_t crcstamp_crc_words(uint32_t crc, const uint16_t *words, uint32_t count);

/* The word address that the two words at `declared` declare, low word first,
 * the top eight bits dropped. */
uint32_t crcstamp_crc_address(const uint16_t *declared);

/* The CRC that the two words of a stamped slot hold, low word first. */
uint32_t crcstamp_stamped_crc(const uint16_t *slot);

/* Nonzero when the slot at the declared CRC address holds the CRC of the
 * covered words: from the image's first word (its third, past the entry
 * word, when `image_address` is 0x80000) to the word before the slot.
 * `image` is the image's first word, at word address `image_address`. A
 * declared address below the covered words, or one that would make the image
 * longer than 150000 words, fails before any other word is read. */
int crcstamp_check_image(const uint16_t *image, uint32_t image_address, const uint16_t *declared);

#ifdef __cplusplus
}
#endif

#endif
