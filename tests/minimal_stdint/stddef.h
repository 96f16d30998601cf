/* NULL, as every freestanding compiler gives it. */
#define NULL ((void *)0)
