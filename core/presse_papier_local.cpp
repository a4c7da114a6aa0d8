#include "core/presse_papier_local.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"

namespace {

void* contenu = nullptr;
uint64_t longueur = 0;
bool binaire = false;
bool sortieEnregistree = false;

}  // namespace

void enregistrerSortiePressePapier() {
  TRACER_APPEL();
  if (sortieEnregistree) return;
  sortieEnregistree = true;
  ajouterFonctionSortie(nettoyerPressePapier);
}

void garderPressePapier(const void* octets, uint64_t n, bool estBinaire) {
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

void copierDonneesPressePapier(const void* octets, uint64_t n) {
  TRACER_APPEL();
  enregistrerSortiePressePapier();
  if (octets != nullptr && octets == contenu) return;
  if (octets == nullptr || n == 0) {
    viderPressePapier();
    return;
  }
  garderPressePapier(octets, n, true);
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
