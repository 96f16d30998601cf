#include <limits.h>
#include <stddef.h>

#include "crcstamp_check.h"

#define ENTRY_ADDRESS 0x80000UL
#define MAX_IMAGE_WORDS 150000UL

/* Two forms of the loop over one table. The byte form keeps the register as
 * four bytes and the entries as their bytes, so that a core of 8 or 16 bits
 * never shifts a 32-bit value. The word form keeps both
 * as 32-bit values: a 32-bit core then loads an entry once, not four times,
 * and where char is wider than 8 bits the table keeps its size. A core gets
 * the byte form where int is 16 bits and char 8; CRCSTAMP_CHECK_BYTE_FORM or
 * CRCSTAMP_CHECK_WORD_FORM chooses one. */
#if !defined(CRCSTAMP_CHECK_BYTE_FORM) && !defined(CRCSTAMP_CHECK_WORD_FORM) && (UINT_MAX <= 0xFFFFu) && (CHAR_BIT == 8)
#define CRCSTAMP_CHECK_BYTE_FORM
#endif

/* A word's first and second byte for the CRC, in the low eight bits: the high
 * byte first, or with CRCSTAMP_CHECK_LOW_BYTE_FIRST the low byte first, as
 * the CRC units of some DSPs read their memory. */
#ifdef CRCSTAMP_CHECK_LOW_BYTE_FIRST
#define FIRST_BYTE(word) (word)
#define SECOND_BYTE(word) ((word) >> 8)
#else
#define FIRST_BYTE(word) ((word) >> 8)
#define SECOND_BYTE(word) (word)
#endif

/* Entry i: the register after the byte i, in its top eight bits, goes through
 * eight steps of the polynomial, most significant bit first. Entries 0 to 15
 * are also the nibbles 0 to 15 through four steps, since a byte below 16
 * starts with four steps that only shift: the small table is their first 16. */
#define FIRST_16_ENTRIES(E) \
    E(0x00000000UL) E(0x04C11DB7UL) E(0x09823B6EUL) E(0x0D4326D9UL) E(0x130476DCUL) \
    E(0x17C56B6BUL) E(0x1A864DB2UL) E(0x1E475005UL) E(0x2608EDB8UL) E(0x22C9F00FUL) \
    E(0x2F8AD6D6UL) E(0x2B4BCB61UL) E(0x350C9B64UL) E(0x31CD86D3UL) E(0x3C8EA00AUL) \
    E(0x384FBDBDUL)
