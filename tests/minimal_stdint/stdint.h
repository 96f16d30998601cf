/* All that the boot check may use: no 8-bit type exists on a target whose char is 16 bits. */
typedef unsigned short uint16_t;
typedef unsigned int uint32_t;
