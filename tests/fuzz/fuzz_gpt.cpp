// GPT header checks over hostile sectors: byte 0 picks the sector size (even:
// 512, odd: 4096), then come the primary header's sector and the backup's.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/memoire.h"
#include "storage/gpt.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

// One sector on the heap, exactly its size, so ASan sees any read past it.
uint8_t* secteur(const uint8_t* donnees, size_t taille, size_t debut, uint32_t tailleSecteur) {
  uint8_t* s = static_cast<uint8_t*>(xmalloc(tailleSecteur));
  memset(s, 0, tailleSecteur);
  if (debut < taille) memcpy(s, donnees + debut, taille - debut < tailleSecteur ? taille - debut : tailleSecteur);
  return s;
}

void verifierSansChangement(uint8_t* s, uint32_t z, uint64_t attendu, const T_EnteteGPT* autre,
                            bool* valide) {
  uint8_t* avant = static_cast<uint8_t*>(xmalloc(z));
  memcpy(avant, s, z);
  *valide = verifierEnteteGPT(reinterpret_cast<T_EnteteGPT*>(s), z, attendu, autre);
  VERIFIER(memcmp(avant, s, z) == 0);
  free(avant);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  if (taille == 0) return 0;
  uint32_t z = donnees[0] & 1 ? 4096 : 512;
  uint8_t* primaire = secteur(donnees, taille, 1, z);
  uint8_t* secours = secteur(donnees, taille, 1 + size_t{z}, z);
  const T_EnteteGPT* p = reinterpret_cast<const T_EnteteGPT*>(primaire);

  bool primaireValide = false, secoursValide = false;
  verifierSansChangement(primaire, z, 1, nullptr, &primaireValide);
  if (primaireValide) {
    // An accepted array is bounded and lies before the usable area.
    uint64_t secteurs = 0;
    uint32_t octets = 0;
    VERIFIER(secteursTableauGPT(p->nombreEntrees.lire(), p->tailleEntree.lire(), z, &secteurs,
                                &octets));
    VERIFIER(octets <= TAILLE_MAX_TABLEAU_GPT);
    VERIFIER(p->secteurEntrees.lire() >= 2);
    VERIFIER(p->premierSecteurUtilisable.lire() >= p->secteurEntrees.lire());
    VERIFIER(p->premierSecteurUtilisable.lire() - p->secteurEntrees.lire() >= secteurs);
  }
  verifierSansChangement(secours, z, p->secteurAlternatif.lire(), p, &secoursValide);
  if (secoursValide) {
    const T_EnteteGPT* s = reinterpret_cast<const T_EnteteGPT*>(secours);
    VERIFIER(s->secteurAlternatif.lire() == 1);
    VERIFIER(memcmp(s->guidDisque, p->guidDisque, TAILLE_GUID) == 0);
    VERIFIER(s->dernierSecteurUtilisable.lire() < s->secteurEntrees.lire());
  }

  char* texte = texteGUID(p->guidDisque);
  VERIFIER(strlen(texte) == 36);
  free(texte);
  char* nom = nomTypeGPT(secours);
  VERIFIER(strlen(nom) <= 20);
  free(nom);
  free(secours);
  free(primaire);
  return 0;
}
