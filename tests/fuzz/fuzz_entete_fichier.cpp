// Backup-file header texts over hostile bytes: 104 header bytes, then 20
// subheader bytes whose counts serve as the size range.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "storage/file_header.h"
#include "tests/fuzz/entree_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  if (taille < sizeof(T_FileHeader)) return 0;
  T_FileHeader* entete = static_cast<T_FileHeader*>(xmalloc(sizeof(T_FileHeader)));
  memcpy(entete, donnees, sizeof *entete);
  T_FileSubHeader sous;
  memset(&sous, 0, sizeof sous);
  size_t reste = taille - sizeof *entete;
  memcpy(&sous, donnees + sizeof *entete, reste < sizeof sous ? reste : sizeof sous);

  T_PlageTaille plage = {sous.nbSecteursMin.lire(), sous.nbSecteursMax.lire()};
  char* texte = entete->description(reste ? &plage : nullptr);
  if (texte) {
    size_t longueur = strlen(texte);
    VERIFIER(longueur > 0 && texte[longueur - 1] == '\n');
    VERIFIER(longueur < 400);
    free(texte);
  }
  VERIFIER(entete->calculerCrcEntete() == entete->calculerCrcEntete());
  (void)sous.calculerCrc();
  VERIFIER(texteTypeElement(entete->typeElement) != nullptr);
  VERIFIER(texteTypeSupport(entete->typeSupport) != nullptr);
  VERIFIER(texteErreurEntete(entete->crcAvant.lire()) != nullptr);
  uint8_t guid[16];
  entete->guidTypeGPT(guid);
  free(entete);
  return 0;
}
