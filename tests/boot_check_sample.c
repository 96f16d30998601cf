/* The boot check on the sample firmware as the tool stamps it (sample_words.h), in a firmware project on
 * the host and on small cores in simulators (CRCSTAMP_RIG), where int is 16 bits: the stamp in the order the check
 * is built for passes, the other order's is refused. Prints "N passed, M failed". */
#include <stdio.h>

#include "crcstamp_check.h"
#include "sample_words.h"
#ifdef CRCSTAMP_RIG
#include "boot_check_rig.h"
#else
#define rig_setup() (void)0
#define rig_stop() (void)0
#endif

#ifdef CRCSTAMP_CHECK_LOW_BYTE_FIRST
static const uint16_t stamp[2] = {SAMPLE_LOW_FIRST_SLOT}, other_stamp[2] = {SAMPLE_HIGH_FIRST_SLOT};
#else
static const uint16_t stamp[2] = {SAMPLE_HIGH_FIRST_SLOT}, other_stamp[2] = {SAMPLE_LOW_FIRST_SLOT};
#endif

static unsigned passed, failed;
#define expect(ok, what) ((ok) ? ++passed : (printf("failed: %s\n", what), ++failed))

/* The verdict of the check in pieces of `piece` words, with `readable` words of flash. */
static int streamed(const uint16_t *declared, uint32_t readable, uint32_t piece) {
    crcstamp_check check;
    if (crcstamp_check_begin(&check, flash, SAMPLE_IMAGE_ADDRESS, declared, readable))
        while (crcstamp_check_continue(&check, piece) > 0) continue;
    return crcstamp_check_passed(&check);
}

int main(void) {
    static const uint16_t wild[] = {0x3456, 0xFF12};
    const uint16_t *declared = flash + SAMPLE_DECLARATION;
    const uint32_t slot = crcstamp_crc_address(declared) - SAMPLE_IMAGE_ADDRESS;

    flash[slot] = stamp[0], flash[slot + 1] = stamp[1];
    rig_setup();
#ifdef CRCSTAMP_RIG /* first, so that a trace of the run can stop here */
    const unsigned k = cycles_a_word(floor_crc_words, flash);
    expect(k > 0 && floor_crc_words(0, flash, 64) == crcstamp_crc_words(0, flash, 64), "the floor, timed");
    const unsigned cycles = cycles_a_word(crcstamp_crc_words, flash);
#ifdef CRCSTAMP_RIG_TRACED /* counted from the trace */
    (void)cycles;
#else
    printf("%u cycles a word against the floor's %u: %u.%02u times, int of %u bits\n", cycles, k, cycles / k,
           cycles % k * 100u / k, 8u * (unsigned)sizeof(int));
#endif
#endif
    expect(crcstamp_check_image(flash, SAMPLE_IMAGE_ADDRESS, declared, SAMPLE_WORDS), "the stamped sample, whole");
    expect(streamed(declared, SAMPLE_WORDS, 1) && streamed(declared, SAMPLE_WORDS, 1024), "the sample in pieces");
    flash[SAMPLE_WORDS / 2] ^= 0x0100u;
    expect(!crcstamp_check_image(flash, SAMPLE_IMAGE_ADDRESS, declared, SAMPLE_WORDS) && !streamed(declared, SAMPLE_WORDS, 7),
           "one changed covered word");
    flash[SAMPLE_WORDS / 2] ^= 0x0100u;
    expect(!streamed(wild, SAMPLE_WORDS, 1), "a wild declaration");
    expect(!crcstamp_check_image(flash, SAMPLE_IMAGE_ADDRESS, declared, slot + 1) && streamed(declared, slot + 2, 1), "the flash's end");
    flash[slot] = other_stamp[0], flash[slot + 1] = other_stamp[1];
    expect(!crcstamp_check_image(flash, SAMPLE_IMAGE_ADDRESS, declared, SAMPLE_WORDS), "the other order's stamp");
    printf("%u passed, %u failed\n", passed, failed);
    rig_stop();
    return failed != 0;
}
