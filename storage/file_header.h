// Header that begins every file of a backup.
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/info_disque.h"
#include "storage/petit_boutien.h"

const uint16_t MAGIQUE_ENTETE = 0xAA55;
const uint16_t VERSION_ENTETE = 2;

#pragma pack(push, 1)
struct T_FileHeader {
  T_LE16 magique1;            // MAGIQUE_ENTETE
  T_LE16 version;             // VERSION_ENTETE
  uint8_t dernierFichier;     // last file of the backup
  T_LE32 crcDonnees;          // continued from crcAvant over this file's data
  T_LE32 crcEntete;           // of the 104 bytes with this field as 0
  uint8_t compression;
  uint8_t optionsElement;
  uint8_t typeElement;
  uint8_t typeSupport;        // kind of the medium's identifier (0 to 6)
  T_LE32 crcAvant;            // data CRC of the file before; 0 in the first
  T_LE64 tailleAvant;         // data bytes of the earlier files
  T_LE32 taille;              // data bytes of this file
  uint8_t numeroDisque;
  T_InfoDisque infoDisque;
  uint8_t incrementNecessaire; // hidden cylinders of a CHS-access disk
  T_InfoPartition infoPartition;
  T_LE16 magique2;            // MAGIQUE_ENTETE
};
#pragma pack(pop)

static_assert(sizeof(T_FileHeader) == 104, "T_FileHeader is 104 bytes");
static_assert(offsetof(T_FileHeader, crcDonnees) == 5, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, crcEntete) == 9, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, typeSupport) == 16, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, crcAvant) == 17, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, tailleAvant) == 21, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, taille) == 29, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, numeroDisque) == 33, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, infoDisque) == 34, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, incrementNecessaire) == 72, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, infoPartition) == 73, "T_FileHeader layout");
static_assert(offsetof(T_FileHeader, magique2) == 102, "T_FileHeader layout");
