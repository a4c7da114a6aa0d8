// One disk's report: the disk block, a block per partition with its names
// and lock attempts, the coherence checks of the table, the GPT
// verification when due.
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/formats.h"
#include "core/texte.h"
#include "programs/commun/frontal.h"
#include "programs/tablens/tablens.h"
#include "programs/tablens/verrous_noms.h"
#include "storage/chs.h"
#include "storage/disque.h"
#include "storage/file_header.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/plateforme.h"
#include "storage/texte_alloue.h"

namespace {

const uint8_t TYPE_PROTECTEUR_GPT = 0xEE;
const uint64_t MEGA_OCTET = 1048576;

// f + n, held at 2^64 - 1 for a window that would wrap.
uint64_t finFenetre(uint64_t premier, uint64_t nombre) {
  return nombre > UINT64_MAX - premier ? UINT64_MAX : premier + nombre;
}

void afficherBlocDisque(uint8_t numero, Disque* disque, T_TableauxRapport* tableaux,
                        bool* enteteGPT) {
  TRACER_APPEL();
  char* taille = texteMegaOctets(disque->nombreSecteurs(), disque->tailleSecteur());
  afficherMessage("Disk %u: Last cylinder: " FMT_U64 "\n        Last head: " FMT_U64
                  "\n        Last sector: " FMT_U64 "\n        Sector size: %u\n"
                  "        Disk size: " FMT_U64 " sectors - %s MB\n        Access type: %s\n",
                  static_cast<unsigned>(numero), disque->nombreCylindres() - 1,
                  disque->nombreTetes() - 1, disque->secteursParPiste(),
                  static_cast<unsigned>(disque->tailleSecteur()), disque->nombreSecteurs(), taille,
                  disque->acces() != 0 ? "CHS" : "linear");
  free(taille);
  uint32_t identifiant = 0;
  if (disque->lireIdentifiantWindows(&identifiant))
    afficherMessage("        Windows disk identifier: 0x%08x\n", identifiant);
  uint8_t guid[TAILLE_GUID];
  *enteteGPT = disque->lireGUIDDisque(guid);
  if (*enteteGPT) {
    char* texte = texteGUID(guid);
    afficherMessage("        GUID: %s\n", texte);
    free(texte);
  }
  // A Linux disk's first name is its own device, the others its
  // partitions'; a Windows disk has only its partitions' letters and
  // volumes, all of them listed.
  tableaux->chemins = disque->chemins();
  const size_t premier =
      tableaux->chemins.count() > 0 && cheminPropreDisque(numero) != nullptr ? 1 : 0;
  afficherMessage("        Drives letter:");
  for (size_t i = premier; i < tableaux->chemins.count(); ++i)
    afficherMessage(i + 1 < tableaux->chemins.count() ? " %s," : " %s", tableaux->chemins[i]);
  afficherMessage("\n");
}

void afficherEntetePartition(Partition* partition, const T_FileHeader& info, const char* type) {
  TRACER_APPEL();
  const T_InfoPartition& p = info.infoPartition;
  const unsigned numero = static_cast<unsigned>(partition->numero());
  if (partition->identifiant().type() != ID_PARTITION_MBR) {
    uint8_t guidType[TAILLE_GUID];
    info.guidTypeGPT(guidType);
    char* texte = texteGUID(guidType);
    afficherMessage("Partition %u: Partition type: %s (%s)\n", numero, texte, type);
    free(texte);
    const Partition_GPT* gpt = dynamic_cast<const Partition_GPT*>(partition);
    if (gpt != nullptr) {
      texte = texteGUID(gpt->guidUnique());
      afficherMessage("             GUID: %s\n", texte);
      free(texte);
    }
    return;
  }
  afficherMessage("Partition %u: main partition: %u, extended partition: %u\n", numero,
                  unsigned{p.numeroPrincipal}, unsigned{p.numeroEtendue});
  afficherMessage("             Partition type: 0x%02x (%s)\n", unsigned{p.typePartition}, type);
  afficherMessage("             Begin cylinder: %u\n             Begin head: %u\n"
                  "             Begin sector: %u\n",
                  unsigned{p.debutCylindre.lire()}, unsigned{p.debutTete},
                  unsigned{p.debutSecteur.lire()});
  afficherMessage("             End cylinder: %u\n             End head: %u\n"
                  "             End sector: %u\n",
                  unsigned{p.finCylindre.lire()}, unsigned{p.finTete},
                  unsigned{p.finSecteur.lire()});
}

// Each name with its lock attempt, a pause every 12 lines (the block above
// counts 10), then every lock given back.
void afficherNoms(Partition* partition, StringArray* chemins) {
  TRACER_APPEL();
  *chemins = partition->chemins();
  int lignes = 10;
  bool enAttente = false;
  for (size_t i = 0; i < chemins->count(); ++i) {
    const char* nom = (*chemins)[i];
    afficherMessage("             Drive letter: %s, ", nom);
    if (nom == nullptr) {
      afficherMessage("not trying to lock it\n");
    } else {
      bool lectureSeule = false;
      const char* refus = verrouillerNom(nom, &lectureSeule);
      if (refus != nullptr) {
        signalerRefusVerrou(nom, refus);
        pauseEcran(true);
        lignes = 0;
        enAttente = false;
        continue;
      }
      afficherMessage("locked%s\n", lectureSeule ? " read-only" : "");
    }
    enAttente = true;
    if (++lignes == 12) {
      pauseEcran(true);
      lignes = 0;
      enAttente = false;
    }
  }
  for (size_t i = chemins->count(); i-- > 0;)
    if ((*chemins)[i] != nullptr) deverrouillerNom((*chemins)[i]);
  pauseEcran(enAttente || chemins->count() == 0);
}

void afficherPartition(Disque* disque, Partition* partition, StringArray* chemins) {
  TRACER_APPEL();
  // remplirInfo writes every field read here; zeroed all the same so that
  // no stack bytes could ever reach the report.
  T_FileHeader info;
  memset(&info, 0, sizeof info);
  partition->remplirInfo(&info);
  char* type = partition->texteType();
  afficherEntetePartition(partition, info, type);
  free(type);
  const uint64_t nombre = info.infoPartition.nombreSecteurs.lire();
  char* taille = texteMegaOctets(nombre, disque->tailleSecteur());
  afficherMessage("             First sector: " FMT_U64 "\n             Partition size: " FMT_U64
                  " sectors - %s MB\n",
                  info.infoPartition.premierSecteur.lire(), nombre, taille);
  free(taille);
  afficherNoms(partition, chemins);
}

const char* const CHEVAUCHEMENT =
    "Error: begin of partition %u overlaps end of previous partition\n(" FMT_U64 " < " FMT_U64
    ").\n";

// The table's coherence; true when a message was printed.
bool verifierCoherence(Disque* disque, const T_ListePartitions& partitions, bool etendreTaille) {
  TRACER_APPEL();
  uint64_t finPrecedente = 0;  // sector after the previous partition
  uint64_t finEtendue = 0;     // sector after the open extended partition, 0 when none
  uint64_t finDerniereEtendue = 0;
  bool signale = false;
  for (size_t i = 0; i < partitions.count(); ++i) {
    Partition* p = partitions[i];
    const uint64_t premier = p->premierSecteur();
    const uint64_t fin = finFenetre(premier, p->nombreSecteurs());
    const unsigned numero = static_cast<unsigned>(p->numero());
    if (premier < finPrecedente) {
      afficherMessage(CHEVAUCHEMENT, numero, premier, finPrecedente - 1);
      signale = true;
    } else if (p->etendue() != nullptr) {
      // Against its own extended partition, also after a main partition
      // that closed the open one.
      const Partition* e = p->etendue();
      const uint64_t finParent = finFenetre(e->premierSecteur(), e->nombreSecteurs());
      if (fin > finParent) {
        afficherMessage("Error: partition %u is bigger than the extended partition where it is "
                        "defined\n(" FMT_U64 " > " FMT_U64 ").\n",
                        numero, fin - 1, finParent - 1);
        signale = true;
      }
      finPrecedente = fin;
    } else {
      if (finEtendue != 0 && premier < finEtendue) {
        afficherMessage(CHEVAUCHEMENT, numero, premier, finEtendue - 1);
        signale = true;
      }
      if (p->estEtendue()) {
        finPrecedente = premier;
        finEtendue = fin;
        if (fin > finDerniereEtendue) finDerniereEtendue = fin;
      } else {
        finEtendue = 0;
        finPrecedente = fin;
      }
    }
    if (disque->acces() == ACCES_STANDARD && !verifierCHSPartition(disque, p)) signale = true;
  }
  // An extended partition past the end counts as much as a partition.
  const uint64_t finTable = finPrecedente > finDerniereEtendue ? finPrecedente : finDerniereEtendue;
  const uint64_t n = disque->nombreSecteurs();
  if (finTable > n) {
    afficherMessage("Error: last partition is bigger than disk (" FMT_U64 " > " FMT_U64 ").\n",
                    finTable - 1, n - 1);
    if (franchitLimiteTaille(n, finTable)) {
      int limite = finTable > 268435455 ? 128 : finTable < 66060288 ? 8 : 32;
      afficherMessage("This seems to be due to OS limitation.\nYou could need to update it for it "
                      "to accept disk bigger than %d Gib.\n",
                      limite);
      afficherMessage("Unless you update it, you should not use the %s Talvermoss\nversion but "
                      "version that runs on the OS that was used to create these\npartitions.\n",
                      NOM_SYSTEME_TABLENS);
    } else {
      afficherIndication(etendreTaille);
    }
    signale = true;
  }
  return signale;
}

}  // namespace

