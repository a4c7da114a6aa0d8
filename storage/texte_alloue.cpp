#include "storage/texte_alloue.h"

#include <cstdarg>
#include <cstdint>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"

char* texteFormate(const char* format, ...) {
  TRACER_APPEL();
  va_list arguments, copie;
  va_start(arguments, format);
  va_copy(copie, arguments);
  intptr_t longueur = formaterListe(nullptr, 0, format, arguments);
  size_t taille = longueur > 0 ? static_cast<size_t>(longueur) + 1 : 1;
  char* texte = static_cast<char*>(xmalloc(taille));
  texte[0] = '\0';
  formaterListe(texte, taille, format, copie);
  va_end(copie);
  va_end(arguments);
  return texte;
}