#ifdef CRCSTAMP_CHECK_SMALL
#define TABLE_ENTRIES 16u
#define ENTRIES(E) FIRST_16_ENTRIES(E)
#else
#define TABLE_ENTRIES 256u
#define ENTRIES(E) FIRST_16_ENTRIES(E) \
    E(0x4C11DB70UL) E(0x48D0C6C7UL) E(0x4593E01EUL) E(0x4152FDA9UL) E(0x5F15ADACUL) \
    E(0x5BD4B01BUL) E(0x569796C2UL) E(0x52568B75UL) E(0x6A1936C8UL) E(0x6ED82B7FUL) \
    E(0x639B0DA6UL) E(0x675A1011UL) E(0x791D4014UL) E(0x7DDC5DA3UL) E(0x709F7B7AUL) \
    E(0x745E66CDUL) E(0x9823B6E0UL) E(0x9CE2AB57UL) E(0x91A18D8EUL) E(0x95609039UL) \
    E(0x8B27C03CUL) E(0x8FE6DD8BUL) E(0x82A5FB52UL) E(0x8664E6E5UL) E(0xBE2B5B58UL) \
    E(0xBAEA46EFUL) E(0xB7A96036UL) E(0xB3687D81UL) E(0xAD2F2D84UL) E(0xA9EE3033UL) \
    E(0xA4AD16EAUL) E(0xA06C0B5DUL) E(0xD4326D90UL) E(0xD0F37027UL) E(0xDDB056FEUL) \
    E(0xD9714B49UL) E(0xC7361B4CUL) E(0xC3F706FBUL) E(0xCEB42022UL) E(0xCA753D95UL) \
    E(0xF23A8028UL) E(0xF6FB9D9FUL) E(0xFBB8BB46UL) E(0xFF79A6F1UL) E(0xE13EF6F4UL) \
    E(0xE5FFEB43UL) E(0xE8BCCD9AUL) E(0xEC7DD02DUL) E(0x34867077UL) E(0x30476DC0UL) \
    E(0x3D044B19UL) E(0x39C556AEUL) E(0x278206ABUL) E(0x23431B1CUL) E(0x2E003DC5UL) \
    E(0x2AC12072UL) E(0x128E9DCFUL) E(0x164F8078UL) E(0x1B0CA6A1UL) E(0x1FCDBB16UL) \
    E(0x018AEB13UL) E(0x054BF6A4UL) E(0x0808D07DUL) E(0x0CC9CDCAUL) E(0x7897AB07UL) \
    E(0x7C56B6B0UL) E(0x71159069UL) E(0x75D48DDEUL) E(0x6B93DDDBUL) E(0x6F52C06CUL) \
    E(0x6211E6B5UL) E(0x66D0FB02UL) E(0x5E9F46BFUL) E(0x5A5E5B08UL) E(0x571D7DD1UL) \
    E(0x53DC6066UL) E(0x4D9B3063UL) E(0x495A2DD4UL) E(0x44190B0DUL) E(0x40D816BAUL) \
    E(0xACA5C697UL) E(0xA864DB20UL) E(0xA527FDF9UL) E(0xA1E6E04EUL) E(0xBFA1B04BUL) \
    E(0xBB60ADFCUL) E(0xB6238B25UL) E(0xB2E29692UL) E(0x8AAD2B2FUL) E(0x8E6C3698UL) \
    E(0x832F1041UL) E(0x87EE0DF6UL) E(0x99A95DF3UL) E(0x9D684044UL) E(0x902B669DUL) \
    E(0x94EA7B2AUL) E(0xE0B41DE7UL) E(0xE4750050UL) E(0xE9362689UL) E(0xEDF73B3EUL) \
    E(0xF3B06B3BUL) E(0xF771768CUL) E(0xFA325055UL) E(0xFEF34DE2UL) E(0xC6BCF05FUL) \
    E(0xC27DEDE8UL) E(0xCF3ECB31UL) E(0xCBFFD686UL) E(0xD5B88683UL) E(0xD1799B34UL) \
    E(0xDC3ABDEDUL) E(0xD8FBA05AUL) E(0x690CE0EEUL) E(0x6DCDFD59UL) E(0x608EDB80UL) \
    E(0x644FC637UL) E(0x7A089632UL) E(0x7EC98B85UL) E(0x738AAD5CUL) E(0x774BB0EBUL) \
    E(0x4F040D56UL) E(0x4BC510E1UL) E(0x46863638UL) E(0x42472B8FUL) E(0x5C007B8AUL) \
    E(0x58C1663DUL) E(0x558240E4UL) E(0x51435D53UL) E(0x251D3B9EUL) E(0x21DC2629UL) \
    E(0x2C9F00F0UL) E(0x285E1D47UL) E(0x36194D42UL) E(0x32D850F5UL) E(0x3F9B762CUL) \
    E(0x3B5A6B9BUL) E(0x0315D626UL) E(0x07D4CB91UL) E(0x0A97ED48UL) E(0x0E56F0FFUL) \
    E(0x1011A0FAUL) E(0x14D0BD4DUL) E(0x19939B94UL) E(0x1D528623UL) E(0xF12F560EUL) \
    E(0xF5EE4BB9UL) E(0xF8AD6D60UL) E(0xFC6C70D7UL) E(0xE22B20D2UL) E(0xE6EA3D65UL) \
    E(0xEBA91BBCUL) E(0xEF68060BUL) E(0xD727BBB6UL) E(0xD3E6A601UL) E(0xDEA580D8UL) \
    E(0xDA649D6FUL) E(0xC423CD6AUL) E(0xC0E2D0DDUL) E(0xCDA1F604UL) E(0xC960EBB3UL) \
    E(0xBD3E8D7EUL) E(0xB9FF90C9UL) E(0xB4BCB610UL) E(0xB07DABA7UL) E(0xAE3AFBA2UL) \
    E(0xAAFBE615UL) E(0xA7B8C0CCUL) E(0xA379DD7BUL) E(0x9B3660C6UL) E(0x9FF77D71UL) \
    E(0x92B45BA8UL) E(0x9675461FUL) E(0x8832161AUL) E(0x8CF30BADUL) E(0x81B02D74UL) \
    E(0x857130C3UL) E(0x5D8A9099UL) E(0x594B8D2EUL) E(0x5408ABF7UL) E(0x50C9B640UL) \
    E(0x4E8EE645UL) E(0x4A4FFBF2UL) E(0x470CDD2BUL) E(0x43CDC09CUL) E(0x7B827D21UL) \
    E(0x7F436096UL) E(0x7200464FUL) E(0x76C15BF8UL) E(0x68860BFDUL) E(0x6C47164AUL) \
    E(0x61043093UL) E(0x65C52D24UL) E(0x119B4BE9UL) E(0x155A565EUL) E(0x18197087UL) \
    E(0x1CD86D30UL) E(0x029F3D35UL) E(0x065E2082UL) E(0x0B1D065BUL) E(0x0FDC1BECUL) \
    E(0x3793A651UL) E(0x3352BBE6UL) E(0x3E119D3FUL) E(0x3AD08088UL) E(0x2497D08DUL) \
    E(0x2056CD3AUL) E(0x2D15EBE3UL) E(0x29D4F654UL) E(0xC5A92679UL) E(0xC1683BCEUL) \
    E(0xCC2B1D17UL) E(0xC8EA00A0UL) E(0xD6AD50A5UL) E(0xD26C4D12UL) E(0xDF2F6BCBUL) \
    E(0xDBEE767CUL) E(0xE3A1CBC1UL) E(0xE760D676UL) E(0xEA23F0AFUL) E(0xEEE2ED18UL) \
    E(0xF0A5BD1DUL) E(0xF464A0AAUL) E(0xF9278673UL) E(0xFDE69BC4UL) E(0x89B8FD09UL) \
    E(0x8D79E0BEUL) E(0x803AC667UL) E(0x84FBDBD0UL) E(0x9ABC8BD5UL) E(0x9E7D9662UL) \
    E(0x933EB0BBUL) E(0x97FFAD0CUL) E(0xAFB010B1UL) E(0xAB710D06UL) E(0xA6322BDFUL) \
    E(0xA2F33668UL) E(0xBCB4666DUL) E(0xB8757BDAUL) E(0xB5365D03UL) E(0xB1F740B4UL)
