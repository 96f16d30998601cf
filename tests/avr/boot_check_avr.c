/* The boot check where int is 16 bits: an ATmega1284P in simavr, on the sample firmware as the tool
 * stamps it. Prints what it measures, then "N passed, M failed". */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <stdio.h>

#include "crcstamp_check.h"
#include "sample_words.h"

static int put(char c, FILE *stream) {
    (void)stream;
    loop_until_bit_is_set(UCSR0A, UDRE0);
    UDR0 = (uint8_t)c;
    return 0;
}

static FILE uart = FDEV_SETUP_STREAM(put, NULL, _FDEV_SETUP_WRITE);
static unsigned passed, failed;

static void expect(int ok, const char *what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        fprintf(&uart, "failed: %s\n", what);
    }
}

static int streamed(uint32_t readable, uint32_t piece) {
    crcstamp_check check;
    if (crcstamp_check_begin(&check, flash, SAMPLE_IMAGE_ADDRESS, flash + SAMPLE_DECLARATION, readable)) {
        while (crcstamp_check_continue(&check, piece) > 0) continue;
    }
    return crcstamp_check_passed(&check);
}

int main(void) {
    static const uint16_t digits[] = {0x3132, 0x3334, 0x3536, 0x3738};
    static uint16_t example[62];
    static const uint16_t wild[] = {0x3456, 0xFF12};
    const uint16_t *declared = flash + SAMPLE_DECLARATION;
    const uint32_t slot = crcstamp_crc_address(declared) - SAMPLE_IMAGE_ADDRESS;
    uint16_t start, end;
    unsigned k;
    crcstamp_check check;

    UCSR0B = _BV(TXEN0);
    /* The test vectors: "12345678", and the covered words of the seven-record example. */
    expect(crcstamp_crc_words(0, digits, 4) == 0x20E779A2UL, "the words of 12345678");
    for (k = 0; k < 62; ++k) example[k] = 0xFFFF;
    example[0] = 0xA0A1;
    example[1] = 0xA2A3;
    example[2] = 0x0040;
    example[3] = 0x0008;
    example[14] = 0xB0B1;
    expect(crcstamp_crc_words(0, example, 62) == 0xC0D3AF29UL, "the seven-record example");

    expect(crcstamp_check_image(flash, SAMPLE_IMAGE_ADDRESS, declared), "the stamped sample, whole");
    expect(streamed(SAMPLE_WORDS, 1) && streamed(SAMPLE_WORDS, 7) && streamed(SAMPLE_WORDS, 1024),
           "the stamped sample, in pieces");
    flash[SAMPLE_WORDS / 2] ^= 0x0100u;
    expect(!crcstamp_check_image(flash, SAMPLE_IMAGE_ADDRESS, declared) && !streamed(SAMPLE_WORDS, 100),
           "one changed covered word");
    flash[SAMPLE_WORDS / 2] ^= 0x0100u;
    expect(!crcstamp_check_begin(&check, flash, SAMPLE_IMAGE_ADDRESS, wild, SAMPLE_WORDS) &&
               crcstamp_check_continue(&check, 1) == 0 && !crcstamp_check_passed(&check),
           "a wild declaration");
    expect(!crcstamp_check_begin(&check, flash, SAMPLE_IMAGE_ADDRESS, declared, slot + 1) &&
               crcstamp_check_begin(&check, flash, SAMPLE_IMAGE_ADDRESS, declared, slot + 2),
           "a slot at the end of the readable flash");

    /* Cycles a word, counted by the simulated timer at the CPU clock. */
    TCCR1B = _BV(CS10);
    start = TCNT1;
    crcstamp_crc_words(0, flash, 256);
    end = TCNT1;
    fprintf(&uart, "%u cycles a word, int of %u bits\n", (unsigned)((uint16_t)(end - start) / 256u),
            (unsigned)(8 * sizeof(int)));
    fprintf(&uart, "%u passed, %u failed\n", passed, failed);
    cli();
    sleep_cpu();
    return 0;
}
