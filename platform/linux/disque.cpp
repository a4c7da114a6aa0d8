// Linux disks: creation from the block device (sector size, size and
// geometry by ioctl), Disque_Etendu's transfers and closing, and the device
// names of a disk's partitions.
#include <linux/fs.h>
#include <linux/hdreg.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/options.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/lock_manager.h"
#include "platform/linux/peripheriques.h"
#include "platform/linux/transferts.h"
#include "storage/disque.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "storage/texte_alloue.h"

namespace {

const uint64_t TAILLE_SECTEUR_DEFAUT = 512;
const uint64_t TAILLE_SECTEUR_MAX = 32768;

// Sector size, byte size and geometry of an open disk; false refuses it.
bool lireGeometrie(int fd, T_InfoDisque* g) {
  TRACER_APPEL();
  uint64_t taille = 0;
  if (appelsSysteme.ioctl(fd, BLKSSZGET, &taille) != 0) {
    taille = TAILLE_SECTEUR_DEFAUT;
  } else if (taille < 512 || taille > TAILLE_SECTEUR_MAX || taille % 512 != 0) {
    return false;
  }
  uint64_t octets = 0;
  if (appelsSysteme.ioctl(fd, BLKGETSIZE64, &octets) != 0) {
    unsigned long secteurs512 = 0;
    if (appelsSysteme.ioctl(fd, BLKGETSIZE, &secteurs512) != 0) return false;
    octets = static_cast<uint64_t>(secteurs512) * 512;
  }
  if (octets % taille != 0 || octets / taille == 0) return false;
  const uint64_t nombre = octets / taille;

  struct hd_geometry h;
  memset(&h, 0, sizeof h);
  if (appelsSysteme.ioctl(fd, HDIO_GETGEO, &h) != 0 || h.start != 0) return false;
  uint64_t derniereTete = h.heads != 0 ? h.heads - 1u : 255u;
  uint64_t secteurs = h.sectors >= 1 && h.sectors <= 63 ? h.sectors : 63u;
  uint64_t dernierCylindre = h.cylinders >= 1 && h.cylinders <= 1024 ? h.cylinders - 1u : 1023u;
  uint64_t utiles = divArrondiHaut64(nombre, secteurs * (derniereTete + 1)) - 1;
  if (utiles < dernierCylindre) dernierCylindre = utiles;

  memset(g, 0, sizeof *g);
  g->derniereTete.ecrire(derniereTete);
  g->dernierCylindre.ecrire(dernierCylindre);
  g->secteursParPiste.ecrire(secteurs);
  g->nombreSecteurs.ecrire(nombre);
  g->tailleSecteur.ecrire(static_cast<uint16_t>(taille));
  g->typeAcces = ACCES_ETENDU;
  return true;
}

}  // namespace

Disque* Disque::creer(uint8_t numero) {
  TRACER_APPEL();
  bool refuse;
  Disque* existant = dejaEnregistre(numero, &refuse);
  if (existant || refuse) return existant;
  const char* chemin = nomDisque(numero);
  if (!chemin) return nullptr;
  bool lectureSeule = false;
  int fd = appelsSysteme.open64(chemin, O_RDWR);
  if (fd < 0) {
    lectureSeule = true;
    fd = appelsSysteme.open64(chemin, O_RDONLY);
    if (fd < 0) return nullptr;
  }
  if (LockManager::lockPhysical(fd, lectureSeule)) {
    appelsSysteme.close(fd);
    return nullptr;
  }
  T_InfoDisque g;
  if (!lireGeometrie(fd, &g)) {
    LockManager::unlockPhysical(fd);
    appelsSysteme.close(fd);
    return nullptr;
  }
  Disque_Etendu* disque = new Disque_Etendu(numero, 0, fd, g);
  if (lectureSeule) disque->modifiable_ = false;
  return disque;
}

const char* cheminPropreDisque(uint8_t numero) { return nomDisque(numero); }

