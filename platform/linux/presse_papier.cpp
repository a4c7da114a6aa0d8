#include "platform/linux/presse_papier.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"

namespace {

void* contenu = nullptr;
uint64_t longueur = 0;
bool binaire = false;
bool sortieEnregistree = false;

void enregistrerSortie() {
  TRACER_APPEL();
  if (sortieEnregistree) return;
  sortieEnregistree = true;
  ajouterFonctionSortie(nettoyerPressePapier);
}

// Replaces the content by a copy of n bytes followed by a zero (system
// allocator: a refusal leaves the clipboard empty). The copy is made before
// the old content goes, so the bytes may lie inside it.
void garder(const void* octets, uint64_t n, bool estBinaire) {
  TRACER_APPEL();
  char* copie = nullptr;
  if (n < SIZE_MAX) copie = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
  if (copie != nullptr) {
    memcpy(copie, octets, static_cast<size_t>(n));
    copie[n] = '\0';
  }
  viderPressePapier();
  if (copie == nullptr) return;
  contenu = copie;
  longueur = n;
  binaire = estBinaire;
}

}  // namespace

void copierTextePressePapier(const char* texte) {
  TRACER_APPEL();
  enregistrerSortie();
  if (texte != nullptr && texte == contenu) return;
  if (texte == nullptr) {
    viderPressePapier();
    return;
  }
  garder(texte, strlen(texte), false);
}

void copierDonneesPressePapier(const void* octets, uint64_t n) {
  TRACER_APPEL();
  enregistrerSortie();
  if (octets != nullptr && octets == contenu) return;
  if (octets == nullptr || n == 0) {
    viderPressePapier();
    return;
  }
  garder(octets, n, true);
}

void viderPressePapier() {
  TRACER_APPEL();
  if (contenu != nullptr && !estSortieUrgence()) free(contenu);
  contenu = nullptr;
  longueur = 0;
  binaire = false;
}

void nettoyerPressePapier() {
  TRACER_APPEL();
  viderPressePapier();
}

bool pressePapierNonVide() { return contenu != nullptr; }

bool pressePapierContientTexte() { return contenu != nullptr && !binaire; }

const void* contenuPressePapier() { return contenu; }

uint64_t longueurPressePapier() { return longueur; }
