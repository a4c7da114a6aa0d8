// Partition and Partition_MBR: references, forwarded transfers, header
// blocks and descriptions.
#include "storage/partition.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/options.h"
#include "core/texte.h"
#include "storage/file_header.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"
#include "storage/texte_alloue.h"
#include "storage/types_mbr.h"

namespace {

const char* const AIDE_ELEMENT =
    "This window requests you what you want to save of the element:\n\n"
    "* All sectors: every sector of the element, used or not.\n\n"
    "* Occupied sectors: only the sectors that the file system uses.\n\n"
    "* Element on itself: the occupied sectors, saved so that the element can be\n"
    "restored on itself.\n\n"
    "* Occupied sectors without swap files (FAT and NTFS only): the occupied\n"
    "sectors, without those of the swap and hibernation files.\n\n"
    "* Element on itself without swap files: the same, restorable on itself.\n\n"
    "* Boot sector or super bloc: only the first sectors of the element.";

}  // namespace

Partition::Partition(Disque* disque, int32_t type, int32_t numero, const T_InfoPartition& entree,
                     Partition* etendue)
    : Support_Bloc(disque->tailleSecteur(), entree.premierSecteur.lire(),
                   entree.nombreSecteurs.lire(), disque->secteursParPiste(), disque->nombreTetes(),
                   disque->nombreCylindres(), disque->acces(), disque->octetMedia(),
                   disque->lecteurBios()),
      disque_(disque->acquerir(0)),
      entree_(entree),
      cylindresCaches_(0),
      numero_(numero),
      etendue_(nullptr) {
  TRACER_APPEL();
  identifiant_ = T_Identifiant(type, &disque->identifiant(), numero);
  if (etendue) etendue_ = etendue->acquerir(0);
}

Partition::~Partition() {
  TRACER_APPEL();
  fermerAcces();
  Partition* etendue = etendue_;
  etendue_ = nullptr;
  if (etendue) etendue->liberer(0);
  Disque* disque = disque_;
  disque_ = nullptr;
  if (disque) disque->liberer(0);
}

Partition* Partition::acquerir(int drapeaux) {
  TRACER_APPEL();
  Support_Bloc::acquerir(drapeaux);
  disque_->acquerir(0);
  if (etendue_) etendue_->acquerir(0);
  return this;
}

const Partition* Partition::acquerirConst(int drapeaux) const {
  TRACER_APPEL();
  Support_Bloc::acquerirConst(drapeaux);
  disque_->acquerirConst(0);
  if (etendue_) etendue_->acquerirConst(0);
  return this;
}

bool Partition::liberer(int drapeaux) {
  TRACER_APPEL();
  // Read before the release: a deleted partition has no fields left.
  Partition* etendue = etendue_;
  Disque* disque = disque_;
  if (Support_Bloc::liberer(drapeaux)) return true;
  if (etendue) etendue->liberer(0);
  disque->liberer(0);
  return false;
}

bool Partition::dependDe(const Support_Bloc* autre) const {
  TRACER_APPEL();
  return Support_Bloc::dependDe(autre) || disque_->dependDe(autre) ||
         (etendue_ && etendue_->dependDe(autre));
}

BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const>
Partition::geometriesPossibles() const {
  TRACER_APPEL();
  return disque_->geometriesPossibles();
}

BasicArray<Support_Bloc*, Support_Bloc* const> Partition::sousSupports(bool* choisisSeulement) {
  TRACER_APPEL();
  return Support_Bloc::sousSupports(choisisSeulement);
}

bool Partition::estModifiable() const {
  TRACER_APPEL();
  return modifiable_ && disque_->estModifiable();
}

void Partition::remplirInfo(T_FileHeader* entete) const {
  TRACER_APPEL();
  disque_->remplirInfo(entete);
  Support_Bloc::remplirInfo(entete);
  entete->infoPartition = entree_;
  entete->incrementNecessaire = cylindresCaches_;
}

void Partition::signalerOptions() {
  TRACER_APPEL();
  disque_->signalerOptions();
  OptionsSupportBloc* options = optionsSupportBloc();
  if (!options) return;
  options->signalerPartition(numeroPrincipal());
  options->signalerNumeroEtendue(numeroDansEtendue());
}

