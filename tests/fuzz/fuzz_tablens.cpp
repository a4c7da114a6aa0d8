// tablens' whole report of one hostile disk (tests/fuzz/disque_fuzz.h; byte
// 0 bit 1 set: -tds): disk block, partition blocks, coherence checks, GPT
// verification, and verifierGPT with and without the partition list, output
// to /dev/null.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#include "core/options.h"
#include "programs/tablens/tablens.h"
#include "storage/disque.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "tests/fuzz/disque_fuzz.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The report is the code under test, not its text.
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  if (taille < 9) return 0;
  const bool etendreTaille = (donnees[0] & 2) != 0;
  OptionsTablens* options = new OptionsTablens(false, etendreTaille, 0, 0, 0, 0, 0);
  DisqueFuzz* d = DisqueFuzz::depuis(donnees, taille);
  verifierGPT(d, nullptr, etendreTaille);
  T_ListePartitions liste = d->listePartitions(nullptr, nullptr, nullptr, nullptr, false);
  verifierGPT(d, &liste, etendreTaille);
  for (size_t i = 0; i < liste.count(); ++i) liste[i]->liberer(0);

  T_TableauxRapport* tableaux = new T_TableauxRapport();
  afficherDisque(0, d, tableaux, etendreTaille);
  // The report gave back every partition and the disk.
  VERIFIER(SupportBlocManager::count() == 0);
  VERIFIER(tableaux->partitions.count() == 0 && tableaux->sousSupports.count() == 0);
  delete tableaux;
  delete options;
  return 0;
}
