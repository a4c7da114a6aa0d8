#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "storage/file_header.h"
#include "support/fichier_sauvegarde.h"

namespace {

T_FileHeader enteteDe(const std::string& fichier) {
  T_FileHeader e;
  memcpy(&e, fichier.data(), sizeof e);
  return e;
}

// CRC-32 bit by bit (reflected 0xEDB88320), apart from zlib.
uint32_t crcBitABit(uint32_t crc, const std::string& octets) {
  crc = ~crc;
  for (unsigned char c : octets) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t lire32(const std::string& s, size_t position) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[position + i]);
  return v;
}

std::string description(const ChampsSauvegarde& c, const T_PlageTaille* plage = nullptr) {
  T_FileHeader e = enteteDe(octetsSauvegarde(c));
  char* t = e.description(plage);
  if (t == nullptr) return "(null)";
  std::string copie = t;
  free(t);
  return copie;
}

void mettreGuid(ChampsSauvegarde* c, const uint8_t (&guid)[16]) {
  c->avecGuidType = true;
  memcpy(c->guidType, guid, 16);
}

const uint8_t GUID_DONNEES[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                  0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
const uint8_t GUID_EFI[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                              0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};

}  // namespace

// The header, subheader and data CRCs of generated files, and the chained
// data CRC of a backup in three files against a bit-by-bit CRC of all data.
TEST(FileHeader, CRC) {
  ChampsSauvegarde c;
  c.typeElement = ELEMENT_FAT32;
  c.nbSecteursMin = 2048;
  c.nbSecteursMax = 1 << 20;
  c.donnees.assign(100000, '\0');
  for (size_t i = 0; i < c.donnees.size(); ++i) c.donnees[i] = static_cast<char>(i * 7 + i / 251);
  std::vector<std::string> fichiers = sauvegardeEnPlusieursFichiers(c, {40000, 60000, 0});
  ASSERT_EQ(fichiers.size(), 3u);
  uint64_t avant = 0;
  for (size_t i = 0; i < fichiers.size(); ++i) {
    T_FileHeader e = enteteDe(fichiers[i]);
    EXPECT_EQ(e.calculerCrcEntete(), e.crcEntete.lire()) << i;
    EXPECT_EQ(e.aSousEntete(), i == 0) << i;
    EXPECT_EQ(e.tailleAvant.lire(), avant);
    size_t debut = i == 0 ? 124 : 104;
    ASSERT_EQ(fichiers[i].size(), debut + e.taille.lire());
    if (i == 0) {
      T_FileSubHeader s;
      memcpy(&s, fichiers[i].data() + 104, sizeof s);
      EXPECT_EQ(s.calculerCrc(), s.crc.lire());
      EXPECT_EQ(s.nbSecteursMax.lire(), 1u << 20);
    }
    std::string donnees = fichiers[i].substr(debut);
    EXPECT_EQ(continuerCrcDonnees(e.crcAvant.lire(), donnees.data(), donnees.size()),
              e.crcDonnees.lire());
    avant += donnees.size();
    EXPECT_EQ(e.crcDonnees.lire(), crcBitABit(0, c.donnees.substr(0, avant))) << i;
    EXPECT_EQ(e.dernierFichier, i == 2 ? 1 : 0);
  }
  // Every byte of the header counts in its CRC, the CRC field excepted.
  std::string f = fichiers[0];
  const uint32_t stocke = lire32(f, POSITION_CRC_ENTETE);
  for (size_t i = 0; i < 104; ++i) {
    std::string g = f;
    g[i] ^= 0x10;
    EXPECT_EQ(enteteDe(g).calculerCrcEntete() == stocke, i >= 9 && i < 13) << i;
  }
}

TEST(FileHeader, SousEnteteSelonLeType) {
  EXPECT_FALSE(estElementSystemeFichiers(ELEMENT_TOUS_SECTEURS));
  EXPECT_FALSE(estElementSystemeFichiers(ELEMENT_MBR));
  ChampsSauvegarde c;
  c.typeElement = ELEMENT_NTFS;
  c.optionsElement = OPTION_SOUS_ENTETE_COMMUN;
  EXPECT_TRUE(enteteDe(octetsSauvegarde(c)).aSousEntete());
  c.tailleAvant = 1;
  EXPECT_FALSE(enteteDe(octetsSauvegarde(c)).aSousEntete());
  c.tailleAvant = 0;
  c.typeElement = ELEMENT_SECTEUR_BOOT;
  EXPECT_FALSE(enteteDe(octetsSauvegarde(c)).aSousEntete());
}

TEST(FileHeader, Textes) {
  EXPECT_STREQ(texteErreurEntete(0), "no error");
  EXPECT_STREQ(texteErreurEntete(13), "unknown filesystem option");
  EXPECT_STREQ(texteErreurEntete(14), "unknown error code");
  EXPECT_STREQ(texteErreurEntete(0xFFFFFFFFu), "unknown error code");
  EXPECT_STREQ(texteTypeElement(11), "GUID partitions table");
  EXPECT_STREQ(texteTypeElement(12), "unknown");
  EXPECT_STREQ(texteTypeSupport(6), "raw file of a drive");
  EXPECT_STREQ(texteTypeSupport(7), "unknown");
  EXPECT_STREQ(texteTypeAcces(2), "unknown");
}

