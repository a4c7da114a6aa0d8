// blkid cache reader over a hostile cache text, then lookups by label and
// UUID. The node numbers come from a small table instead of the filesystem.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/memoire.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/cache_blkid.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

int statNoeuds(const char* chemin, struct stat64* etat) {
  static const struct {
    const char* chemin;
    dev_t numero;
  } noeuds[] = {{"/dev/sda1", 0x801}, {"/dev/sda2", 0x802}, {"/dev/mapper/vg-x", 0xfd00}};
  for (const auto& n : noeuds) {
    if (strcmp(chemin, n.chemin) != 0) continue;
    memset(etat, 0, sizeof *etat);
    etat->st_mode = S_IFBLK | 0660;
    etat->st_rdev = n.numero;
    return 0;
  }
  errno = ENOENT;
  return -1;
}

// "prefix" + value as a new text.
char* source(const char* prefixe, const char* valeur) {
  char* texte = xstrdup(prefixe);
  ajouterTexte(&texte, valeur);
  return texte;
}

// An entry's own label or UUID finds it unless another entry shares it.
void verifierRecherche(const CacheBlkid& cache, size_t i, const char* prefixe, const char* valeur,
                       uint8_t double_) {
  if (!valeur) return;
  char* s = source(prefixe, valeur);
  const char* trouve = cache.peripheriqueDe(s);
  if (cache.drapeaux(i) & double_)
    VERIFIER(trouve == nullptr);
  else
    VERIFIER(trouve != nullptr && strcmp(trouve, cache.peripherique(i)) == 0);
  free(s);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  appelsSysteme.stat64 = statNoeuds;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  CacheBlkid cache;
  // libFuzzer's buffer holds exactly the input: a read past it is seen.
  cache.lire(reinterpret_cast<const char*>(donnees), taille);

  for (size_t i = 0; i < cache.nombre(); ++i) {
    VERIFIER(cache.peripherique(i) != nullptr && cache.peripherique(i)[0] != '\0');
    verifierRecherche(cache, i, "LABEL=", cache.etiquette(i), BLKID_ETIQUETTE_DOUBLE);
    verifierRecherche(cache, i, "UUID=", cache.uuid(i), BLKID_UUID_DOUBLE);
  }

  // The input's last line as a source, taken as a label and a UUID too.
  char* texte = texteEntree(donnees, taille);
  const char* fin = strrchr(texte, '\n');
  const char* ligne = fin ? fin + 1 : texte;
  const char* autres[] = {"LABEL=", "UUID=", "LABEL", "label=x", ""};
  for (const char* s : autres) cache.peripheriqueDe(s);
  cache.peripheriqueDe(ligne);
  for (const char* prefixe : {"LABEL=", "UUID="}) {
    char* s = source(prefixe, ligne);
    const char* trouve = cache.peripheriqueDe(s);
    VERIFIER(trouve == nullptr || trouve[0] != '\0');
    free(s);
  }
  char* decode = decoderOctal(ligne);
  VERIFIER(strlen(decode) <= strlen(ligne));
  free(decode);
  free(texte);
  return 0;
}
