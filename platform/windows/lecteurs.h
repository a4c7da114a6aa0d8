// Drive letters (the set of letters, CD-ROM and removable tests, the 9x DOS
// drive map) and the mapping of a disk's partitions to the system's volumes
// on the NT family: each volume says where it lies on the disk, and its path
// goes to the partition that starts and ends there (or to the disk).
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/tableau.h"
#include "storage/disque.h"

// 32 letters from 'A' (to '`').
uint32_t nombreLettresLecteurs();
// 'A' + index below nombreLettresLecteurs, else 0.
char lettreLecteur(uint32_t index);
bool estLecteurCDROM(char lettre);
// 9x: makes the letter the active one of its drive map (nothing on NT).
void activerLettreLecteur(char lettre);
// 9x: errno 0 and true when the drive map gives the letter to another
// letter; else errno 19 (ENODEV) and false. NT: false, errno untouched.
bool estLettreRemappee(char lettre);
// True (errno 0) for a usable letter, *amovible telling a removable or
// CD-ROM drive; false for an unusable one (errno 2 when it has no root).
bool verifierLettreLecteur(char lettre, bool* amovible);

// The volume enumeration: kernel32 directly on x86-64, the run-time entry
// points on i686 (a missing one answers INVALID_HANDLE_VALUE or false).
HANDLE appelFindFirstVolume(char* nom, uint32_t longueur);
bool appelFindNextVolume(HANDLE recherche, char* nom, uint32_t longueur);
void appelFindVolumeClose(HANDLE recherche);
bool appelGetVolumePathNames(const char* volume, char* tampon, uint32_t longueur,
                             uint32_t* longueurVoulue);

// One volume position already given a path, in the disk's sectors.
struct T_PartitionMapping {
  uint64_t premier;
  uint64_t nombre;
};
typedef BasicArray<T_PartitionMapping, T_PartitionMapping const> T_Correspondances;

// Gives each partition of the list (or, without one, the disk) the path of
// the volume that covers it exactly: a drive path, else a volume name, else
// a partition device path. NT only, and only when the options ask for
// partition paths.
void construireCorrespondances(Disque* disque, T_ListePartitions* liste);
// Asks the volume open on handle for its position and attaches the path
// where it fits, once per position.
void ajouterCorrespondance(Disque* disque, const char* chemin, HANDLE volume,
                           T_ListePartitions* liste, T_Correspondances* correspondances);

extern template class VirtualArray<T_PartitionMapping, T_PartitionMapping const>;
extern template class BasicArray<T_PartitionMapping, T_PartitionMapping const>;
