// The MBR and the chains of extended boot records, and the choice between
// the MBR list and the GPT one.
#include <cstdlib>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "core/tri_selection.h"
#include "storage/chs.h"
#include "storage/disque.h"
#include "storage/partition.h"
#include "storage/petit_boutien.h"
#include "storage/types_mbr.h"

namespace {

#pragma pack(push, 1)
struct T_EntreeMBR {
  uint8_t amorce;
  uint8_t debutTete;
  T_LE16 debutCHS;
  uint8_t type;
  uint8_t finTete;
  T_LE16 finCHS;
  T_LE32 premierSecteur;  // from the MBR, the EBR or the extended partition
  T_LE32 nombreSecteurs;
};
#pragma pack(pop)
static_assert(sizeof(T_EntreeMBR) == 16, "T_EntreeMBR is 16 bytes");

const size_t POSITION_ENTREES = 446;
const size_t POSITION_SIGNATURE = 510;
const uint16_t SIGNATURE_TABLE = 0xAA55;
const uint8_t TYPE_PROTECTEUR = 0xEE;
// At most this many partitions in a list, and EBRs read in one chain.
const size_t MAXIMUM_PARTITIONS = 255;
const size_t MAXIMUM_EBR = 255;

const T_EntreeMBR& entree(const uint8_t* secteur, int i) {
  return *reinterpret_cast<const T_EntreeMBR*>(secteur + POSITION_ENTREES + 16 * i);
}

bool utilisee(const T_EntreeMBR& e) { return e.type != 0 && e.nombreSecteurs.lire() != 0; }

T_InfoPartition versInfo(const T_EntreeMBR& e, uint8_t principal, uint8_t dansEtendue,
                         uint64_t premier) {
  TRACER_APPEL();
  T_InfoPartition info;
  info.numeroPrincipal = principal;
  info.numeroEtendue = dansEtendue;
  info.typePartition = e.type;
  uint16_t secteur, cylindre;
  decomposerCHS(e.debutCHS.lire(), &secteur, &cylindre);
  info.debutSecteur.ecrire(secteur);
  info.debutCylindre.ecrire(cylindre);
  info.debutTete = e.debutTete;
  decomposerCHS(e.finCHS.lire(), &secteur, &cylindre);
  info.finSecteur.ecrire(secteur);
  info.finCylindre.ecrire(cylindre);
  info.finTete = e.finTete;
  info.premierSecteur.ecrire(premier);
  info.nombreSecteurs.ecrire(e.nombreSecteurs.lire());
  return info;
}

// The sector that holds the table an entry points to: its begin CHS in CHS
// access, the linear sector otherwise.
uint64_t secteurDesigne(const Disque* disque, uint64_t lineaire, uint8_t tete, uint16_t motCHS) {
  TRACER_APPEL();
  if (disque->acces() != ACCES_STANDARD) return lineaire;
  T_CHS chs;
  chs.tete = tete;
  decomposerCHS(motCHS, &chs.secteur, &chs.cylindre);
  return disque->chsVersLBA(chs);
}

bool lireTable(Disque* disque, uint64_t secteur, uint8_t* tampon) {
  TRACER_APPEL();
  return disque->lire(secteur, 1, tampon, nullptr) &&
         reinterpret_cast<const T_LE16*>(tampon + POSITION_SIGNATURE)->lire() == SIGNATURE_TABLE;
}

// lus is kept in increasing order; a sector not yet read joins it.
bool dejaLu(BasicArray<uint64_t, const uint64_t>& lus, uint64_t secteur) {
  TRACER_APPEL();
  size_t i = lus.findSorted(secteur);
  if (i < lus.count() && lus[i] == secteur) return true;
  lus.insert(secteur, i);
  return false;
}

// One extended partition's chain; logique is the next logical number.
void lireChaine(Disque* disque, Partition* etendue, uint8_t* tampon, T_ListePartitions& resultat,
                T_SecteursTable* secteurs, int32_t* logique) {
  TRACER_APPEL();
  const T_InfoPartition& e = etendue->entree();
  const uint64_t base = e.premierSecteur.lire();
  uint64_t ebr = base;
  uint64_t lu = secteurDesigne(disque, ebr, e.debutTete,
                               composerCHS(e.debutSecteur.lire(), e.debutCylindre.lire()));
  uint8_t dansEtendue = 1;
  // A link back to an EBR of this chain ends it: every EBR is read once.
  BasicArray<uint64_t, const uint64_t> lus;
  while (lus.count() < MAXIMUM_EBR && !dejaLu(lus, lu)) {
    if (!lireTable(disque, lu, tampon)) return;
    if (secteurs) secteurs->add(lu);
    if (resultat.count() >= MAXIMUM_PARTITIONS) return;
    const T_EntreeMBR* lien = &entree(tampon, 0);
    if (!estTypeEtendue(lien->type)) {
      if (utilisee(*lien)) {
        T_InfoPartition info = versInfo(*lien, static_cast<uint8_t>(etendue->numero()), dansEtendue,
                                        ebr + lien->premierSecteur.lire());
        Partition_MBR* p = Partition_MBR::creer(disque, *logique, info, etendue);
        if (p) {
          resultat.add(p);
          ++*logique;
          ++dansEtendue;
        }
      }
      lien = &entree(tampon, 1);
    }
    if (!estTypeEtendue(lien->type)) return;
    ebr = base + lien->premierSecteur.lire();
    lu = secteurDesigne(disque, ebr, lien->debutTete, lien->debutCHS.lire());
  }
}

}  // namespace

