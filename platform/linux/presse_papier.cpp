#include "platform/linux/presse_papier.h"

#include <cstring>

#include "core/arbre_appel.h"

void copierTextePressePapier(const char* texte) {
  TRACER_APPEL();
  enregistrerSortiePressePapier();
  if (texte != nullptr && texte == contenuPressePapier()) return;
  if (texte == nullptr) {
    viderPressePapier();
    return;
  }
  garderPressePapier(texte, strlen(texte), false);
}
