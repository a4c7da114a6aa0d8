// Escaped names: decoding, normalising, escaping back and wildcard matching
// over hostile text, into buffers of exactly the documented sizes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/memoire.h"
#include "core/noms.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

// Units escaped with every flag combination decode to the same units.
void allerRetourUnites(const uint16_t* unites, uint64_t nombre) {
  for (int drapeaux = 0; drapeaux < 4; ++drapeaux) {
    char* echappe = static_cast<char*>(xmalloc(6 * nombre + 1));
    echapperNom(unites, nombre, drapeaux & 1, drapeaux & 2, echappe);
    size_t longueur = strlen(echappe);
    uint16_t* relues = static_cast<uint16_t*>(xmalloc((longueur + 1) * sizeof(uint16_t)));
    uint64_t relu = 0;
    desechapperNom(echappe, relues, &relu, nullptr);
    VERIFIER(relu == nombre && memcmp(relues, unites, nombre * sizeof(uint16_t)) == 0);
    free(relues);
    free(echappe);
  }
}

// Bytes escaped with every flag combination decode to the same bytes.
void allerRetourOctets(const char* octets) {
  size_t n = strlen(octets);
  for (int drapeaux = 0; drapeaux < 4; ++drapeaux) {
    char* echappe = static_cast<char*>(xmalloc(4 * n + 1));
    echapperNomOctets(octets, drapeaux & 1, drapeaux & 2, echappe);
    char* relus = static_cast<char*>(xmalloc(strlen(echappe) + 1));
    VERIFIER(desechapperNomOctets(echappe, relus, nullptr));
    VERIFIER(strcmp(relus, octets) == 0);
    free(relus);
    free(echappe);
  }
}

void motifs(const char* nom, const char* motif, bool ignorerCasse) {
  correspondMotif(nom, motif, ignorerCasse);
  correspondMotif(motif, nom, !ignorerCasse);
  contientJokers(motif);
  if (*nom) VERIFIER(correspondMotif(nom, "*", ignorerCasse));

  // A name escaped in full holds no wildcard and matches itself.
  size_t n = strlen(nom);
  uint16_t* unites = static_cast<uint16_t*>(xmalloc((n + 1) * sizeof(uint16_t)));
  uint64_t nombre = 0;
  desechapperNom(nom, unites, &nombre, nullptr);
  if (nombre > 0) {
    char* litteral = static_cast<char*>(xmalloc(6 * nombre + 1));
    echapperNom(unites, nombre, false, true, litteral);
    VERIFIER(!contientJokers(litteral));
    VERIFIER(correspondMotif(nom, litteral, ignorerCasse));
    VERIFIER(nomsEgaux(nom, litteral, false));
    free(litteral);
  }
  free(unites);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  char* texte = texteEntree(donnees, taille);
  size_t n = strlen(texte);

  uint16_t* unites = static_cast<uint16_t*>(xmalloc((n + 1) * sizeof(uint16_t)));
  uint64_t nombre = ~0ull;
  bool barre = false;
  desechapperNom(texte, unites, &nombre, &barre);
  VERIFIER(nombre <= n && unites[nombre] == 0);
  allerRetourUnites(unites, nombre);

  char* octets = static_cast<char*>(xmalloc(n + 1));
  bool barreOctets = false;
  bool tout = desechapperNomOctets(texte, octets, &barreOctets);
  VERIFIER(barreOctets == barre && strlen(octets) == nombre);
  if (tout) allerRetourOctets(octets);

  char* normal = static_cast<char*>(xmalloc(4 * n + 1));
  normaliserNom(texte, normal);
  size_t m = strlen(normal);
  char* encore = static_cast<char*>(xmalloc(4 * m + 1));
  normaliserNom(normal, encore);
  VERIFIER(strcmp(encore, normal) == 0);
  VERIFIER(nomsEgaux(texte, normal, false));
  free(encore);
  free(normal);

  char* majuscules = nomEnMajuscules(texte);
  VERIFIER(nomsEgaux(texte, majuscules, true));
  free(majuscules);

  // Name and pattern: the two sides of the first NUL, else the two halves.
  const char* nom = texte;
  const char* motif;
  char* moitie = nullptr;
  if (n < taille) {
    motif = texte + n + 1;
  } else {
    moitie = texteEntree(donnees, taille / 2);
    nom = moitie;
    motif = texte + taille / 2;
  }
  motifs(nom, motif, taille & 1);

  free(moitie);
  free(octets);
  free(unites);
  free(texte);
  return 0;
}