char* texteMegaOctets(uint64_t secteurs, uint16_t tailleSecteur) {
  TRACER_APPEL();
  if (tailleSecteur == 0 || secteurs <= UINT64_MAX / tailleSecteur)
    return texteRapport(secteurs * tailleSecteur, MEGA_OCTET, 0, 2, false);
  // secteurs = haut x 2^20 + bas: haut x taille is whole megabytes.
  const uint64_t haut = secteurs >> 20;
  const uint64_t bas = (secteurs & (MEGA_OCTET - 1)) * tailleSecteur;
  uint64_t entier = haut * tailleSecteur + (bas >> 20);
  const uint64_t centiemes = (bas & (MEGA_OCTET - 1)) * 100;
  uint64_t fraction = centiemes >> 20;
  // Half up, as texteRapport rounds.
  if ((centiemes & (MEGA_OCTET - 1)) >= MEGA_OCTET / 2 && ++fraction == 100) {
    fraction = 0;
    ++entier;
  }
  return texteFormate(FMT_U64 ".%02u", entier, static_cast<unsigned>(fraction));
}

void afficherIndication(bool etendreTaille) {
  TRACER_APPEL();
  if (etendreTaille) {
    afficherMessage("Using -tds option seems to not be enough to solve this problem. Either your\n");
    afficherMessage("partitions table is wrong or you need to use the Talvermoss version that\n"
                    "runs on the OS that was used to create these partitions.\n");
  } else {
    afficherMessage("This can be due to difference in detection of disk size depending on used OS.\n");
    afficherMessage("You can try to use the -tds option to see if it works.\n");
    afficherMessage("Nevertheless, it is better to use the Talvermoss version that runs on\n"
                    "the OS that was used to create these partitions.\n");
  }
}

