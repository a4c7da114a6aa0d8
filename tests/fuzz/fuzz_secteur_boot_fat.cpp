// FAT boot-sector geometry over hostile sectors: the first 512 bytes are the
// sector, byte 512 (when present) picks the FAT type asked about.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "storage/fat.h"
#include "tests/fuzz/entree_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  Secteur_Boot_FAT* s = static_cast<Secteur_Boot_FAT*>(xmalloc(sizeof(Secteur_Boot_FAT)));
  memset(s, 0, sizeof *s);
  memcpy(s, donnees, taille < sizeof *s ? taille : sizeof *s);
  const uint8_t types[3] = {12, 16, 32};
  uint8_t type = taille > sizeof *s ? types[donnees[sizeof *s] % 3] : 32;

  uint32_t reste = 0;
  uint32_t clusters = s->nombreClusters(&reste);
  uint32_t total = s->totalSecteurs16.lire() ? s->totalSecteurs16.lire() : s->totalSecteurs32.lire();
  uint64_t debut = s->premierSecteurDonnees();
  if (clusters != 0 || reste != 0) {
    // What the clusters cover lies inside the volume.
    VERIFIER(s->secteursParCluster != 0);
    VERIFIER(reste < s->secteursParCluster);
    VERIFIER(debut + uint64_t{clusters} * s->secteursParCluster + reste == total);
  }
  if (s->octetsParSecteur.lire() != 0)
    VERIFIER(uint64_t{s->secteursRepertoireRacine()} * s->octetsParSecteur.lire() >=
             uint64_t{s->entreesRacine.lire()} * 32);
  VERIFIER(s->fatActive(type) <= 15);
  VERIFIER(s->nombreFAT(type) == 1 || s->nombreFAT(type) == s->nombreFATs);
  (void)s->octetsParCluster();
  (void)s->secteursParFAT();
  (void)sommeControleNomCourt(s->nomOEM);
  free(s);
  return 0;
}
