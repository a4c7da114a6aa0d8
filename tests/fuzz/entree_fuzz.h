// Shared pieces of the fuzz targets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/format.h"
#include "core/memoire.h"

// The input as a text of exactly taille + 1 heap bytes, so ASan sees a read
// past its NUL.
inline char* texteEntree(const uint8_t* donnees, size_t taille) {
  char* texte = static_cast<char*>(xmalloc(taille + 1));
  if (taille) memcpy(texte, donnees, taille);
  texte[taille] = '\0';
  return texte;
}

// A broken property aborts, so libFuzzer keeps the input as a crash.
#define VERIFIER(condition)                                                          \
  do {                                                                               \
    if (!(condition)) {                                                              \
      afficherMessage("property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      abort();                                                                       \
    }                                                                                \
  } while (0)
