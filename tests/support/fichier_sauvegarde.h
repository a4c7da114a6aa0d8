// Backup files made from field values, for the tests of the header code and
// of archlens: the 104-byte header, the 20-byte subheader when due, the data,
// with every CRC computed by zlib as the format defines. The bytes are placed
// by their offsets in the file, independently of the product's structures.
//
//   ChampsSauvegarde c;                  // a valid whole-disk backup
//   c.typeElement = 3;                   // a FAT32 file system: subheader due
//   c.donnees = std::string(1000, 'x');
//   ecrireSauvegarde(chemin, c);
//   std::vector<std::string> parts = sauvegardeEnPlusieursFichiers(c, {600, 400});
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ChampsSauvegarde {
  uint16_t magique1 = 0xAA55;
  uint16_t version = 2;
  uint8_t dernierFichier = 1;
  uint8_t compression = 0;
  uint8_t optionsElement = 0;
  uint8_t typeElement = 0;       // 0 all sectors ... 11 GPT table
  uint8_t typeSupport = 1;       // 0 MBR partition ... 6 raw file of a drive
  uint32_t crcAvant = 0;
  uint64_t tailleAvant = 0;
  uint8_t numeroDisque = 0;
  // Disk block (offsets 34 to 71).
  uint64_t derniereTete = 15;
  uint64_t dernierCylindre = 1023;
  uint64_t secteursParPiste = 63;
  uint64_t tailleDisque = 1032192;
  uint16_t tailleSecteur = 512;
  uint8_t typeAcces = 0;
  uint8_t nonUtilise[3] = {0, 0, 0};
  uint8_t incrementNecessaire = 0;
  // Partition block (offsets 73 to 101).
  uint8_t numeroPrincipal = 0;
  uint8_t numeroEtendue = 0;
  uint8_t typePartition = 0;
  uint16_t debutSecteur = 0, debutCylindre = 0;
  uint8_t debutTete = 0;
  uint16_t finSecteur = 0, finCylindre = 0;
  uint8_t finTete = 0;
  uint64_t premierSecteur = 0;
  uint64_t nombreSecteurs = 0;
  uint16_t magique2 = 0xAA55;
  // For a GPT partition: the type GUID in on-disk order, written over bytes
  // 69-71 and 73-85 (after the fields above).
  bool avecGuidType = false;
  uint8_t guidType[16] = {};
  // Subheader: by the format's rule (file system and no size before) unless
  // forced either way.
  enum { SELON_FORMAT, TOUJOURS, JAMAIS } sousEntete = SELON_FORMAT;
  uint64_t nbSecteursMin = 0;
  uint64_t nbSecteursMax = 0;
  std::string donnees;
  // The size field; -1: the length of the data.
  int64_t taille = -1;
};

// Whether the format's rule puts a subheader in this file.
bool sousEnteteDue(const ChampsSauvegarde& c);
// The file's bytes: header, subheader when present, data.
std::string octetsSauvegarde(const ChampsSauvegarde& c);
bool ecrireSauvegarde(const std::string& chemin, const ChampsSauvegarde& c);
// One backup cut into files of the given data sizes (their sum is the data's
// length): CRC before and size before chained, last-file flag on the last.
std::vector<std::string> sauvegardeEnPlusieursFichiers(const ChampsSauvegarde& c,
                                                       const std::vector<size_t>& tailles);
// Offsets of the CRC fields, for tests that patch them.
const size_t POSITION_CRC_DONNEES = 5;
const size_t POSITION_CRC_ENTETE = 9;
const size_t POSITION_CRC_SOUS_ENTETE = 120;
