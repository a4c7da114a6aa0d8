// Floppy drives, whole disks and partitions found under /dev, the process's
// disk and floppy lists, and the rule that names a disk's partitions.
// nombreDisques and nomDisque are declared for the storage model.
#pragma once
#include <cstdint>

#include "core/string_array.h"
#include "storage/plateforme.h"

// Kinds of enumeration.
const int PERIPHERIQUES_DISQUETTES = 0;
const int PERIPHERIQUES_DISQUES = 1;
const int PERIPHERIQUES_PARTITIONS = 2;

// Fills the list: floppies and disks in their keyed order then the named
// devices; partitions in scan order, then the named devices, then the disks
// without partitions. Entries already in the list are kept and their device
// numbers are not listed again.
void listerPeripheriques(int genre, StringArray& liste);

uint8_t compterDisquettes();
const char* nomDisquette(uint8_t numero);

// New texts (free()): the disk path followed by its family's separator;
// the disk of a partition path, or an unchanged copy.
char* prefixePartitions(const char* disque);
char* separerNumeroPartition(const char* chemin, bool* estPartition);
// texte is prefixe followed by decimal digits only (or by nothing): a
// partition name of the disk whose prefixePartitions is prefixe.
bool suiviDeChiffres(const char* texte, const char* prefixe);

void enregistrerNettoyagePlateforme();
void nettoyerListesPeripheriques();
// The next count lists the devices again (a test's new machine).
void oublierComptesPeripheriques();

// How one block device is taken by an enumeration.
enum T_ClassePeripherique {
  CLASSE_AUCUNE,     // skipped
  CLASSE_DISQUE,     // placed at its key (kinds 0 and 1)
  CLASSE_PARTITION,  // appended in scan order (kind 2)
  CLASSE_CANDIDAT,   // a whole disk listed in kind 2 when it has no partition
  CLASSE_NOMME,      // sorted by name and paired with its partitions
};
struct T_Classement {
  T_ClassePeripherique classe;
  uint32_t cle;
};
// repertoire: index of the scanned folder in the folder table ("/dev" 0,
// "/dev/mapper" 6, "/dev/md" 7), -1 for a subfolder.
T_Classement classerPeripherique(int genre, uint32_t majeur, uint32_t mineur, int repertoire,
                                 const char* chemin);
