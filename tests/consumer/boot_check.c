#include "crcstamp_check.h"
#include "sample_words.h"

int main(void) { return crcstamp_check_image(flash, SAMPLE_IMAGE_ADDRESS, flash + SAMPLE_DECLARATION) ? 0 : 1; }
