// Header that begins every file of a backup.
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/info_disque.h"
#include "storage/petit_boutien.h"

const uint16_t MAGIQUE_ENTETE = 0xAA55;
const uint16_t VERSION_ENTETE = 2;
const size_t TAILLE_ENTETE_FICHIER = 104;
const size_t TAILLE_SOUS_ENTETE = 20;

// What was saved (byte 15). Only the file systems (1 to 5) have a subheader.
enum T_ElementType : uint8_t {
  ELEMENT_TOUS_SECTEURS = 0,
  ELEMENT_FAT12 = 1,
  ELEMENT_FAT16 = 2,
  ELEMENT_FAT32 = 3,
  ELEMENT_EXT2 = 4,
  ELEMENT_NTFS = 5,
  ELEMENT_MBR = 6,
  ELEMENT_PREMIERS_SECTEURS = 7,
  ELEMENT_TABLE_MBR = 8,
  ELEMENT_SECTEUR_BOOT = 9,
  ELEMENT_SUPER_BLOC = 10,
  ELEMENT_TABLE_GPT = 11,
};

// Element option bits (byte 14); the others are carried as they are.
const uint8_t OPTION_SAUVE_SUR_LUI_MEME = 0x01;
const uint8_t OPTION_SANS_FICHIERS_ECHANGE = 0x02;
const uint8_t OPTION_SOUS_ENTETE_COMMUN = 0x04;
const uint8_t OPTIONS_AUTRES = 0xF8;

// Header check codes of the backup product (texteErreurEntete).
enum T_ErreurEntete : uint32_t {
  ERREUR_ENTETE_AUCUNE = 0,
  ERREUR_ENTETE_ACCES_FICHIER = 1,
  ERREUR_ENTETE_ABSENTE = 2,
  ERREUR_ENTETE_VERSION = 3,
  ERREUR_ENTETE_TAILLE_FICHIER = 4,
  ERREUR_ENTETE_CRC = 5,
  ERREUR_ENTETE_COMPRESSION = 6,
  ERREUR_ENTETE_OPTION_SF = 7,
  ERREUR_ENTETE_TYPE_SF = 8,
  ERREUR_ENTETE_TYPE_SUPPORT = 9,
  ERREUR_ENTETE_NUMERO_FICHIER = 10,
  ERREUR_ENTETE_FORMAT_DISQUE = 11,
  ERREUR_ENTETE_FORMAT_PARTITION = 12,
  ERREUR_ENTETE_OPTION_SF_INCONNUE = 13,
};

// Smallest and largest size, in sectors, a saved element could be restored to.
struct T_PlageTaille {
  uint64_t minimum;
  uint64_t maximum;
};

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

  // CRC-32 of the 104 bytes with crcEntete taken as 0.
  uint32_t calculerCrcEntete() const;
  // A subheader follows: a file system's first file.
  bool aSousEntete() const;
  // The GPT type GUID that a GPT partition's header keeps in bytes 69-71 and
  // 73-85, in on-disk order.
  void guidTypeGPT(uint8_t* guid) const;
  // Up to five lines (disk, partition, element type, size, size range), each
  // ending with a newline; newly allocated, null when there is no line.
  char* description(const T_PlageTaille* plage) const;
};

struct T_FileSubHeader {
  T_LE64 nbSecteursMin;
  T_LE64 nbSecteursMax;
  T_LE32 crc;                 // of the 20 bytes with this field as 0

  uint32_t calculerCrc() const;
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
static_assert(sizeof(T_FileSubHeader) == 20, "T_FileSubHeader is 20 bytes");
static_assert(offsetof(T_FileSubHeader, crc) == 16, "T_FileSubHeader layout");

// Data CRC: continued from the header's crcAvant over the file's data.
uint32_t continuerCrcDonnees(uint32_t crc, const void* donnees, size_t taille);

// Constant texts of the codes; "unknown" outside their tables.
const char* texteTypeElement(uint8_t type);
const char* texteTypeSupport(uint8_t type);
const char* texteTypeAcces(uint8_t type);
// "unknown error code" outside the table.
const char* texteErreurEntete(uint32_t code);
// Element types 1 to 5, the file systems.
bool estElementSystemeFichiers(uint8_t typeElement);
// Name of a saved GPT partition whose type has no name of its own (the basic
// data type), by element type.
const char* nomDonneesGPT(uint8_t typeElement);
