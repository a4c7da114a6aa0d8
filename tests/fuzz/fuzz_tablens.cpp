// tablens' whole report of one hostile disk (disk block, partition blocks,
// coherence checks, GPT verification) and verifierGPT with and without the
// partition list, output to /dev/null. Byte 0: bit 0 set, 4096-byte
// sectors, else 512; bit 1 set, -tds; bytes 1-8: the disk's sector count
// (little-endian); then records of an 8-byte sector number and the first
// 512 bytes of that sector. Sectors without a record read as zeros; reads
// past the count plus 4096 fail.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>

#include "core/options.h"
#include "programs/tablens/tablens.h"
#include "storage/disque.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

const size_t OCTETS_ENREGISTRES = 512;

uint64_t lire64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

T_InfoDisque geometrieDe(uint64_t nombre, uint16_t taille) {
  T_InfoDisque g;
  memset(&g, 0, sizeof g);
  g.derniereTete.ecrire(254);
  g.dernierCylindre.ecrire(1023);
  g.secteursParPiste.ecrire(63);
  g.nombreSecteurs.ecrire(nombre);
  g.tailleSecteur.ecrire(taille);
  return g;
}

class DisqueFuzz : public Disque {
 public:
  DisqueFuzz(uint64_t nombre, uint16_t taille, const std::map<uint64_t, const uint8_t*>* secteurs)
      : Disque(200, geometrieDe(nombre, taille)),
        physiques_(nombre > UINT64_MAX - 4096 ? UINT64_MAX : nombre + 4096),
        secteurs_(secteurs) {}

  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage) override {
    uint8_t* octets = static_cast<uint8_t*>(tampon);
    memset(octets, 0, static_cast<size_t>(nombre) * tailleSecteur_);
    if (premier >= physiques_ || nombre > physiques_ - premier) return false;
    for (uint32_t i = 0; i < nombre; ++i) {
      auto s = secteurs_->find(premier + i);
      if (s != secteurs_->end())
        memcpy(octets + size_t{i} * tailleSecteur_, s->second, OCTETS_ENREGISTRES);
    }
    return true;
  }

 private:
  uint64_t physiques_;
  const std::map<uint64_t, const uint8_t*>* secteurs_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The report is the code under test, not its text.
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  if (taille < 9) return 0;
  const uint16_t tailleSecteur = donnees[0] & 1 ? 4096 : 512;
  const bool etendreTaille = (donnees[0] & 2) != 0;
  uint64_t nombre = lire64(donnees + 1);
  if (nombre == 0) nombre = 1;
  std::map<uint64_t, const uint8_t*> secteurs;
  for (size_t p = 9; p + 8 + OCTETS_ENREGISTRES <= taille; p += 8 + OCTETS_ENREGISTRES)
    secteurs[lire64(donnees + p)] = donnees + p + 8;

  OptionsTablens* options = new OptionsTablens(false, etendreTaille, 0, 0, 0, 0, 0);
  DisqueFuzz* d = new DisqueFuzz(nombre, tailleSecteur, &secteurs);
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