#endif

#ifdef CRCSTAMP_CHECK_BYTE_FORM
/* The table as four arrays in one, the top bytes of the entries first, so
 * that one address reaches the four bytes of an entry. */
#define LOW_8(value) ((unsigned char)((value) & 0xFFu))
#define BYTE_3(entry) LOW_8((entry) >> 24),
#define BYTE_2(entry) LOW_8((entry) >> 16),
#define BYTE_1(entry) LOW_8((entry) >> 8),
#define BYTE_0(entry) LOW_8(entry),

/* The register is kept as four bytes, r3 the top one. Each step moves it left
 * by the bits of a table index, and the entry of the bits moved out, XORed
 * with the word's next ones, comes in. Bytes are masked where a shift could
 * carry past eight bits, for a core where char is wider. */
#ifdef CRCSTAMP_CHECK_SMALL
typedef unsigned char table_index;
#define STEP(bits)                                                                              \
    do {                                                                                        \
        at = ((r3 >> 4) ^ (bits)) % TABLE_ENTRIES;                                              \
        r3 = LOW_8(((r3 * 16u) | (r2 >> 4)) ^ crc_table[at]);                                   \
        r2 = LOW_8(((r2 * 16u) | (r1 >> 4)) ^ crc_table[at + TABLE_ENTRIES]);                   \
        r1 = LOW_8(((r1 * 16u) | (r0 >> 4)) ^ crc_table[at + (2u * TABLE_ENTRIES)]);            \
        r0 = LOW_8((r0 * 16u) ^ crc_table[at + (3u * TABLE_ENTRIES)]);                          \
    } while (0)
#else
typedef unsigned int table_index;
#define STEP(bits)                                      \
    do {                                                \
        at = (r3 ^ (bits)) % TABLE_ENTRIES;             \
        r3 = r2 ^ crc_table[at];                        \
        r2 = r1 ^ crc_table[at + TABLE_ENTRIES];        \
        r1 = r0 ^ crc_table[at + (2u * TABLE_ENTRIES)]; \
        r0 = crc_table[at + (3u * TABLE_ENTRIES)];      \
    } while (0)
#endif

