// Windows start-up of the fatal path and printing of the call tree.
#include <cstdint>
#include <cstdlib>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"

void installerTraitementErreurs() {
  marquerBaseArbreAppel();
  atexit(executerFonctionsSortie);
  allouerBlocReserve();
}

// On the main thread there is no other thread's position to lead the tree.
void afficherArbreAppelThreadPrincipal() { afficherArbreAppel(ADRESSE_AUCUNE, nullptr); }

void afficherArbreAppel(T_EntreeArbre adresseTete, char* tampon) {
  arbreAppelAffiche = true;
  if (tampon) {
    tampon[0] = '\0';
  } else {
    afficherMessage("@afficherArbreAppel: " FMT_ADRESSE "\n",
                    reinterpret_cast<uintptr_t>(&afficherArbreAppelThreadPrincipal));
    afficherMessage("Call tree:\n");
  }
  T_InstantaneArbre& arbre = instantaneArbreAppel;
  if (arbre.nombre > TAILLE_ARBRE_APPEL) arbre.nombre = TAILLE_ARBRE_APPEL;
  if (adresseTete != ADRESSE_AUCUNE) {
    uint32_t gardes = arbre.nombre < TAILLE_ARBRE_APPEL ? arbre.nombre : TAILLE_ARBRE_APPEL - 1;
    for (uint32_t i = gardes; i > 0; --i) arbre.entrees[i] = arbre.entrees[i - 1];
    arbre.entrees[0] = adresseTete;
    arbre.nombre = gardes + 1;
  }
  char* fin = tampon;
  for (uint32_t i = 0; i < arbre.nombre; ++i) {
    uintptr_t adresse = static_cast<uintptr_t>(arbre.entrees[i]);
    bool finLigne = i % 4 == 3;
    if (tampon) {
      // The caller sizes the buffer for 64 entries.
      intptr_t n = formaterMessage(fin, 20, " " FMT_ADRESSE, adresse);
      fin += n < 19 ? n : 19;
      if (finLigne) fin += formaterMessage(fin, 3, "\r\n");
    } else {
      afficherMessage(" " FMT_ADRESSE, adresse);
      if (finLigne || i + 1 == arbre.nombre) afficherMessage("\n");
    }
  }
  if (!tampon) attendreRetour();
}
