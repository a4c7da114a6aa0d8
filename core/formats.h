// Per-build format pieces: the length modifier of 64-bit values and the
// code-address format. Every text that prints a 64-bit value or an address
// builds on these; no other file picks a width.
#pragma once

#if defined(_WIN64)
#define FMT_L64 "ll"
#define FMT_ADRESSE "%0#18llx"
#elif defined(__x86_64__)
#define FMT_L64 "l"
#define FMT_ADRESSE "%0#18lx"
#else
#define FMT_L64 "ll"
#define FMT_ADRESSE "%0#10x"
#endif

// "%lu" or "%llu": pass a uint64_t.
#define FMT_U64 "%" FMT_L64 "u"

// Addresses are passed as uintptr_t, which matches FMT_ADRESSE on every build.
