// Call-trace ring: a shadow stack of 64 return addresses (32-bit slots) that
// every non-trivial function writes on entry and steps back from on return.
// It is never cleared; the fatal paths read it into a call tree.
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

// Records the window and slot 0 (main's return address) as the base.
void marquerBaseArbreAppel();
// Fills up to 64 entries, newest first; returns the count (0 before the base
// is set or when nothing above main is open).
size_t lireArbreAppel(T_EntreeArbre* entrees);
// Takes the snapshot unless one is held.
void prendreInstantaneArbreAppel();

#ifdef _WIN32
// "No address": no leading entry.
const T_EntreeArbre ADRESSE_AUCUNE = ~T_EntreeArbre(0);
// Prints the snapshot led by adresseTete and pauses; with a buffer, writes
// the entries there instead (CR LF after every fourth, no header, no pause).
void afficherArbreAppel(T_EntreeArbre adresseTete, char* tampon);
// The tree as the main thread sees it.
void afficherArbreAppelThreadPrincipal();
#else
// Prints the snapshot and pauses.
void afficherArbreAppel();
#endif

// Scoped recording: two stores on entry, one on exit, no call.
class GardeArbreAppel {
 public:
  __attribute__((always_inline)) explicit GardeArbreAppel(void* retour) {
    uint32_t valeur = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(retour));
    __builtin_memcpy(positionArbreAppel, &valeur, sizeof valeur);
    octetBas() += 4;
  }
  __attribute__((always_inline)) ~GardeArbreAppel() { octetBas() -= 4; }
  GardeArbreAppel(const GardeArbreAppel&) = delete;
  GardeArbreAppel& operator=(const GardeArbreAppel&) = delete;

 private:
  // Only the lowest byte moves (x86 is little-endian), so the position wraps
  // inside the window.
  __attribute__((always_inline)) static uint8_t& octetBas() {
    return *reinterpret_cast<uint8_t*>(&positionArbreAppel);
  }
};

// At the top of every recording function.
#define TRACER_APPEL() GardeArbreAppel gardeArbreAppel_(__builtin_return_address(0))
