// FAT helpers: the geometry that follows from a boot sector's BIOS parameter
// block, the long-file-name checksum and the DOS date and time words.
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/petit_boutien.h"

#pragma pack(push, 1)
// A FAT boot sector as it is on disk. Crafted sectors are the normal case:
// a zero divisor or a data area past the end answers 0.
struct Secteur_Boot_FAT {
  uint8_t saut[3];
  uint8_t nomOEM[8];
  T_LE16 octetsParSecteur;      // 11
  uint8_t secteursParCluster;   // 13
  T_LE16 secteursReserves;      // 14
  uint8_t nombreFATs;           // 16
  T_LE16 entreesRacine;         // 17
  T_LE16 totalSecteurs16;       // 19
  uint8_t media;                // 21
  T_LE16 secteursParFAT16;      // 22
  T_LE16 secteursParPiste;      // 24
  T_LE16 nombreTetes;           // 26
  T_LE32 secteursCaches;        // 28
  T_LE32 totalSecteurs32;       // 32
  T_LE32 secteursParFAT32;      // 36, FAT32 only
  T_LE16 drapeauxEtendus;       // 40, FAT32 only: bit 7 mirroring off, bits 0-3 active FAT
  uint8_t suite[470];

  uint32_t secteursParFAT() const;
  // typeFAT: 12, 16 or 32.
  uint8_t fatActive(uint8_t typeFAT) const;
  uint8_t nombreFAT(uint8_t typeFAT) const;
  uint32_t secteursRepertoireRacine() const;
  // 64-bit: 255 FATs of 2^32 - 1 sectors do not fit in 32 bits.
  uint64_t premierSecteurDonnees() const;
  // Whole clusters after the data area's start, and the sectors left over.
  uint32_t nombreClusters(uint32_t* reste) const;
  uint32_t octetsParCluster() const;
};
#pragma pack(pop)

static_assert(sizeof(Secteur_Boot_FAT) == 512, "Secteur_Boot_FAT is one 512-byte sector");
static_assert(offsetof(Secteur_Boot_FAT, octetsParSecteur) == 11, "Secteur_Boot_FAT layout");
static_assert(offsetof(Secteur_Boot_FAT, totalSecteurs32) == 32, "Secteur_Boot_FAT layout");
static_assert(offsetof(Secteur_Boot_FAT, drapeauxEtendus) == 40, "Secteur_Boot_FAT layout");

// Checksum of an 11-byte short name that its long-name entries carry.
uint8_t sommeControleNomCourt(const uint8_t* nom);

// DOS time and date words (local time) and seconds since 1970 UTC. Bodies
// per platform.
uint64_t dateDosVersTemps(uint16_t heure, uint16_t date);
void tempsVersDateDos(uint64_t temps, uint16_t* heure, uint16_t* date);
