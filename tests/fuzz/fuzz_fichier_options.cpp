// Option-file reader over a hostile file text: every line, its variables
// expanded from small tables, its value checked against a word list and a
// range.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/fichier_options.h"
#include "core/string_array.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

const char* const OPTIONS[] = {"size=", "mode=", "name", "level=", "path=", "s"};
const uint8_t MASQUE_OPTIONS[] = {1, 1, 1, 1, 0, 1};
const size_t NOMBRE_OPTIONS = sizeof OPTIONS / sizeof OPTIONS[0];

const char* const NOMS[] = {"A", "B", "LONG", "", "%"};
// A value holding a variable is not expanded again.
const char* const VALEURS[] = {"x", "%A%", "0123456789abcdefghijklmnopqrstuvwxyz", "empty"};

const char LISTE[] = "on|off|auto |yes*|";
const uint8_t MASQUE_LISTE[] = {1, 0, 1, 1, 1};
const int MOTS_LISTE = 5;

void verifierValeur(const char* valeur, const StringArray& noms, const StringArray& valeurs) {
  bool erreur = true;
  char* texte = remplacerVariables(valeur, &noms, &valeurs, &erreur);
  VERIFIER(texte != nullptr);
  // Without a '%' there is nothing to expand.
  if (!strchr(valeur, '%')) VERIFIER(!erreur && strcmp(texte, valeur) == 0);

  char* message = nullptr;
  int indice = valeurDansListe(LISTE, "mode", texte, -1, &message, ' ', MASQUE_LISTE);
  VERIFIER(indice >= -1 && indice < MOTS_LISTE && (indice == -1) == (message != nullptr));
  VERIFIER(indice < 0 || MASQUE_LISTE[indice]);
  free(message);
  indice = valeurDansListe(LISTE, nullptr, texte, 7, &message, '*', nullptr);
  VERIFIER((indice == 7 || (indice >= 0 && indice < MOTS_LISTE)) && (indice == 7) == (message != nullptr));
  free(message);

  const uint64_t bornes[][2] = {{0, UINT64_MAX}, {1, 512}, {7, 7}, {100, 0}};
  for (const auto& b : bornes) {
    message = nullptr;
    uint64_t v = valeurDansIntervalle(b[0], b[1], "size", texte, &message);
    VERIFIER(message != nullptr || (v >= b[0] && v <= b[1]));
    VERIFIER(message == nullptr || v == b[0]);
    free(message);
  }

  char* reste = texte;
  while (prochainMot(reste, &reste)) {
  }
  free(texte);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("LENS_FUZZ_HOME", "/home/fuzz", 1);
  setenv("LENS_FUZZ_VIDE", "", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  char* texte = texteEntree(donnees, taille);
  StringArray noms(sizeof NOMS / sizeof NOMS[0], NOMS);
  StringArray valeurs(sizeof VALEURS / sizeof VALEURS[0], VALEURS);

  char* curseur = texte;
  uint32_t ligne = 0;
  uint32_t lignesAvant = 0;
  for (;;) {
    char* valeur = nullptr;
    char* message = nullptr;
    int indice = lireLigneOption(&curseur, &ligne, &valeur, OPTIONS, NOMBRE_OPTIONS, &message,
                                 MASQUE_OPTIONS);
    VERIFIER(curseur >= texte && curseur <= texte + taille);
    if (indice < 0 && !message) break;
    // Every call reads at least one line, so the loop ends.
    VERIFIER(ligne > lignesAvant && ligne <= taille);
    lignesAvant = ligne;
    VERIFIER((indice >= 0) == (valeur != nullptr) && (indice < 0) == (message != nullptr));
    if (indice >= 0) {
      VERIFIER(static_cast<size_t>(indice) < NOMBRE_OPTIONS && MASQUE_OPTIONS[indice]);
      verifierValeur(valeur, noms, valeurs);
    }
    free(valeur);
    free(message);
  }
  free(texte);
  return 0;
}
