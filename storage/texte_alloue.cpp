#include "storage/texte_alloue.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"

char* texteFormate(const char* format, ...) {
  TRACER_APPEL();
  va_list arguments, copie;
  va_start(arguments, format);
  va_copy(copie, arguments);
  // Most texts are short: one pass into a local buffer, a second one only
  // for a text that does not fit.
  char local[256];
  intptr_t longueur = formaterListe(local, sizeof local, format, arguments);
  size_t taille = longueur > 0 ? static_cast<size_t>(longueur) + 1 : 1;
  char* texte = static_cast<char*>(xmalloc(taille));
  if (taille <= sizeof local) {
    memcpy(texte, local, taille);
  } else {
    texte[0] = '\0';
    formaterListe(texte, taille, format, copie);
  }
  va_end(copie);
  va_end(arguments);
  return texte;
}