bool verifierCHSPartition(Disque* disque, Partition* partition) {
  TRACER_APPEL();
  T_FileHeader info;
  memset(&info, 0, sizeof info);
  disque->remplirInfo(&info);
  const uint64_t derniereTete = info.infoDisque.derniereTete.lire();
  const uint64_t dernierCylindre = info.infoDisque.dernierCylindre.lire();
  const uint64_t dernierSecteur = info.infoDisque.secteursParPiste.lire();
  const uint64_t increment = info.incrementNecessaire;
  const uint64_t h = disque->nombreTetes();
  const uint64_t s = disque->secteursParPiste();
  const uint64_t y = disque->nombreCylindres();

  const T_InfoPartition& e = partition->entree();
  const T_CHS debut = {e.debutTete, e.debutSecteur.lire(), e.debutCylindre.lire()};
  const T_CHS fin = {e.finTete, e.finSecteur.lire(), e.finCylindre.lire()};
  const unsigned k = static_cast<unsigned>(partition->numero());
  const uint64_t premier = e.premierSecteur.lire();
  const uint64_t nombre = e.nombreSecteurs.lire();
  const char* const HORS_DISQUE =
      "Error: %s CHS definition of partition %u does not fit into disk definition\n"
      "(%u - %u - %u <= %u - %u - %u <= " FMT_U64 " - " FMT_U64 " - " FMT_U64 ").\n";
  const char* const HORS_CYLINDRE =
      "Warning: %s CHS definition of partition %u is not at a cylinder boundary.\n"
      "This can be because of some bad definitions.\n";

  bool ok = true;
  uint64_t b = 0;
  const bool debutValide = disque->chsValide(debut);
  if (!debutValide) {
    afficherMessage(HORS_DISQUE, "begin", k, 0u, 0u, 1u, unsigned{debut.cylindre},
                    unsigned{debut.tete}, unsigned{debut.secteur}, y - 1, h - 1, s);
    ok = false;
  } else {
    b = disque->chsVersLBA(debut);
    if (!((debut.tete == 0 || debut.tete == 1) && debut.secteur == 1)) {
      afficherMessage(HORS_CYLINDRE, "begin", k);
      ok = false;
    }
  }
  if (!disque->chsValide(fin)) {
    afficherMessage(HORS_DISQUE, "end", k, 0u, 0u, 1u, unsigned{fin.cylindre}, unsigned{fin.tete},
                    unsigned{fin.secteur}, y - 1, h - 1, s);
    return false;
  }
  const uint64_t e_ = disque->chsVersLBA(fin);
  if (!(fin.tete == h - 1 && fin.secteur == s)) {
    afficherMessage(HORS_CYLINDRE, "end", k);
    ok = false;
  }
  uint64_t taille = e_ + 1 - b;
  // An end clipped at the CHS limit: the linear size may hold whole
  // cylinders more, up to the record's last cylinder.
  if (debutValide && fin.tete == derniereTete && fin.secteur == dernierSecteur &&
      fin.cylindre + increment >= dernierCylindre && taille != nombre) {
    const uint64_t cylindre = h * s;
    for (uint64_t j = 1; j <= 255 && fin.cylindre + j <= dernierCylindre; ++j) {
      const uint64_t essai = taille + j * cylindre;
      if (essai == nombre) {
        taille = nombre;
        break;
      }
      if (essai > nombre) break;
    }
  }
  if (taille != nombre || b != premier) {
    afficherMessage("Error: CHS and linear definitions for partition %u are different\n(" FMT_U64
                    " - " FMT_U64 " != " FMT_U64 " - " FMT_U64 ").\n",
                    k, b, taille, premier, nombre);
    ok = false;
  }
  return ok;
}

