/* The ATmega1284P in simavr: printf to USART0, Timer1 counting CPU cycles, and a sleep with interrupts off,
 * which ends simavr's run. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <stdio.h>

#include "boot_check_rig.h"

static int put(char c, FILE *stream) {
    loop_until_bit_is_set(UCSR0A, UDRE0);
    UDR0 = (uint8_t)c;
    return stream == NULL;
}

static FILE uart = FDEV_SETUP_STREAM(put, NULL, _FDEV_SETUP_WRITE);

void rig_setup(void) {
    stdout = &uart;
    UCSR0B = _BV(TXEN0);
}

void rig_stop(void) {
    cli();
    sleep_cpu();
}

uint16_t cycles_a_word(crc_words_fn *crc_words, const uint16_t *words) {
    TCCR1B = _BV(CS10), TCNT1 = 0, TIFR1 = _BV(TOV1);
    crc_words(0, words, 16);
    return TIFR1 & _BV(TOV1) ? 0 : TCNT1 / 16u;
}
