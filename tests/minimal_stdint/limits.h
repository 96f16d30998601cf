/* Only what the boot check asks of <limits.h>, as a freestanding compiler for a 16-bit core gives it. */
#define CHAR_BIT 8
#define UINT_MAX 0xFFFFu
