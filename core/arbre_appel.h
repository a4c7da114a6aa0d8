// Call-trace ring: a shadow stack of 64 return addresses (32-bit slots) that
// every non-trivial function writes on entry and steps back from on return.
#pragma once
#include <cstddef>
#include <cstdint>

// Current write position inside the 256-byte window (256-aligned).
extern uint8_t* positionArbreAppel;

// Entries of a call tree: code addresses, newest first.
#if defined(__x86_64__) || defined(_WIN64)
typedef uint64_t T_EntreeArbre;
#else
typedef uint32_t T_EntreeArbre;
#endif
const size_t TAILLE_ARBRE_APPEL = 64;

struct T_InstantaneArbre {
  uint32_t nombre;  // 0: no snapshot held
  T_EntreeArbre entrees[TAILLE_ARBRE_APPEL];
};
extern T_InstantaneArbre instantaneArbreAppel;
extern bool arbreAppelAffiche;

void marquerBaseArbreAppel();
// Fills up to 64 entries; returns the count.
size_t lireArbreAppel(T_EntreeArbre* entrees);
// Takes the snapshot unless one is held.
void prendreInstantaneArbreAppel();
// Prints the snapshot and pauses.
void afficherArbreAppel();

// Scoped recording: two stores on entry, one on exit, no call.
class GardeArbreAppel {
 public:
  __attribute__((always_inline)) explicit GardeArbreAppel(void* retour) {
    uint8_t* p = positionArbreAppel;
    uint32_t valeur = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(retour));
    __builtin_memcpy(p, &valeur, sizeof valeur);
    positionArbreAppel = decaler(p, 4);
  }
  __attribute__((always_inline)) ~GardeArbreAppel() {
    positionArbreAppel = decaler(positionArbreAppel, -4);
  }
  GardeArbreAppel(const GardeArbreAppel&) = delete;
  GardeArbreAppel& operator=(const GardeArbreAppel&) = delete;

 private:
  // Moves the lowest byte only, so the position wraps inside the window.
  __attribute__((always_inline)) static uint8_t* decaler(uint8_t* p, int pas) {
    uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<uint8_t*>((a & ~uintptr_t(0xFF)) | uint8_t(a + pas));
  }
};

// At the top of every recording function.
#define TRACER_APPEL() GardeArbreAppel gardeArbreAppel_(__builtin_return_address(0))
