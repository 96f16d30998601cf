/* crcstamp_check: the boot-time check of the CRC that crcstamp stamps into a
 * firmware image, for the firmware to compile into itself. C99, freestanding,
 * 16- and 32-bit words only, so that it builds where int is 16 bits and where
 * char is 16 bits.
 *
 *   extern const uint16_t image_start[];      (the image's lowest word, 0x80000)
 *   extern const uint16_t crc_declaration[];  (the header's last two words)
 *   if (!crcstamp_check_image(image_start, 0x80000, crc_declaration, FLASH_WORDS))
 *       refuse_to_run();
 *
 * with the flash the firmware may read from image_start on (FLASH_WORDS);
 * or in pieces, to service a watchdog between them:
 *
 *   static crcstamp_check check;
 *   if (crcstamp_check_begin(&check, image_start, 0x80000, crc_declaration, FLASH_WORDS))
 *       while (crcstamp_check_continue(&check, 1024) > 0) kick_watchdog();
 *   if (!crcstamp_check_passed(&check)) refuse_to_run();
 *
 * The CRC is CRC-32 with polynomial 0x04C11DB7, initial value 0, not
 * reflected, no final XOR, over 16-bit words fed high byte first, or low byte
 * first where CRCSTAMP_CHECK_LOW_BYTE_FIRST is defined (the image stamped
 * with crcstamp --low-byte-first). Define
 * CRCSTAMP_CHECK_SMALL for a 64-byte table in place of a 1 KiB one, at two
 * table look-ups a byte in place of one. The loop works on bytes where int
 * is 16 bits and char 8, and on 32-bit values elsewhere; define
 * CRCSTAMP_CHECK_BYTE_FORM or CRCSTAMP_CHECK_WORD_FORM to choose.
 */
#ifndef CRCSTAMP_CHECK_H
#define CRCSTAMP_CHECK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The contracts in comments that begin with @ are ACSL, proven by Frama-C's
 * WP: what each function may read, and what a check's fields hold. */

/* The CRC register after feeding `count` words into `crc`; start with 0. */
/*@ requires \valid_read(words + (0 .. count - 1));
    assigns \nothing; */
uint32_t crcstamp_crc_words(uint32_t crc, const uint16_t *words, uint32_t count);

/* The word address that the two words at `declared` declare, low word first,
 * the top eight bits dropped. */
/*@ requires \valid_read(declared + (0 .. 1));
    assigns \nothing; */
uint32_t crcstamp_crc_address(const uint16_t *declared);

/* The CRC that the two words of a stamped slot hold, low word first. */
/*@ requires \valid_read(slot + (0 .. 1));
    assigns \nothing; */
uint32_t crcstamp_stamped_crc(const uint16_t *slot);

/* A check in progress; its fields are the check's own. */
typedef struct crcstamp_check {
    const uint16_t *next; /* the next covered word */
    uint32_t left;        /* covered words still to feed */
    const uint16_t *slot; /* the slot, or 0 when begin refused */
    uint32_t crc;
} crcstamp_check;

/* Starts a check of the image whose first word is `image`, at word address
 * `image_address`, with the CRC address declared at `declared`. The covered
 * words run from the image's first word (its third, past the entry word,
 * when `image_address` is 0x80000) to the word before the slot.
 * `readable_words` is how many words from `image` on the firmware may read.
 * Returns 0, having read nothing but the two declaration words, when the
 * declared slot lies below the covered words, when its second word is at or
 * past `readable_words`, or when the image would be longer than 150000
 * words. */
/*@ requires \valid(check) && \valid_read(declared + (0 .. 1));
    assigns *check;
    ensures \result == 0 ==> check->slot == \null && check->left == 0;
    ensures \result == 1 ==> \base_addr(check->next) == \base_addr(image) && check->next - image >= 0 &&
                             check->next - image + check->left + 2 <= readable_words &&
                             check->slot == check->next + check->left;
    ensures \result == 0 || \result == 1; */
int crcstamp_check_begin(crcstamp_check *check, const uint16_t *image, uint32_t image_address,
                         const uint16_t *declared, uint32_t readable_words);

/* Feeds at most `max_words` more covered words. Returns how many are still
 * to feed: 0 when all are fed, or when begin refused. */
/*@ requires \valid(check);
    requires \valid_read(check->next + (0 .. \min(check->left, max_words) - 1));
    assigns check->next, check->left, check->crc;
    ensures check->next == \old(check->next) + \min(\old(check->left), max_words);
    ensures \result == check->left == \old(check->left) - \min(\old(check->left), max_words); */
uint32_t crcstamp_check_continue(crcstamp_check *check, uint32_t max_words);

/* Nonzero when begin accepted, every covered word was fed, and the slot
 * holds their CRC. */
/*@ requires \valid_read(check);
    requires check->slot != \null ==> \valid_read(check->slot + (0 .. 1));
    assigns \nothing; */
int crcstamp_check_passed(const crcstamp_check *check);

/* The whole check in one call: begin (with `readable_words` as there),
 * continue to the end, passed. Nothing past `readable_words` is read. */
/*@ requires \valid_read(image + (0 .. readable_words - 1)) && \valid_read(declared + (0 .. 1));
    assigns \nothing; */
int crcstamp_check_image(const uint16_t *image, uint32_t image_address, const uint16_t *declared,
                         uint32_t readable_words);

#ifdef __cplusplus
}
#endif

#endif