TEST(FileHeader, Description) {
  struct Cas {
    const char* nom;
    void (*remplir)(ChampsSauvegarde*);
    const char* texte;
  };
  const Cas cas[] = {
      {"whole disk", [](ChampsSauvegarde*) {},
       "Disk number:   0.\nElement type: disk\nSize: 504.00 MB.\n"},
      {"logical MBR partition",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 0;
         c->numeroDisque = 12;
         c->numeroEtendue = 2;
         c->numeroPrincipal = 1;
         c->typePartition = 0x83;
         c->nombreSecteurs = 2048;
       },
       "Disk number:  12.\nPartition number: number 2 of extended partition number 1.\n"
       "Element type: Linux ext2fs\nSize: 1024.00 kB.\n"},
      {"boot sector of a main MBR partition: the disk's size",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 0;
         c->typeElement = ELEMENT_SECTEUR_BOOT;
         c->numeroPrincipal = 3;
         c->typePartition = 0x07;
         c->nombreSecteurs = 2048;
       },
       "Disk number:   0.\nPartition number: main number 3.\n"
       "Element type: boot sector (NTFS,OS/2)\nSize: 504.00 MB.\n"},
      {"GPT basic data saved as NTFS",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 4;
         c->typeElement = ELEMENT_NTFS;
         mettreGuid(c, GUID_DONNEES);
         c->nombreSecteurs = 4096;
       },
       "Disk number:   0.\nGPT partition of type EBD0A0A2-B9E5-4433-87C0-68B6B72699C7.\n"
       "Element type: NTFS\nSize: 2048.00 kB.\n"},
      {"GPT EFI partition",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 4;
         c->typeElement = ELEMENT_FAT32;
         mettreGuid(c, GUID_EFI);
       },
       "Disk number:   0.\nGPT partition of type C12A7328-F81F-11D2-BA4B-00A0C93EC93B.\n"
       "Element type: EFI file system\n"},
      {"GPT super block of basic data",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 4;
         c->typeElement = ELEMENT_SUPER_BLOC;
         mettreGuid(c, GUID_DONNEES);
         c->tailleDisque = 0;
       },
       "Disk number:   0.\nGPT partition of type EBD0A0A2-B9E5-4433-87C0-68B6B72699C7.\n"
       "Element type: super block (Data)\n"},
      {"raw file of a disk",
       [](ChampsSauvegarde* c) { c->typeSupport = 5; },
       "Element type: raw file of a disk\nSize: 504.00 MB.\n"},
      {"MBR of a disk: the element's size",
       [](ChampsSauvegarde* c) {
         c->typeElement = ELEMENT_MBR;
         c->nombreSecteurs = 1;
       },
       "Disk number:   0.\nElement type: master boot record\nSize: 0.50 kB.\n"},
      {"file system of a disk: no name",
       [](ChampsSauvegarde* c) { c->typeElement = ELEMENT_FAT16; },
       "Disk number:   0.\n"},
      {"super block of a floppy: the element's size",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 2;
         c->typeElement = ELEMENT_SUPER_BLOC;
         c->nombreSecteurs = 2880;
       },
       "Element type: super block (floppy)\nSize: 1440.00 kB.\n"},
      {"device", [](ChampsSauvegarde* c) { c->typeSupport = 3; },
       "Element type: device\nSize: 504.00 MB.\n"},
      {"first sectors of a drive file",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 6;
         c->typeElement = ELEMENT_PREMIERS_SECTEURS;
       },
       "Element type: raw file of a drive\nSize: 504.00 MB.\n"},
      {"unknown support, boot sector",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 9;
         c->typeElement = ELEMENT_SECTEUR_BOOT;
         c->nombreSecteurs = 1;
       },
       "Element type: boot sector\nSize: 0.50 kB.\n"},
      {"unknown support and kind, no size",
       [](ChampsSauvegarde* c) {
         c->typeSupport = 200;
         c->typeElement = 200;
         c->tailleDisque = 0;
       },
       "(null)"},
      // 2^60 sectors of 4096 bytes: 2^72 bytes, past any 64-bit product.
      {"crafted disk size",
       [](ChampsSauvegarde* c) {
         c->tailleDisque = uint64_t{1} << 60;
         c->tailleSecteur = 4096;
       },
       "Disk number:   0.\nElement type: disk\nSize: 4398046511104.00 GB.\n"},
      {"2^50 sectors of 512 bytes",
       [](ChampsSauvegarde* c) { c->tailleDisque = uint64_t{1} << 50; },
       "Disk number:   0.\nElement type: disk\nSize: 536870912.00 GB.\n"},
  };
  for (const Cas& k : cas) {
    ChampsSauvegarde c;
    k.remplir(&c);
    EXPECT_EQ(description(c), k.texte) << k.nom;
  }
}

TEST(FileHeader, PlageDeTaille) {
  ChampsSauvegarde c;
  c.typeSupport = 2;
  c.tailleDisque = 0;
  const T_PlageTaille plage = {2048, 4096};
  EXPECT_EQ(description(c, &plage),
            "Element type: floppy\nPotential size range: 1024.00 kB - 2048.00 kB.\n");
  for (const T_PlageTaille& sans : {T_PlageTaille{0, 4096}, T_PlageTaille{2048, 0}})
    EXPECT_EQ(description(c, &sans), "Element type: floppy\n");
  const T_PlageTaille enorme = {~uint64_t{0}, ~uint64_t{0}};
  EXPECT_EQ(description(c, &enorme),
            "Element type: floppy\nPotential size range: 8796093022208.00 GB - 8796093022208.00 GB.\n");
}
