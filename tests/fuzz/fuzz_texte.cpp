// Number and hex-text parsers over hostile text.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/texte.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

bool queChiffres(const char* p, int (*classe)(int)) {
  if (!*p) return false;
  for (; *p; ++p)
    if (!classe(static_cast<unsigned char>(*p))) return false;
  return true;
}

// Parsed bytes back to text and parsed again: the same bytes.
void allerRetour(const uint8_t* octets, uint64_t nombre) {
  char* texte = octetsVersTexteHexa(octets, static_cast<size_t>(nombre));
  VERIFIER(texte != nullptr && strlen(texte) == 3 * nombre - 1);
  uint64_t relus = 0;
  uint8_t* encore = texteHexaVersOctets(texte, &relus);
  VERIFIER(encore != nullptr && relus == nombre && memcmp(encore, octets, nombre) == 0);
  free(encore);
  free(texte);
}

// Parameters of one dump line from the first bytes, the rest as data.
void vidage(const uint8_t* donnees, size_t taille) {
  if (taille < 12) return;
  unsigned largeur = donnees[0] % 21;
  char separateur = static_cast<char>(donnees[1] & 1 ? 0 : donnees[1]);
  char milieu = static_cast<char>(donnees[2] & 1 ? 0 : donnees[2]);
  unsigned parLigne = donnees[3] % 65;
  uint64_t adresse = 0;
  memcpy(&adresse, donnees + 4, sizeof adresse);
  const uint8_t* octets = donnees + 12;
  size_t longueur = taille - 12;
  // Exactly what the line takes, on the heap so an overrun is seen.
  size_t place = (largeur ? largeur + 1 + (separateur ? 1 : 0) : 0) + 4 * size_t{parLigne} +
                 (milieu ? 1 : 0) + 1;
  uint8_t* copie = static_cast<uint8_t*>(xmalloc(longueur));
  if (longueur) memcpy(copie, octets, longueur);
  char* ligne = static_cast<char*>(xmalloc(place));
  ligneVidageHexa(largeur, separateur, milieu, adresse, longueur ? copie : nullptr, longueur,
                  parLigne, ligne);
  VERIFIER(strlen(ligne) == place - 1);
  free(ligne);
  free(copie);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  char* texte = texteEntree(donnees, taille);
  bool erreur;

  lireNombre(texte, &erreur);
  VERIFIER(erreur || queChiffres(texte, isdigit));
  lireNombreJusqua(texte, taille ? texte[taille / 2] : ':', &erreur);
  uint64_t hexa = lireNombreHexa(texte, &erreur);
  VERIFIER(erreur || queChiffres(texte, isxdigit));
  VERIFIER(!erreur || hexa == 0);
  int64_t signe = lireNombreSigne(texte, &erreur);
  VERIFIER(erreur || queChiffres(texte[0] == '-' ? texte + 1 : texte, isdigit));
  VERIFIER(erreur || (signe < 0) == (texte[0] == '-' && strspn(texte + 1, "0") != strlen(texte + 1)));

  uint64_t nombre = 0;
  uint8_t* octets = texteHexaVersOctets(texte, &nombre);
  VERIFIER((octets == nullptr) == (nombre == 0));
  VERIFIER(nombre <= (strlen(texte) + 1) / 2);
  if (octets) allerRetour(octets, nombre);
  free(octets);

  if (taille) allerRetour(donnees, taille);
  vidage(donnees, taille);
  free(texte);
  return 0;
}
