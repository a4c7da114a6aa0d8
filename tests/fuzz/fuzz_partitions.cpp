// Partition listing over a hostile disk: MBR and extended chains, or the
// GPT behind a protective MBR. Byte 0: bit 0 set, 4096-byte sectors, else
// 512; bytes 1-8: the disk's sector count (little-endian); then records of
// an 8-byte sector number and the first 512 bytes of that sector. Sectors
// without a record read as zeros; reads past the count plus 4096 fail, so
// the size growth of -tds can succeed or not.
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
      if (s != secteurs_->end()) memcpy(octets + size_t{i} * tailleSecteur_, s->second, OCTETS_ENREGISTRES);
    }
    return true;
  }

 private:
  uint64_t physiques_;
  const std::map<uint64_t, const uint8_t*>* secteurs_;
};

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
  const uint16_t tailleSecteur = donnees[0] & 1 ? 4096 : 512;
  uint64_t nombre = lire64(donnees + 1);
  if (nombre == 0) nombre = 1;
  std::map<uint64_t, const uint8_t*> secteurs;
  for (size_t p = 9; p + 8 + OCTETS_ENREGISTRES <= taille; p += 8 + OCTETS_ENREGISTRES)
    secteurs[lire64(donnees + p)] = donnees + p + 8;

  // -tds, -hs 16 32 and -c +2 as tablens would hand them over.
  OptionsTablens* options = new OptionsTablens(false, true, 4, 16, 32, 3, 2);
  DisqueFuzz* d = new DisqueFuzz(nombre, tailleSecteur, &secteurs);
  verifierListe(d);
  d->ajusterTaille();
  // Only an accepted GPT lowers the disk, to just hold its backup header.
  if (d->nombreSecteurs() < nombre) {
    auto s = secteurs.find(1);
    VERIFIER(s != secteurs.end() && lire64(s->second + 32) + 1 == d->nombreSecteurs());
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