void Disque::trouverPeripheriquesPartitions(T_ListePartitions* liste) {
  TRACER_APPEL();
  OptionsSupportBloc* options = optionsSupportBloc();
  if (!options || !options->chercherCheminsPartitions()) return;
  const char* nom = nomDisque(numeroDisque_);
  if (!nom) return;
  char* prefixe = prefixePartitions(nom);
  const size_t longueur = strlen(prefixe);
  if (!liste) {
    char* motif = texteFormate("%s*", prefixe);
    glob64_t trouves;
    memset(&trouves, 0, sizeof trouves);
    if (appelsSysteme.glob64(motif, GLOB_NOSORT | GLOB_NOESCAPE, nullptr, &trouves) == 0) {
      for (size_t i = 0; i < trouves.gl_pathc; ++i) {
        const char* c = trouves.gl_pathv[i];
        if (c && strlen(c) > longueur && suiviDeChiffres(c, prefixe)) ajouterChemin(c, false);
      }
      appelsSysteme.globfree64(&trouves);
    }
    free(motif);
  } else {
    // "%s%u": the prefix once, then each number after it (10 digits at most).
    char* chemin = static_cast<char*>(xmalloc(longueur + 11));
    memcpy(chemin, prefixe, longueur);
    for (size_t i = 0; i < liste->count(); ++i) {
      Partition* p = (*liste)[i];
      formaterMessage(chemin + longueur, 11, "%u", static_cast<unsigned>(p->numero()));
      if (appelsSysteme.access(chemin, F_OK) == 0) p->ajouterChemin(chemin, true);
    }
    free(chemin);
  }
  free(prefixe);
}

// ---------------------------------------------------------------- Disque_Etendu

Disque_Etendu::Disque_Etendu(uint8_t numero, uint8_t modeAcces, int32_t fd,
                             const T_InfoDisque& geometrie)
    : Disque(numero, geometrie),
      fd_(fd),
      ecrit_(false),
      modeAcces_(modeAcces),
      genreTransfert_(genreDeTransfert(modeAcces)) {
  TRACER_APPEL();
  if (fd_ < 0) return;
  preparerGeometrie();
}

Disque_Etendu::~Disque_Etendu() {
  TRACER_APPEL();
  fermerAcces();
  if (fd_ < 0) return;
  appelsSysteme.fsync(fd_);
  appelsSysteme.ioctl(fd_, BLKFLSBUF, nullptr);
  if (ecrit_) {
    appelsSysteme.sleep(1);
    appelsSysteme.ioctl(fd_, BLKRRPART, nullptr);
    ecrit_ = false;
  }
  LockManager::unlockPhysical(fd_);
  appelsSysteme.close(fd_);
  fd_ = -1;
}

BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const>
Disque_Etendu::geometriesPossibles() const {
  TRACER_APPEL();
  BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometries =
      Disque::geometriesPossibles();
  struct hd_geometry h;
  memset(&h, 0, sizeof h);
  if (fd_ >= 0 && appelsSysteme.ioctl(fd_, HDIO_GETGEO, &h) == 0) {
    // 254 heads when unknown: a count of 255 or 256 does not suit every BIOS.
    T_HeadsSectorsNumber systeme = {1, h.sectors >= 1 && h.sectors <= 63 ? h.sectors : 63,
                                    h.heads != 0 ? h.heads : 254};
    geometries.add(systeme);
  }
  return geometries;
}

char* Disque_Etendu::description(int niveau) const {
  TRACER_APPEL();
  if (niveau != 1) return Disque::description(niveau);
  const char* nom = "";
  if (chemins_.count() > 0 && cheminsPeripherique_[0] && chemins_[0]) {
    const char* barre = strrchr(chemins_[0], '/');
    nom = barre ? barre + 1 : chemins_[0];
  }
  char* taille = texteTaille(static_cast<uint64_t>(tailleSecteur_) * nombreSecteurs_, true);
  char* texte = texteFormate("Disk number %u (%s) (%s, extended access)",
                             static_cast<unsigned>(numeroDisque_), nom, taille);
  free(taille);
  return texte;
}

bool Disque_Etendu::lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage) {
  TRACER_APPEL();
  if (fd_ < 0) return false;
  return lireSecteursDisque(fd_, premier, nombre, tailleSecteur_, tampon);
}

bool Disque_Etendu::ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                                   T_RappelMessage) {
  TRACER_APPEL();
  if (fd_ < 0) return false;
  ecrit_ = true;
  return ecrireSecteursDisque(fd_, premier, nombre, tailleSecteur_, donnees);
}

const char* Disque_Etendu::ouvrir() {
  TRACER_APPEL();
  const char* refus = Support_Bloc::ouvrir();
  if (refus || fd_ < 0) return refus;
  // Path 0 is held by the physical lock; the partitions' names are locked here.
  return verrouillerChemins(1);
}

void Disque_Etendu::fermer() {
  TRACER_APPEL();
  if (fd_ >= 0) deverrouillerChemins(1);
  Support_Bloc::fermer();
}
