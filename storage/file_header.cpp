#include "storage/file_header.h"

#include <zlib.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/texte.h"
#include "storage/gpt.h"
#include "storage/support_bloc.h"
#include "storage/types_mbr.h"

namespace {

const char* const textesTypeElement[] = {
    "all sectors", "FAT12",       "FAT16",                "FAT32",
    "ext2",        "NTFS",        "MBR",                  "first sectors",
    "MBR partitions table", "boot sector", "superblock", "GUID partitions table",
};

const char* const textesTypeSupport[] = {
    "MBR partition", "disk", "floppy", "device", "GPT partition", "raw file of a disk",
    "raw file of a drive",
};

const char* const textesErreurEntete[] = {
    "no error",           "accessing file error",   "header not found",
    "bad header version", "bad file size",          "bad header CRC",
    "bad compression format", "bad filesystem option", "bad filesystem type",
    "bad support type",   "bad file number",        "bad disk format",
    "bad partition format", "unknown filesystem option",
};

template <size_t N>
const char* texteDeTable(const char* const (&table)[N], uint32_t code, const char* defaut) {
  return code < N ? table[code] : defaut;
}

// Appends one formatted line to a text that may still be null.
void ajouterLigne(char** texte, const char* format, ...) {
  TRACER_APPEL();
  va_list arguments;
  va_start(arguments, format);
  va_list copie;
  va_copy(copie, arguments);
  size_t taille = static_cast<size_t>(formaterListe(nullptr, 0, format, copie)) + 1;
  va_end(copie);
  char* ligne = static_cast<char*>(xmalloc(taille));
  formaterListe(ligne, taille, format, arguments);
  va_end(arguments);
  if (*texte == nullptr) {
    *texte = ligne;
  } else {
    ajouterTexte(texte, ligne);
    free(ligne);
  }
}

// The element's name for the element type line, newly allocated, or null.
char* nomElement(const T_FileHeader* entete) {
  TRACER_APPEL();
  uint8_t genre = entete->typeElement;
  switch (entete->typeSupport) {
    case ID_DISQUE:
    case ID_FICHIER_DISQUE:
      switch (genre) {
        case ELEMENT_TOUS_SECTEURS:
          return xstrdup(entete->typeSupport == ID_DISQUE ? "disk" : "raw file of a disk");
        case ELEMENT_MBR: return xstrdup("master boot record");
        case ELEMENT_PREMIERS_SECTEURS: return xstrdup("first sectors");
        case ELEMENT_TABLE_MBR: return xstrdup("MBR partitions table");
        case ELEMENT_TABLE_GPT: return xstrdup("GPT partitions table");
        default: return nullptr;
      }
    case ID_DISQUETTE: return xstrdup("floppy");
    case ID_PERIPHERIQUE: return xstrdup("device");
    case ID_FICHIER_LECTEUR: return xstrdup("raw file of a drive");
    case ID_PARTITION_MBR: return nomTypePartition(entete->infoPartition.typePartition);
    case ID_PARTITION_GPT: {
      uint8_t guid[TAILLE_GUID];
      entete->guidTypeGPT(guid);
      char* nom = nomTypeGPT(guid);
      if (*nom != '\0') return nom;
      free(nom);
      return xstrdup(nomDonneesGPT(genre));
    }
    default: return nullptr;
  }
}

// Sectors of the size line: the disk's or the element's, by support and kind.
uint64_t secteursElement(const T_FileHeader* entete) {
  TRACER_APPEL();
  uint64_t disque = entete->infoDisque.nombreSecteurs.lire();
  uint64_t element = entete->infoPartition.nombreSecteurs.lire();
  bool amorceOuSuperBloc =
      entete->typeElement == ELEMENT_SECTEUR_BOOT || entete->typeElement == ELEMENT_SUPER_BLOC;
  switch (entete->typeSupport) {
    case ID_DISQUE:
    case ID_FICHIER_DISQUE:
      return entete->typeElement == ELEMENT_TOUS_SECTEURS ? disque : element;
    case ID_PARTITION_MBR:
    case ID_PARTITION_GPT:
      return amorceOuSuperBloc ? disque : element;
    default:
      return amorceOuSuperBloc ? element : disque;
  }
}

}  // namespace

uint32_t T_FileHeader::calculerCrcEntete() const {
  TRACER_APPEL();
  T_FileHeader copie;
  memcpy(&copie, this, sizeof copie);
  copie.crcEntete.ecrire(0);
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(&copie), sizeof copie));
}

bool T_FileHeader::aSousEntete() const {
  return estElementSystemeFichiers(typeElement) && tailleAvant.lire() == 0;
}

