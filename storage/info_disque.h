// Disk and partition blocks shared by the media and the backup-file header.
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/petit_boutien.h"

// Access types of a disk.
const uint8_t ACCES_ETENDU = 0;   // linear sector access
const uint8_t ACCES_STANDARD = 1; // CHS access

#pragma pack(push, 1)
struct T_InfoDisque {
  T_LE64 derniereTete;      // heads - 1
  T_LE64 dernierCylindre;   // cylinders - 1
  T_LE64 secteursParPiste;
  T_LE64 nombreSecteurs;
  T_LE16 tailleSecteur;
  uint8_t typeAcces;        // ACCES_ETENDU or ACCES_STANDARD
  uint8_t nonUtilise[3];    // first 3 type-GUID bytes in a saved GPT partition's header
};

struct T_InfoPartition {
  uint8_t numeroPrincipal;  // 1-4, the extended partition's for a logical one; GPT entry
  uint8_t numeroEtendue;    // 1, 2, ... inside the extended partition; 0 for a main one
  uint8_t typePartition;    // MBR type byte; 0 for GPT
  T_LE16 debutSecteur;      // CHS, 1-based
  T_LE16 debutCylindre;
  uint8_t debutTete;
  T_LE16 finSecteur;
  T_LE16 finCylindre;
  uint8_t finTete;
  T_LE64 premierSecteur;    // from the start of the disk
  T_LE64 nombreSecteurs;
};
#pragma pack(pop)

static_assert(sizeof(T_InfoDisque) == 38, "T_InfoDisque is 38 bytes");
static_assert(offsetof(T_InfoDisque, tailleSecteur) == 32, "T_InfoDisque layout");
static_assert(offsetof(T_InfoDisque, typeAcces) == 34, "T_InfoDisque layout");
static_assert(sizeof(T_InfoPartition) == 29, "T_InfoPartition is 29 bytes");
static_assert(offsetof(T_InfoPartition, debutSecteur) == 3, "T_InfoPartition layout");
static_assert(offsetof(T_InfoPartition, finSecteur) == 8, "T_InfoPartition layout");
static_assert(offsetof(T_InfoPartition, finTete) == 12, "T_InfoPartition layout");
static_assert(offsetof(T_InfoPartition, premierSecteur) == 13, "T_InfoPartition layout");
static_assert(offsetof(T_InfoPartition, nombreSecteurs) == 21, "T_InfoPartition layout");
