/* All that the boot check may use, as the 16-bit target has them: no 8-bit type exists where char is 16 bits. */
typedef unsigned short uint16_t;
typedef unsigned long uint32_t;
