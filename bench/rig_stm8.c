/* An STM8S208 in ucsim: printf through ucsim's simulator interface, which sstm8 is given at SIMIF with
 * -I if=rom[0x7fff], and TIM1, which counts at the CPU clock from reset. */
#include <stdio.h>

#include "boot_check_rig.h"

#define REGISTER(address) (*(volatile uint8_t *)(address))
#define SIMIF REGISTER(0x7FFFu)
#define TIM1_CR1 REGISTER(0x5250u)
#define TIM1_SR1 REGISTER(0x5255u)
#define TIM1_EGR REGISTER(0x5257u)
#define TIM1_CNTRH REGISTER(0x525Eu)
#define TIM1_CNTRL REGISTER(0x525Fu)

int putchar(int c) {
    SIMIF = 'p';
    SIMIF = (uint8_t)c;
    return c;
}

void rig_setup(void) {}

void rig_stop(void) { SIMIF = 's'; }

uint16_t cycles_a_word(crc_words_fn *crc_words, const uint16_t *words) {
    uint16_t count;
    TIM1_EGR = 1, TIM1_SR1 = 0, TIM1_CR1 = 1; /* an update event clears the count; ucsim ignores a write to it */
    crc_words(0, words, 16);
    TIM1_CR1 = 0;
    count = (uint16_t)(TIM1_CNTRH << 8); /* the high byte first: reading it latches the low one */
    count |= TIM1_CNTRL;
    return TIM1_SR1 & 1u ? 0 : count / 16u;
}