uint32_t crcstamp_crc_words(uint32_t crc, const uint16_t *words, uint32_t count) {
    static const unsigned char crc_table[4u * TABLE_ENTRIES] = {ENTRIES(BYTE_3) ENTRIES(BYTE_2) ENTRIES(BYTE_1)
                                                                    ENTRIES(BYTE_0)};
    unsigned char r3 = LOW_8(crc >> 24);
    unsigned char r2 = LOW_8(crc >> 16);
    unsigned char r1 = LOW_8(crc >> 8);
    unsigned char r0 = LOW_8(crc);
    table_index at;
    const uint16_t *next = words;
    uint32_t left;
    /*@ loop invariant 0 <= left <= count && next == words + (count - left);
        loop assigns left, next, r3, r2, r1, r0, at;
        loop variant left; */
    for (left = count; left > 0u; --left) {
        const unsigned char first = LOW_8(FIRST_BYTE(*next));
        const unsigned char second = LOW_8(SECOND_BYTE(*next));
#ifdef CRCSTAMP_CHECK_SMALL
        STEP(first >> 4);
        STEP(first);
        STEP(second >> 4);
        STEP(second);
#else
        STEP(first);
        STEP(second);
#endif
        ++next;
    }
    return ((uint32_t)r3 << 24) | ((uint32_t)r2 << 16) | ((uint32_t)r1 << 8) | (uint32_t)r0;
}
#else
/* The same steps, on the register as one value. */
#define WORD(entry) entry,
#ifdef CRCSTAMP_CHECK_SMALL
#define STEP(bits) (crc_register = (crc_register << 4) ^ crc_table[((crc_register >> 28) ^ (bits)) & 0xFu])
#else
#define STEP(bits) (crc_register = (crc_register << 8) ^ crc_table[((crc_register >> 24) ^ (bits)) & 0xFFu])
#endif

uint32_t crcstamp_crc_words(uint32_t crc, const uint16_t *words, uint32_t count) {
    static const uint32_t crc_table[TABLE_ENTRIES] = {ENTRIES(WORD)};
    uint32_t crc_register = crc;
    const uint16_t *next = words;
    uint32_t left;
    /*@ loop invariant 0 <= left <= count && next == words + (count - left);
        loop assigns left, next, crc_register;
        loop variant left; */
    for (left = count; left > 0u; --left) {
        const uint32_t word = *next;
#ifdef CRCSTAMP_CHECK_SMALL
        STEP(FIRST_BYTE(word) >> 4);
        STEP(FIRST_BYTE(word));
        STEP(SECOND_BYTE(word) >> 4);
        STEP(SECOND_BYTE(word));
#else
        STEP(FIRST_BYTE(word));
        STEP(SECOND_BYTE(word));
#endif
        ++next;
    }
    return crc_register;
}
#endif

uint32_t crcstamp_crc_address(const uint16_t *declared) {
    return (((uint32_t)declared[1] << 16) | (uint32_t)declared[0]) & 0xFFFFFFUL;
}

uint32_t crcstamp_stamped_crc(const uint16_t *slot) { return ((uint32_t)slot[1] << 16) | (uint32_t)slot[0]; }

int crcstamp_check_begin(crcstamp_check *check, const uint16_t *image, uint32_t image_address,
                         const uint16_t *declared, uint32_t readable_words) {
    const uint32_t crc_address = crcstamp_crc_address(declared);
    uint32_t first = 0u;
    int accepted = 0;
    if (image_address == ENTRY_ADDRESS) {
        first = 2u; /* past the entry word */
    }
    check->next = image;
    check->left = 0u;
    check->slot = NULL;
    check->crc = 0u;
    /* In words from the image's first; a wild header stops here. */
    if ((crc_address >= image_address) && ((crc_address - image_address) >= first)) {
        const uint32_t slot = crc_address - image_address;
        if ((slot <= (MAX_IMAGE_WORDS - 2u)) && ((slot + 2u) <= readable_words)) {
            check->next = &image[first];
            check->left = slot - first;
            check->slot = &image[slot];
            accepted = 1;
        }
    }
    return accepted;
}

uint32_t crcstamp_check_continue(crcstamp_check *check, uint32_t max_words) {
    const uint32_t count = (check->left < max_words) ? check->left : max_words;
    check->crc = crcstamp_crc_words(check->crc, check->next, count);
    check->next = &check->next[count];
    check->left -= count;
    return check->left;
}

int crcstamp_check_passed(const crcstamp_check *check) {
    return ((check->slot != NULL) && (check->left == 0u) && (check->crc == crcstamp_stamped_crc(check->slot))) ? 1 : 0;
}

int crcstamp_check_image(const uint16_t *image, uint32_t image_address, const uint16_t *declared,
                         uint32_t readable_words) {
    crcstamp_check check;
    if (crcstamp_check_begin(&check, image, image_address, declared, readable_words) != 0) {
        (void)crcstamp_check_continue(&check, check.left);
    }
    return crcstamp_check_passed(&check);
}
