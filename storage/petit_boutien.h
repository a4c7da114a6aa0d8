// Little-endian integers of on-disk and in-file records: byte arrays, so a
// record made of them has no padding and no alignment on any target.
#pragma once
#include <cstdint>
#include <cstring>

// On a little-endian host the bytes are the value: one copy instead of a
// byte loop, which the compiler keeps for 64 bits (the lists read several
// fields of every partition entry).
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define LENS_HOTE_PETIT_BOUTIEN 1
#else
#define LENS_HOTE_PETIT_BOUTIEN 0
#endif

struct T_LE16 {
  uint8_t octets[2];
  uint16_t lire() const { return static_cast<uint16_t>(octets[0] | (octets[1] << 8)); }
  void ecrire(uint16_t v) {
    octets[0] = static_cast<uint8_t>(v);
    octets[1] = static_cast<uint8_t>(v >> 8);
  }
};

struct T_LE32 {
  uint8_t octets[4];
  uint32_t lire() const {
    return static_cast<uint32_t>(octets[0]) | (static_cast<uint32_t>(octets[1]) << 8) |
           (static_cast<uint32_t>(octets[2]) << 16) | (static_cast<uint32_t>(octets[3]) << 24);
  }
  void ecrire(uint32_t v) {
    for (int i = 0; i < 4; ++i) octets[i] = static_cast<uint8_t>(v >> (8 * i));
  }
};

struct T_LE64 {
  uint8_t octets[8];
  uint64_t lire() const {
    uint64_t v = 0;
#if LENS_HOTE_PETIT_BOUTIEN
    memcpy(&v, octets, sizeof v);
#else
    for (int i = 7; i >= 0; --i) v = (v << 8) | octets[i];
#endif
    return v;
  }
  void ecrire(uint64_t v) {
#if LENS_HOTE_PETIT_BOUTIEN
    memcpy(octets, &v, sizeof v);
#else
    for (int i = 0; i < 8; ++i) octets[i] = static_cast<uint8_t>(v >> (8 * i));
#endif
  }
};

static_assert(sizeof(T_LE16) == 2 && alignof(T_LE16) == 1, "T_LE16 layout");
static_assert(sizeof(T_LE32) == 4 && alignof(T_LE32) == 1, "T_LE32 layout");
static_assert(sizeof(T_LE64) == 8 && alignof(T_LE64) == 1, "T_LE64 layout");
