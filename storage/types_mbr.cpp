#include "storage/types_mbr.h"

#include <cstddef>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"

namespace {

const size_t TAILLE_NOM_TYPE = 21;

struct T_NomType {
  uint8_t type;
  const char* nom;  // a format with %x for the shared families
};

const T_NomType nomsTypes[] = {
    {0x00, "empty"},
    {0x01, "DOS FAT-12"},
    {0x02, "XENIX (%x)"},
    {0x03, "XENIX (%x)"},
    {0x04, "DOS FAT-16 < 32MB"},
    {0x05, "DOS extended part."},
    {0x06, "DOS FAT-16 >= 32MB"},
    {0x07, "NTFS,OS/2"},
    {0x08, "OS/2,AIX"},
    {0x09, "AIX,coherent"},
    {0x0A, "OS/2,OPUS,coherent"},
    {0x0B, "Win95 FAT-32 (%x)"},
    {0x0C, "Win95 FAT-32 (%x)"},
    {0x0E, "Win95 VFAT-16"},
    {0x0F, "Win95 extended part."},
    {0x10, "OPUS"},
    {0x11, "DOS FAT-12 hidden"},
    {0x14, "FAT-16 < 32MB hidden"},
    {0x16, "DOS FAT-16 hidden"},
    {0x17, "NTFS,OS/2 hidden"},
    {0x1B, "W95 FAT32 hidden(%x)"},
    {0x1C, "W95 FAT32 hidden(%x)"},
    {0x1E, "Win95 VFAT-16 hidden"},
    {0x24, "NEC"},
    {0x27, "NTFS MS Recovery"},
    {0x3C, "PQ-Magic"},
    {0x40, "Venix 80286"},
    {0x42, "Dynamic disk,SFS"},
    {0x44, "GoBack"},
    {0x4D, "QNX 4.x (%x)"},
    {0x4E, "QNX 4.x (%x)"},
    {0x4F, "QNX 4.x (%x)"},
    {0x51, "Novell (%x)"},
    {0x52, "CP/M,Microport"},
    {0x63, "Unix"},
    {0x64, "Novell (%x)"},
    {0x65, "Novell (%x)"},
    {0x67, "Novell (%x)"},
    {0x68, "Novell (%x)"},
    {0x69, "Novell (%x)"},
    {0x75, "PC/IX"},
    {0x80, "Minix"},
    {0x81, "Minix,Linux"},
    {0x82, "Linux swap"},
    {0x83, "Linux ext2fs"},
    {0x84, "OS/2"},
    {0x85, "Linux extended part."},
    {0x86, "NT"},
    {0x87, "HPFS,NTFS"},
    {0x8E, "Linux LVM"},
    {0x93, "Amoeba (%x)"},
    {0x94, "Amoeba (%x)"},
    {0xA5, "FreeBSD, BSD/386"},
    {0xA6, "OpenBSD"},
    {0xA7, "NeXTSTEP"},
    {0xA9, "NetBSD"},
    {0xB7, "BSDI (%x)"},
    {0xB8, "BSDI (%x)"},
    {0xC1, "DR-DOS FAT-12"},
    {0xC4, "DR-DOS FAT-16"},
    {0xC6, "DR-DOS,NT"},
    {0xC7, "NTFS,Syrinx"},
    {0xD8, "CP/M"},
    {0xDB, "CP/M,Concurrent DOS"},
    {0xE1, "DOS access"},
    {0xE3, "DOS read-only"},
    {0xEB, "BeOS"},
    {0xEE, "GUID part. table"},
    {0xEF, "EFI file system"},
    {0xF2, "DOS secondary"},
    {0xFD, "Linux raid"},
    {0xFE, "LANstep,IBM PS/2"},
    {0xFF, "Xenix,BBT"},
};

}  // namespace

char* nomTypePartition(uint8_t type) {
  TRACER_APPEL();
  char* nom = static_cast<char*>(xmalloc(TAILLE_NOM_TYPE));
  for (const T_NomType& entree : nomsTypes) {
    if (entree.type == type) {
      // The single names hold no directive, so one call serves both forms.
      formaterMessage(nom, TAILLE_NOM_TYPE, entree.nom, static_cast<unsigned>(type));
      return nom;
    }
  }
  formaterMessage(nom, TAILLE_NOM_TYPE, "%s (%3d)", "Unknown", static_cast<int>(type));
  return nom;
}

bool estTypeFAT(uint8_t type) {
  TRACER_APPEL();
  switch (type) {
    case 0x01: case 0x04: case 0x06: case 0x0B: case 0x0C: case 0x0E:
    case 0xC1: case 0xC4: case 0xC6:
      return true;
    default:
      return false;
  }
}

bool estTypeFATOuCache(uint8_t type) {
  TRACER_APPEL();
  switch (type) {
    case 0x11: case 0x14: case 0x16: case 0x1B: case 0x1C: case 0x1E:
      return true;
    default:
      return estTypeFAT(type);
  }
}

bool estTypeNTFS(uint8_t type) { return type == 0x07 || type == 0x17 || type == 0x27; }

bool estTypeLinux(uint8_t type) { return type == 0x83; }

bool estTypeEtendue(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool estTypeEtendueDOS(uint8_t type) { return type == 0x05 || type == 0x0F; }