void T_FileHeader::guidTypeGPT(uint8_t* guid) const {
  TRACER_APPEL();
  const uint8_t* octets = reinterpret_cast<const uint8_t*>(this);
  memcpy(guid, octets + 69, 3);
  memcpy(guid + 3, octets + 73, 13);
}

char* T_FileHeader::description(const T_PlageTaille* plage) const {
  TRACER_APPEL();
  char* texte = nullptr;
  uint8_t support = typeSupport;
  if (support == ID_PARTITION_MBR || support == ID_DISQUE || support == ID_PARTITION_GPT)
    ajouterLigne(&texte, "Disk number: %3u.\n", unsigned{numeroDisque});
  if (support == ID_PARTITION_MBR) {
    if (infoPartition.numeroEtendue != 0)
      ajouterLigne(&texte, "Partition number: number %u of extended partition number %u.\n",
                   unsigned{infoPartition.numeroEtendue}, unsigned{infoPartition.numeroPrincipal});
    else
      ajouterLigne(&texte, "Partition number: main number %u.\n",
                   unsigned{infoPartition.numeroPrincipal});
  } else if (support == ID_PARTITION_GPT) {
    uint8_t guid[TAILLE_GUID];
    guidTypeGPT(guid);
    char* texteType = texteGUID(guid);
    ajouterLigne(&texte, "GPT partition of type %s.\n", texteType);
    free(texteType);
  }

  char* nom = nomElement(this);
  const char* mot = typeElement == ELEMENT_SECTEUR_BOOT  ? "boot sector"
                    : typeElement == ELEMENT_SUPER_BLOC ? "super block"
                                                         : nullptr;
  if (mot && nom)
    ajouterLigne(&texte, "Element type: %s (%s)\n", mot, nom);
  else if (mot || nom)
    ajouterLigne(&texte, "Element type: %s\n", mot ? mot : nom);
  free(nom);

  uint16_t z = infoDisque.tailleSecteur.lire();
  uint64_t n = secteursElement(this);
  if (n != 0) {
    char* taille = texteTailleSecteurs(n, z, true);
    ajouterLigne(&texte, "Size: %s.\n", taille);
    free(taille);
  }
  if (plage && plage->minimum != 0 && plage->maximum != 0) {
    char* minimum = texteTailleSecteurs(plage->minimum, z, true);
    char* maximum = texteTailleSecteurs(plage->maximum, z, true);
    ajouterLigne(&texte, "Potential size range: %s - %s.\n", minimum, maximum);
    free(maximum);
    free(minimum);
  }
  return texte;
}

uint32_t T_FileSubHeader::calculerCrc() const {
  TRACER_APPEL();
  T_FileSubHeader copie;
  memcpy(&copie, this, sizeof copie);
  copie.crc.ecrire(0);
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(&copie), sizeof copie));
}

uint32_t continuerCrcDonnees(uint32_t crc, const void* donnees, size_t taille) {
  TRACER_APPEL();
  const Bytef* octets = static_cast<const Bytef*>(donnees);
  uLong resultat = crc;
  // zlib counts in uInt; a size_t may be wider.
  while (taille > 0) {
    uInt morceau = taille > 0x40000000u ? 0x40000000u : static_cast<uInt>(taille);
    resultat = crc32(resultat, octets, morceau);
    octets += morceau;
    taille -= morceau;
  }
  return static_cast<uint32_t>(resultat);
}

const char* texteTypeElement(uint8_t type) {
  return texteDeTable(textesTypeElement, type, "unknown");
}

const char* texteTypeSupport(uint8_t type) {
  return texteDeTable(textesTypeSupport, type, "unknown");
}

const char* texteTypeAcces(uint8_t type) {
  return type == ACCES_ETENDU ? "extended" : type == ACCES_STANDARD ? "standard" : "unknown";
}

const char* texteErreurEntete(uint32_t code) {
  return texteDeTable(textesErreurEntete, code, "unknown error code");
}

bool estElementSystemeFichiers(uint8_t typeElement) {
  return typeElement >= ELEMENT_FAT12 && typeElement <= ELEMENT_NTFS;
}

const char* nomDonneesGPT(uint8_t typeElement) {
  TRACER_APPEL();
  switch (typeElement) {
    case ELEMENT_FAT12: return "DOS FAT-12";
    case ELEMENT_FAT16: return "Win95 VFAT-16";
    case ELEMENT_FAT32: return "Win95 FAT-32";
    case ELEMENT_EXT2: return "Linux ext2fs";
    case ELEMENT_NTFS: return "NTFS";
    default: return "Data";
  }
}
