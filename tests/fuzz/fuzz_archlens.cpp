// archlens -t over hostile bytes taken as a whole backup file (held in
// memory): the verdict must be "correct" exactly when an independent reading
// of the format accepts the bytes, and the file is closed once on every road.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "programs/archlens/archlens.h"
#include "programs/commun/frontal.h"
#include "tests/fuzz/entree_fuzz.h"
#include "tests/support/fichier_memoire.h"

namespace {

uint32_t le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool crcNulAuMilieu(const uint8_t* octets, size_t taille, size_t champ) {
  uint8_t copie[TAILLE_ENTETE_FICHIER];
  memcpy(copie, octets, taille);
  memset(copie + champ, 0, 4);
  return crc32(0, copie, static_cast<uInt>(taille)) == le32(octets + champ);
}

// The format's acceptance rule, read from the bytes alone.
bool sauvegardeValide(const uint8_t* d, size_t taille) {
  if (taille < TAILLE_ENTETE_FICHIER) return false;
  if (d[0] != 0x55 || d[1] != 0xAA || d[102] != 0x55 || d[103] != 0xAA) return false;
  if (d[2] != 2 || d[3] != 0) return false;
  if (!crcNulAuMilieu(d, TAILLE_ENTETE_FICHIER, 9)) return false;
  bool avant = false;
  for (int i = 21; i < 29; ++i) avant |= d[i] != 0;
  bool sous = d[15] >= 1 && d[15] <= 5 && !avant;
  size_t entetes = TAILLE_ENTETE_FICHIER + (sous ? TAILLE_SOUS_ENTETE : 0);
  if (taille < entetes) return false;
  if (sous && !crcNulAuMilieu(d + TAILLE_ENTETE_FICHIER, TAILLE_SOUS_ENTETE, 16)) return false;
  if (taille - entetes != le32(d + 29)) return false;
  uLong crc = crc32(le32(d + 17), d + entetes, static_cast<uInt>(taille - entetes));
  return static_cast<uint32_t>(crc) == le32(d + 5);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The report goes nowhere; libFuzzer writes to standard error.
  int nul = open("/dev/null", O_WRONLY);
  if (nul >= 0) dup2(nul, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  FichierMemoire fichier(std::string(reinterpret_cast<const char*>(donnees), taille));
  pauseDemandee = false;
  int statut = examinerSauvegarde(&fichier, taille, true, true, false);
  VERIFIER(statut == (sauvegardeValide(donnees, taille) ? 0 : 1));
  VERIFIER(fichier.fermetures() == 1);
  return 0;
}