void Partition::actionVide1() { Support_Bloc::actionVide1(); }

void Partition::actionVide2() { Support_Bloc::actionVide2(); }

void Partition::ajouterChemin(const char* chemin, bool peripherique) {
  TRACER_APPEL();
  disque_->ajouterChemin(chemin, false);
  if (etendue_) etendue_->ajouterChemin(chemin, false);
  Support_Bloc::ajouterChemin(chemin, peripherique);
}

void Partition::retirerChemin(const char* chemin) {
  TRACER_APPEL();
  disque_->retirerChemin(chemin);
  if (etendue_) etendue_->retirerChemin(chemin);
  Support_Bloc::retirerChemin(chemin);
}

const char* Partition::retirerDuCache() {
  TRACER_APPEL();
  const char* resultat = Support_Bloc::retirerDuCache();
  if (estEtendue()) {
    // The disk's table changes with an extended partition's.
    const char* duDisque = disque_->retirerDuCache();
    if (duDisque) resultat = duDisque;
  }
  return resultat;
}

bool Partition::accesDirect() const { return false; }

bool Partition::lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon,
                             T_RappelMessage rappel) {
  TRACER_APPEL();
  uint64_t surDisque;
  if (__builtin_add_overflow(entree_.premierSecteur.lire(), premier, &surDisque)) {
    errno = EINVAL;
    return false;
  }
  return disque_->lire(surDisque, nombre, tampon, rappel);
}

bool Partition::ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                               T_RappelMessage rappel) {
  TRACER_APPEL();
  uint64_t surDisque;
  if (__builtin_add_overflow(entree_.premierSecteur.lire(), premier, &surDisque)) {
    errno = EINVAL;
    return false;
  }
  return disque_->ecrireControle(surDisque, nombre, donnees, rappel, ouvert_);
}

const char* Partition::ouvrir() {
  TRACER_APPEL();
  const char* refus = Support_Bloc::ouvrir();
  if (refus) return refus;
  refus = refusOuverturePartition(this);
  if (refus) return refus;
  return verrouillerChemins(0);
}

void Partition::fermer() {
  TRACER_APPEL();
  if (!refusOuverturePartition(this)) deverrouillerChemins(0);
  Support_Bloc::fermer();
}

int32_t Partition::numeroPrincipal() const {
  TRACER_APPEL();
  return etendue_ ? etendue_->numeroPrincipal() : numero_;
}

uint8_t Partition::numeroDansEtendue() const { return etendue_ ? entree_.numeroEtendue : 0; }

const char* Partition::nomPeripherique() const {
  TRACER_APPEL();
  if (chemins_.count() == 0 || !cheminsPeripherique_[0] || !chemins_[0]) return nullptr;
  const char* barre = strrchr(chemins_[0], '/');
  return barre ? barre + 1 : chemins_[0];
}

void Partition::ajouterCylindresCaches(uint8_t nombre) {
  TRACER_APPEL();
  cylindresCaches_ = nombre;
  entree_.finCylindre.ecrire(static_cast<uint16_t>(entree_.finCylindre.lire() + nombre));
}

bool Partition::fenetreValide(const T_InfoPartition& entree) {
  TRACER_APPEL();
  uint64_t fin;
  return !__builtin_add_overflow(entree.premierSecteur.lire(), entree.nombreSecteurs.lire(), &fin);
}