T_ListePartitions Disque::listePartitionsMBR(Disque* disque, bool* mbrLu, bool* valide,
                                             T_SecteursTable* secteurs) {
  TRACER_APPEL();
  T_ListePartitions resultat;
  if (secteurs) secteurs->clear();
  // A sector too small for a table reads as an unsigned one.
  const uint16_t taille = disque->tailleSecteur();
  uint8_t* tampon = static_cast<uint8_t*>(xmalloc(taille));
  bool bon = taille >= 512 && lireTable(disque, 0, tampon);
  if (mbrLu) *mbrLu = bon;
  if (valide) *valide = bon;
  if (!bon) {
    free(tampon);
    return resultat;
  }
  if (secteurs) secteurs->add(0);
  for (int i = 0; i < 4; ++i) {
    const T_EntreeMBR& e = entree(tampon, i);
    if (!utilisee(e)) continue;
    T_InfoPartition info = versInfo(e, static_cast<uint8_t>(i + 1), 0, e.premierSecteur.lire());
    Partition_MBR* p = Partition_MBR::creer(disque, i + 1, info, nullptr);
    if (p) resultat.add(p);
  }
  int32_t logique = 5;
  const size_t principales = resultat.count();
  for (size_t k = 0; k < principales; ++k) {
    if (resultat[k]->estEtendue()) lireChaine(disque, resultat[k], tampon, resultat, secteurs, &logique);
  }
  free(tampon);
  return resultat;
}

T_ListePartitions Disque::listePartitions(bool* mbrLu, bool* valide, bool* gpt,
                                          T_SecteursTable* secteurs, bool agrandir) {
  TRACER_APPEL();
  BasicArray<uint64_t, const uint64_t> secteursMBR;
  bool lu = false, bon = false, estGPT = false;
  T_ListePartitions resultat = listePartitionsMBR(this, &lu, &bon, &secteursMBR);
  bool secteursDonnes = false;
  if (lu && bon && resultat.count() == 1 && resultat[0]->entree().typePartition == TYPE_PROTECTEUR &&
      resultat[0]->entree().premierSecteur.lire() == 1) {
    BasicArray<uint64_t, const uint64_t> secteursGPT;
    bool gptValide = false;
    T_ListePartitions listeGPT = listePartitionsGPT(this, &gptValide, &secteursGPT, agrandir);
    if (gptValide) {
      resultat[0]->liberer(0);
      resultat = listeGPT;
      if (secteurs) *secteurs = secteursGPT;
      secteursDonnes = true;
      estGPT = true;
    } else {
      for (size_t i = 0; i < listeGPT.count(); ++i) listeGPT[i]->liberer(0);
    }
  }
  if (secteurs && !secteursDonnes) *secteurs = secteursMBR;

  trouverPeripheriquesPartitions(&resultat);

  // By first sector, in the order of a selection sort (the earlier of equals
  // at each step), without its n * n comparisons.
  const size_t n = resultat.count();
  if (n > 1) {
    uint64_t* cles = static_cast<uint64_t*>(xmalloc(n * sizeof(uint64_t)));
    size_t* ordre = static_cast<size_t*>(xmalloc(n * sizeof(size_t)));
    Partition** avant = static_cast<Partition**>(xmalloc(n * sizeof(Partition*)));
    for (size_t i = 0; i < n; ++i) {
      avant[i] = resultat[i];
      cles[i] = avant[i]->entree().premierSecteur.lire();
    }
    ordreTriSelection(cles, n, ordre);
    for (size_t i = 0; i < n; ++i) resultat[i] = avant[ordre[i]];
    free(avant);
    free(ordre);
    free(cles);
  }

  if (mbrLu) *mbrLu = lu;
  if (valide) *valide = bon;
  if (gpt) *gpt = estGPT;
  if (!bon && secteurs) secteurs->clear();
  return resultat;
}
