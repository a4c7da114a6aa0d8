// Partition listing over a hostile disk (tests/fuzz/disque_fuzz.h): MBR and
// extended chains, or the GPT behind a protective MBR, with -tds growth.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "core/options.h"
#include "storage/disque.h"
#include "storage/file_header.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "tests/fuzz/disque_fuzz.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

// The GPT's sectors: 0, 1, the primary array, the backup array and the
// backup header, each array at most TAILLE_MAX_TABLEAU_GPT bytes, in
// increasing order.
void verifierSecteursGPT(const BasicArray<uint64_t, const uint64_t>& tables, uint16_t z) {
  const uint64_t tableau = TAILLE_MAX_TABLEAU_GPT / z;
  VERIFIER(tables.count() >= 3 && tables.count() <= 3 + 2 * tableau);
  VERIFIER(tables[0] == 0 && tables[1] == 1);
  for (size_t i = 1; i < tables.count(); ++i) VERIFIER(tables[i - 1] < tables[i]);
}

void verifierListe(DisqueFuzz* d) {
  BasicArray<uint64_t, const uint64_t> tables;
  bool lu = false, valide = false, gpt = true;
  const uint64_t avant = d->nombreSecteurs();
  T_ListePartitions l = d->listePartitions(&lu, &valide, &gpt, &tables, false);
  // Without -tds a listing never resizes the disk.
  VERIFIER(d->nombreSecteurs() == avant);
  VERIFIER(valide || l.count() == 0);
  VERIFIER(valide || tables.count() == 0);
  if (gpt) {
    VERIFIER(valide && l.count() <= TAILLE_MAX_TABLEAU_GPT / TAILLE_ENTREE_GPT);
    verifierSecteursGPT(tables, d->tailleSecteur());
  } else {
    VERIFIER(l.count() <= 255);
    // The MBR, then at most 255 EBRs per chain of the four main entries.
    VERIFIER(tables.count() <= 1 + 4 * 255);
  }
  std::vector<int32_t> numeros;
  for (size_t i = 0; i < l.count(); ++i) {
    Partition* p = l[i];
    VERIFIER(Partition::fenetreValide(p->entree()));
    if (i > 0) VERIFIER(l[i - 1]->entree().premierSecteur.lire() <= p->entree().premierSecteur.lire());
    if (gpt) {
      Partition_GPT* g = dynamic_cast<Partition_GPT*>(p);
      VERIFIER(g && p->identifiant().type() == ID_PARTITION_GPT && !p->etendue());
      VERIFIER(p->numero() >= 1 && p->entree().numeroPrincipal == static_cast<uint8_t>(p->numero()));
      bool unique = false;
      for (size_t k = 0; k < TAILLE_GUID; ++k) unique |= g->guidUnique()[k] != 0;
      VERIFIER(unique);
      T_FileHeader h;
      p->remplirInfo(&h);
      uint8_t type[TAILLE_GUID];
      h.guidTypeGPT(type);
      VERIFIER(memcmp(type, g->guidType(), TAILLE_GUID) == 0);
      char* nom = p->texteType();
      VERIFIER(*nom != '\0');
      free(nom);
    } else if (p->etendue()) {
      VERIFIER(p->numero() >= 5 && p->etendue()->estEtendue() && !p->etendue()->etendue());
      VERIFIER(p->numeroPrincipal() == p->etendue()->numero() && p->numeroDansEtendue() >= 1);
    } else {
      VERIFIER(p->numero() >= 1 && p->numero() <= 4 && p->numeroDansEtendue() == 0);
    }
    for (int32_t n : numeros) VERIFIER(n != p->numero());
    numeros.push_back(p->numero());
    char* texte = p->description(1);
    free(texte);
  }
  for (size_t i = 0; i < l.count(); ++i) l[i]->liberer(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  if (taille < 9) return 0;
  // -tds, -hs 16 32 and -c +2 as tablens would hand them over.
  OptionsTablens* options = new OptionsTablens(false, true, 4, 16, 32, 3, 2);
  DisqueFuzz* d = DisqueFuzz::depuis(donnees, taille);
  const uint64_t nombre = d->nombreSecteurs();
  verifierListe(d);
  d->ajusterTaille();
  // Only an accepted GPT lowers the disk, to just hold its backup header.
  if (d->nombreSecteurs() < nombre) {
    const uint8_t* entete = d->secteur(1);
    VERIFIER(entete && DisqueFuzz::lire64(entete + 32) + 1 == d->nombreSecteurs());
  }
  d->determinerGeometrie();
  VERIFIER(d->nombreCylindres() >= 1 && d->nombreCylindres() <= 1024);
  VERIFIER(d->secteursParPiste() >= 1 && d->secteursParPiste() <= 63);
  BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const> g =
      d->geometriesPossibles();
  VERIFIER(g.count() >= 1 && g.count() <= 2);
  verifierListe(d);
  uint32_t identifiant;
  d->lireIdentifiantWindows(&identifiant);
  uint8_t guid[16];
  d->lireGUIDDisque(guid);
  // Every partition was released: the disk stands alone and goes.
  VERIFIER(SupportBlocManager::count() == 1);
  VERIFIER(d->liberer(0));
  delete options;
  return 0;
}