void afficherDisque(uint8_t numero, Disque* disque, T_TableauxRapport* tableaux,
                    bool etendreTaille) {
  TRACER_APPEL();
  bool enteteGPT = false;
  afficherBlocDisque(numero, disque, tableaux, &enteteGPT);

  bool choisies = false;
  tableaux->sousSupports = disque->sousSupports(&choisies);
  T_ListePartitions& partitions = tableaux->partitions;
  partitions.clear();
  for (size_t i = 0; i < tableaux->sousSupports.count(); ++i) {
    Support_Bloc* s = tableaux->sousSupports[i];
    const int32_t genre = s->identifiant().type();
    if (genre == ID_PARTITION_MBR || genre == ID_PARTITION_GPT)
      partitions.add(static_cast<Partition*>(s));
    else
      s->liberer(0);
  }
  tableaux->sousSupports.clear();

  if (partitions.count() == 0) {
    afficherMessage("Error: partitions table seems to be incorrect or empty.\n");
    afficherIndication(etendreTaille);
    pauseEcran(true);
    disque->liberer(0);
    return;
  }
  pauseEcran(true);
  for (size_t i = 0; i < partitions.count(); ++i)
    afficherPartition(disque, partitions[i], &tableaux->chemins);

  bool signale = verifierCoherence(disque, partitions, etendreTaille);
  Partition* seule = partitions.count() == 1 ? partitions[0] : nullptr;
  if (seule != nullptr && seule->identifiant().type() == ID_PARTITION_MBR &&
      seule->entree().typePartition == TYPE_PROTECTEUR_GPT) {
    verifierGPT(disque, nullptr, etendreTaille);
    signale = true;
  } else if (enteteGPT) {
    verifierGPT(disque, &partitions, etendreTaille);
    signale = true;
  }
  pauseEcran(signale);
  for (size_t i = 0; i < partitions.count(); ++i) partitions[i]->liberer(0);
  partitions.clear();
  disque->liberer(0);
}