char* Partition::description(int niveau) const {
  TRACER_APPEL();
  const bool logique = etendue_ != nullptr;
  const int32_t principal = numeroPrincipal();
  const unsigned dansEtendue = numeroDansEtendue();
  switch (niveau) {
    case 0:
      return texteFormate("Partition %u", static_cast<unsigned>(numero_));
    case 1: {
      char* taille = texteTaille(static_cast<uint64_t>(tailleSecteur_) * nombreSecteurs_, false);
      char* etat = texteDescription(15);
      char* type = texteType();
      char* colonnes = texteColonnesPartition(this, true);
      char* texte =
          logique ? texteFormate("Extended n %u | %s | %-20.20s | %10.10s | %-.14s",
                                 static_cast<unsigned>(principal), colonnes, type, taille, etat)
                  : texteFormate("Main part.   | %s | %-20.20s | %10.10s | %-.14s", colonnes,
                                 type, taille, etat);
      free(colonnes);
      free(taille);
      free(etat);
      free(type);
      return texte;
    }
    case 4: {
      char* colonne = disque_->texteDescription(4);
      char* barre = strchr(colonne, '|');
      if (barre) *barre = '\0';
      char* colonnes = texteColonnesPartition(this, false);
      char* texte = logique ? texteFormate("%-4.4s| n %3u of extended n %u  | %s", colonne,
                                           dansEtendue, static_cast<unsigned>(principal), colonnes)
                            : texteFormate("%-4.4s| main number %-10u | %s", colonne,
                                           static_cast<unsigned>(principal), colonnes);
      free(colonnes);
      free(colonne);
      return texte;
    }
    case 5:
    case 6: {
      char* duDisque = disque_->texteDescription(6);
      char* texte =
          logique ? texteFormate("%s\nPartition number: number %u of extended partition number %u.",
                                 duDisque, dansEtendue, static_cast<unsigned>(principal))
                  : texteFormate("%s\nPartition number: main number %u.", duDisque,
                                 static_cast<unsigned>(principal));
      free(duDisque);
      return texte;
    }
    case 7:
      return xstrdup("Part to save");
    case 8:
      return xstrdup("What do you want to save?");
    case 14: {
      const char* lecteur = lecteurPartition(this);
      char* type = texteType();
      char* taille = texteTaille(static_cast<uint64_t>(tailleSecteur_) * nombreSecteurs_, true);
      char* texte =
          lecteur
              ? texteFormate("Options file for a partition of type %s\nand of size %s (%s drive).\n",
                             type, taille, lecteur)
              : texteFormate("Options file for a partition of type %s\nand of size %s.\n", type,
                             taille);
      free(type);
      free(taille);
      return texte;
    }
    case 15:
      return const_cast<Partition*>(this)->texteEtat();
    case 16:
      return xstrdup(AIDE_ELEMENT);
    default:
      return Support_Bloc::description(niveau);
  }
}

Partition_MBR::Partition_MBR(Disque* disque, int32_t numero, const T_InfoPartition& entree,
                             Partition* etendue)
    : Partition(disque, ID_PARTITION_MBR, numero, entree, etendue) {
  TRACER_APPEL();
}

Partition_MBR::~Partition_MBR() {
  TRACER_APPEL();
  fermerAcces();
}

Partition_MBR* Partition_MBR::creer(Disque* disque, int32_t numero, const T_InfoPartition& entree,
                                    Partition* etendue) {
  TRACER_APPEL();
  Support_Bloc::T_Identifiant identifiant(ID_PARTITION_MBR, &disque->identifiant(), numero);
  Support_Bloc* trouve = SupportBlocManager::findSupport(identifiant);
  if (trouve) {
    Partition_MBR* partition = dynamic_cast<Partition_MBR*>(trouve);
    if (partition) return partition;
    // Not ours to keep: give back the reference the search took.
    trouve->liberer(0);
  }
  if (!fenetreValide(entree)) return nullptr;
  return new Partition_MBR(disque, numero, entree, etendue);
}

bool Partition_MBR::estFATOuCache() const { return estTypeFATOuCache(entree_.typePartition); }

bool Partition_MBR::estFAT() const { return estTypeFAT(entree_.typePartition); }

bool Partition_MBR::estNTFS() const { return estTypeNTFS(entree_.typePartition); }

bool Partition_MBR::estLinux() const { return estTypeLinux(entree_.typePartition); }

bool Partition_MBR::estEtendue() const { return estTypeEtendue(entree_.typePartition); }

bool Partition_MBR::estEtendueDOS() const { return estTypeEtendueDOS(entree_.typePartition); }

char* Partition_MBR::texteType() const {
  TRACER_APPEL();
  return nomTypePartition(entree_.typePartition);
}
