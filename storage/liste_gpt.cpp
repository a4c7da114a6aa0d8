// The GPT reading behind a protective MBR: the primary header, the backup
// header checked against it, the two entry arrays compared and checked by
// CRC, then one Partition_GPT per used entry.
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "storage/disque.h"
#include "storage/gpt.h"
#include "storage/partition.h"

namespace {

bool guidNul(const uint8_t* guid) {
  for (size_t i = 0; i < TAILLE_GUID; ++i)
    if (guid[i] != 0) return false;
  return true;
}

// Whether [premier, premier + nombre) lies inside a disk of total sectors.
bool dansLeDisque(uint64_t premier, uint64_t nombre, uint64_t total) {
  return premier <= total && nombre <= total - premier;
}

// An array of nombre sectors from premier, into a buffer of its own.
uint8_t* lireTableau(Disque* disque, uint64_t premier, uint64_t nombre) {
  TRACER_APPEL();
  const size_t octets = static_cast<size_t>(nombre) * disque->tailleSecteur();
  uint8_t* tampon = static_cast<uint8_t*>(xmalloc(octets));
  if (nombre == 0) return tampon;
  if (!dansLeDisque(premier, nombre, disque->nombreSecteurs()) ||
      !disque->lire(premier, static_cast<uint32_t>(nombre), tampon, nullptr)) {
    free(tampon);
    return nullptr;
  }
  return tampon;
}

void ajouterSecteurs(T_SecteursTable* secteurs, uint64_t premier, uint64_t nombre) {
  TRACER_APPEL();
  for (uint64_t i = 0; i < nombre; ++i) secteurs->add(premier + i);
}

// The record of the entry at position numero (from 1). An entry that ends
// before it starts covers no sector: a count of 0 keeps its first sector and
// lets a reader see last = first + count - 1 below first, never a wrapped
// size that would span the whole address range.
T_InfoPartition versInfo(const Disque* disque, const T_EntreeGPT& e, uint32_t numero) {
  TRACER_APPEL();
  const uint64_t premier = e.premierSecteur.lire();
  const uint64_t dernier = e.dernierSecteur.lire();
  T_InfoPartition info;
  memset(&info, 0, sizeof info);
  info.numeroPrincipal = static_cast<uint8_t>(numero);
  T_CHS debut = disque->lbaVersCHS(premier);
  info.debutSecteur.ecrire(debut.secteur);
  info.debutCylindre.ecrire(debut.cylindre);
  info.debutTete = debut.tete;
  T_CHS fin = disque->lbaVersCHS(dernier);
  info.finSecteur.ecrire(fin.secteur);
  info.finCylindre.ecrire(fin.cylindre);
  info.finTete = fin.tete;
  info.premierSecteur.ecrire(premier);
  info.nombreSecteurs.ecrire(dernier >= premier ? dernier - premier + 1 : 0);
  return info;
}

}  // namespace

T_ListePartitions Disque::listePartitionsGPT(Disque* disque, bool* valide, T_SecteursTable* secteurs,
                                             bool agrandir) {
  TRACER_APPEL();
  T_ListePartitions resultat;
  if (secteurs) secteurs->clear();
  if (valide) *valide = false;
  const uint32_t z = disque->tailleSecteur();
  // A header is read whole from its sector.
  if (z < sizeof(T_EnteteGPT)) return resultat;

  uint8_t* secteurPrimaire = static_cast<uint8_t*>(xmalloc(z));
  uint8_t* secteurSecours = static_cast<uint8_t*>(xmalloc(z));
  T_EnteteGPT* primaire = reinterpret_cast<T_EnteteGPT*>(secteurPrimaire);
  T_EnteteGPT* secours = reinterpret_cast<T_EnteteGPT*>(secteurSecours);
  uint8_t* tableauPrimaire = nullptr;
  uint8_t* tableauSecours = nullptr;
  const uint64_t nombreAvant = disque->nombreSecteurs();
  bool bon = false;

  do {
    if (!disque->lire(1, 1, secteurPrimaire, nullptr) || !verifierEnteteGPT(primaire, z, 1, nullptr))
      break;
    const uint64_t alternatif = primaire->secteurAlternatif.lire();
    // A backup inside the usable area is no reason to resize the disk.
    uint64_t taille;
    if (agrandir && alternatif > primaire->dernierSecteurUtilisable.lire() &&
        !__builtin_add_overflow(alternatif, 1, &taille)) {
      disque->essayerTaille(taille);
    }
    if (alternatif >= disque->nombreSecteurs() || !disque->lire(alternatif, 1, secteurSecours, nullptr) ||
        !verifierEnteteGPT(secours, z, alternatif, primaire))
      break;

    const uint32_t n = primaire->nombreEntrees.lire();
    uint64_t a = 0;
    uint32_t octets = 0;
    if (!secteursTableauGPT(n, TAILLE_ENTREE_GPT, z, &a, &octets)) break;
    const uint64_t debutPrimaire = primaire->secteurEntrees.lire();
    const uint64_t debutSecours = secours->secteurEntrees.lire();
    tableauPrimaire = lireTableau(disque, debutPrimaire, a);
    if (!tableauPrimaire) break;
    tableauSecours = lireTableau(disque, debutSecours, a);
    if (!tableauSecours) break;
    if (memcmp(tableauPrimaire, tableauSecours, octets) != 0) break;
    if (static_cast<uint32_t>(crc32(0, tableauPrimaire, octets)) != primaire->crcEntrees.lire())
      break;

    // The header checks keep the five areas apart and in this order.
    if (secteurs) {
      secteurs->add(0);
      secteurs->add(1);
      ajouterSecteurs(secteurs, debutPrimaire, a);
      ajouterSecteurs(secteurs, debutSecours, a);
      secteurs->add(alternatif);
    }
    for (uint32_t i = 1; i <= n; ++i) {
      const T_EntreeGPT& e =
          *reinterpret_cast<const T_EntreeGPT*>(tableauPrimaire + size_t{i - 1} * TAILLE_ENTREE_GPT);
      if (guidNul(e.guidUnique)) continue;
      // Its window would end at 2^64: no partition, as for an MBR entry.
      if (e.dernierSecteur.lire() == UINT64_MAX) continue;
      Partition_GPT* p = Partition_GPT::creer(disque, static_cast<int32_t>(i), versInfo(disque, e, i),
                                              e.attributs.lire(), e.guidType, e.guidUnique);
      if (p) resultat.add(p);
    }
    bon = true;
  } while (false);

  if (!bon && disque->nombreSecteurs() != nombreAvant) disque->fixerNombreSecteurs(nombreAvant);
  free(tableauSecours);
  free(tableauPrimaire);
  free(secteurSecours);
  free(secteurPrimaire);
  if (valide) *valide = bon;
  return resultat;
}
