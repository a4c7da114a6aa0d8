// Checked allocation: never returns null for a real request. A refused or
// oversized request is fatal ("Not enough memory to allocate ... bytes.",
// status 1); after a fatal signal any allocation ends the process with 255.
// The global new and delete forward here; delete frees nothing once the
// emergency flag is set.
#pragma once
#include <cstddef>
#include <cstdint>

const size_t TAILLE_MAX_ALLOCATION = 0x7FFFFFBF;

// A size of 0 is served as 1.
void* xmalloc(size_t taille);
void* xrealloc(void* bloc, size_t taille);
// Null for a null text.
char* xstrdup(const char* texte);
// The fatal refusal of a request of this many bytes (64-bit, so callers whose
// size would wrap size_t can report the true count).
[[noreturn]] void refuserAllocation(uint64_t octets);

struct T_BlocAligne {
  void* bloc;     // as allocated, to be freed
  void* aligne;   // inside bloc, at the alignment
};
// Alignment 0, not a power of two, or size + alignment above the limit is
// fatal ("function not implemented", with the call tree).
void allouerAligne(T_BlocAligne* resultat, size_t taille, size_t alignement);
// Frees the block unless the emergency flag is set; the record is left as is.
void libererAligne(T_BlocAligne* bloc);
