// What Windows answers about a physical drive: the drive-geometry control
// codes on the NT family (with the partition style and the BIOS detection
// record of the extended answer), the BIOS disk services on 9x.
#include <windows.h>
#include <winioctl.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/formats.h"
#include "core/memoire.h"
#include "core/texte.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/erreurs_systeme.h"
#include "platform/windows/services.h"
#include "platform/windows/vwin32.h"
#include "programs/platlens/platlens.h"
#include "storage/chs.h"

namespace {

const DWORD TAILLE_REPONSE_ETENDUE = 632;
// Geometry, disk size, partition-information size and style.
const uint64_t TAILLE_MINIMALE_ETENDUE = 40;
// Geometry and disk size: where the partition information starts.
const uint64_t DEBUT_INFO_PARTITION = 32;

void signalerEchec(const char* message) {
  TRACER_APPEL();
  memoriserErreurSysteme();
  afficherMessage("%s", message);
  afficherErreurSysteme();
}

void afficherMegaoctets(uint64_t octets) {
  TRACER_APPEL();
  char* texte = texteRapport(octets, 0x100000, 0, 2, false);
  afficherMessage("%s", texte);
  free(texte);
}

uint32_t lireMot32(const uint8_t* octets) {
  uint32_t valeur;
  memcpy(&valeur, octets, sizeof valeur);
  return valeur;
}

// The detection record behind the partition information, every offset
// taken in 64 bits against the reply's length.
void afficherDetection(const uint8_t* reponse, uint64_t rendus, uint64_t tailleInfoPartition) {
  TRACER_APPEL();
  uint64_t debut = DEBUT_INFO_PARTITION + tailleInfoPartition;
  if (rendus <= TAILLE_MINIMALE_ETENDUE + tailleInfoPartition) {
    afficherMessage(
        "Error: extended function does not return enough data to get detection\n"
        "information (%u <= %llu).\n",
        static_cast<unsigned>(rendus),
        static_cast<unsigned long long>(TAILLE_MINIMALE_ETENDUE + tailleInfoPartition));
    return;
  }
  // Here debut + 8 <= rendus <= the buffer's size.
  uint64_t tailleDetection = lireMot32(reponse + debut);
  if (rendus < debut + tailleDetection) {
    afficherMessage(
        "Error: extended function does not return enough data to get content of\n"
        "detection information (%u < %llu).\n",
        static_cast<unsigned>(rendus), static_cast<unsigned long long>(debut + tailleDetection));
    return;
  }
  // Only what the reply holds; the rest of the record stays 0.
  DISK_DETECTION_INFO detection;
  memset(&detection, 0, sizeof detection);
  uint64_t disponible = rendus - debut;
  memcpy(&detection, reponse + debut,
         disponible < sizeof detection ? static_cast<size_t>(disponible) : sizeof detection);
  switch (detection.DetectionType) {
    case DetectInt13:
      afficherMessage(
          "  Information for standard BIOS access:\n    Last cylinder: %u\n         head    : %u\n"
          "         sector  : %u\n    Number of drives: %u\n",
          static_cast<unsigned>(detection.Int13.MaxCylinders),
          static_cast<unsigned>(detection.Int13.MaxHeads),
          static_cast<unsigned>(detection.Int13.SectorsPerTrack),
          static_cast<unsigned>(detection.Int13.NumberDrives));
      break;
    case DetectExInt13: {
      const DISK_EX_INT13_INFO& ex = detection.ExInt13;
      afficherMessage("  Information for extended BIOS access:\n");
      if (ex.ExBufferSize <= 25) {
        afficherMessage("Error: wrong information size returned (%u < %llu) (ignored)\n",
                        static_cast<unsigned>(ex.ExBufferSize), 26ull);
      }
      afficherMessage(
          "    Information size   : %u\n    Information flags  : 0x%x\n"
          "    Number of cylinders: %u\n              heads    : %u\n"
          "              sectors  : %u\n    Size of sectors    : %u\n"
          "            disk       : %llu sectors - ",
          static_cast<unsigned>(ex.ExBufferSize), static_cast<unsigned>(ex.ExFlags),
          static_cast<unsigned>(ex.ExCylinders), static_cast<unsigned>(ex.ExHeads),
          static_cast<unsigned>(ex.ExSectorsPerTrack), static_cast<unsigned>(ex.ExSectorSize),
          static_cast<unsigned long long>(ex.ExSectorsPerDrive));
      // A product that does not fit in 64 bits is no size: shown as 0.
      uint64_t octets = 0;
      if (ex.ExSectorSize == 0 || ex.ExSectorsPerDrive <= UINT64_MAX / ex.ExSectorSize) {
        octets = ex.ExSectorsPerDrive * ex.ExSectorSize;
      }
      afficherMegaoctets(octets);
      afficherMessage(" MB\n");
      break;
    }
    default:
      afficherMessage("  Unknown information origin (%u).\n",
                      static_cast<unsigned>(detection.DetectionType));
      break;
  }
}

// The partition style and the detection record (a reply above 40 bytes).
void afficherStyleEtDetection(const uint8_t* reponse, uint64_t rendus) {
  TRACER_APPEL();
  uint64_t tailleInfoPartition = lireMot32(reponse + DEBUT_INFO_PARTITION);
  uint32_t style = lireMot32(reponse + DEBUT_INFO_PARTITION + 4);
  switch (style) {
    case 0:
      afficherMessage("  Disk uses MBR style partition.\n");
      break;
    case 1:
      afficherMessage("  Disk uses GPT style partition.\n");
      break;
    case 2:
      afficherMessage("  Disk uses raw style partition.\n");
      break;
    default:
      afficherMessage("Error: disk uses an unknown style partition (%u).\n",
                      static_cast<unsigned>(style));
      break;
  }
  afficherDetection(reponse, rendus, tailleInfoPartition);
}

void afficherDefinitionsEtendues(const uint8_t* reponse) {
  TRACER_APPEL();
  DISK_GEOMETRY geometrie;
  memcpy(&geometrie, reponse, sizeof geometrie);
  uint64_t taille;
  memcpy(&taille, reponse + sizeof geometrie, sizeof taille);
  uint64_t secteurs = geometrie.BytesPerSector != 0 ? taille / geometrie.BytesPerSector : 0;
  afficherMessage(
      "  Standard definitions with extended function:\n  Number of cylinders: %llu\n"
      "            heads    : %u\n            sectors  : %u\n  Size of sectors    : %u\n"
      "          disk       : %llu sectors - ",
      static_cast<unsigned long long>(geometrie.Cylinders.QuadPart),
      static_cast<unsigned>(geometrie.TracksPerCylinder),
      static_cast<unsigned>(geometrie.SectorsPerTrack),
      static_cast<unsigned>(geometrie.BytesPerSector), static_cast<unsigned long long>(secteurs));
  afficherMegaoctets(taille);
  afficherMessage(" MB\n  Type of media      : %u\n", static_cast<unsigned>(geometrie.MediaType));
}

void interrogerNT(HANDLE disque) {
  TRACER_APPEL();
  uint8_t* reponse = static_cast<uint8_t*>(xmalloc(TAILLE_REPONSE_ETENDUE));
  memset(reponse, 0, TAILLE_REPONSE_ETENDUE);
  afficherMessage("Trying to use extended function:\n");
  appelsWindows.SetLastError(0);
  DWORD rendus = 0;
  if (!appelsWindows.DeviceIoControl(disque, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, reponse,
                                     TAILLE_REPONSE_ETENDUE, &rendus, nullptr)) {
    signalerEchec("Error asking parameters with extended function:\n");
  } else if (rendus < TAILLE_MINIMALE_ETENDUE) {
    afficherMessage("Error: extended function returns a wrong size (%u <= %u).\n",
                    static_cast<unsigned>(rendus), 40u);
  } else {
    // A reply cannot hold more than the buffer offered.
    uint64_t longueur = rendus < TAILLE_REPONSE_ETENDUE ? rendus : TAILLE_REPONSE_ETENDUE;
    if (longueur == TAILLE_MINIMALE_ETENDUE) {
      afficherMessage(
          "Error: extended function does not return enough data to get partition style\n"
          "and detection information.\n");
    } else {
      afficherStyleEtDetection(reponse, longueur);
    }
    afficherDefinitionsEtendues(reponse);
  }

  afficherMessage("Trying to use standard function:\n");
  appelsWindows.SetLastError(0);
  DISK_GEOMETRY geometrie;
  memset(&geometrie, 0, sizeof geometrie);
  if (appelsWindows.DeviceIoControl(disque, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometrie,
                                    sizeof geometrie, &rendus, nullptr)) {
    afficherMessage(
        "Standard definitions:\n  Number of cylinders: %llu\n            heads    : %u\n"
        "            sectors  : %u\n  Size of sectors    : %u\n  Type of media      : %u\n",
        static_cast<unsigned long long>(geometrie.Cylinders.QuadPart),
        static_cast<unsigned>(geometrie.TracksPerCylinder),
        static_cast<unsigned>(geometrie.SectorsPerTrack),
        static_cast<unsigned>(geometrie.BytesPerSector),
        static_cast<unsigned>(geometrie.MediaType));
  } else {
    signalerEchec("Error asking parameters with standard function:\n");
  }
  free(reponse);
}

void detecterNT(uint8_t numero) {
  TRACER_APPEL();
  char nom[26];
  formaterMessage(nom, sizeof nom, "\\\\.\\PHYSICALDRIVE%u", static_cast<unsigned>(numero));
  appelsWindows.SetLastError(0);
  HANDLE disque = appelsWindows.CreateFileA(
      nom, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_FLAG_RANDOM_ACCESS |
          FILE_ATTRIBUTE_NORMAL,
      nullptr);
  if (disque == INVALID_HANDLE_VALUE) {
    signalerEchec("Error: cannot initialise disk access:\n");
    return;
  }
  interrogerNT(disque);
  appelsWindows.CloseHandle(disque);
}

bool echec(const DIOC_REGISTERS& registres) { return (registres.reg_Flags & DRAPEAU_RETENUE) != 0; }

uint8_t octetHaut(uint32_t registre) { return static_cast<uint8_t>(registre >> 8); }

// AH=08h on a cleared block.
void parametresStandard(uint8_t lecteur, DIOC_REGISTERS* registres) {
  TRACER_APPEL();
  memset(registres, 0, sizeof *registres);
  registres->reg_EAX = 0x0800;
  registres->reg_EDX = lecteur;
  appelerInterruption(0x13, registres);
}

// The drive goes in DL before every call: a BIOS may change DX.
void appelerBios(uint8_t lecteur, DIOC_REGISTERS* registres) {
  TRACER_APPEL();
  registres->reg_EDX = (registres->reg_EDX & ~0xFFu) | lecteur;
  appelerInterruption(0x13, registres);
}

void afficherParametresEtendus(uint8_t lecteur, DIOC_REGISTERS* registres) {
  TRACER_APPEL();
  T_ParametresEtendus parametres;
  memset(&parametres, 0, sizeof parametres);
  parametres.taille = sizeof parametres;
  registres->reg_EAX = 0x4800;
  registres->reg_ESI = adresseLineaire(&parametres);
  appelerBios(lecteur, registres);
  if (echec(*registres)) {
    afficherMessage("Error asking parameters with extended access (%u).\n",
                    static_cast<unsigned>(octetHaut(registres->reg_EAX)));
    return;
  }
  afficherMessage(
      "Information size   : %u\nInformation flags  : 0x%x\nNumber of cylinders: %u\n"
      "          heads    : %u\n          sectors  : %u\nSize of sectors    : %u\n"
      "        disk       : %llu sectors - ",
      static_cast<unsigned>(parametres.taille), static_cast<unsigned>(parametres.drapeaux),
      static_cast<unsigned>(parametres.cylindres), static_cast<unsigned>(parametres.tetes),
      static_cast<unsigned>(parametres.secteursParPiste),
      static_cast<unsigned>(parametres.octetsParSecteur),
      static_cast<unsigned long long>(parametres.nombreSecteurs));
  uint64_t octets = 0;
  if (parametres.octetsParSecteur == 0 ||
      parametres.nombreSecteurs <= UINT64_MAX / parametres.octetsParSecteur) {
    octets = parametres.nombreSecteurs * parametres.octetsParSecteur;
  }
  afficherMegaoctets(octets);
  afficherMessage(" MB\n");
  if (parametres.nombreSecteurs == 0) afficherMessage("Error: disk size is null.\n");
  uint16_t taille = parametres.octetsParSecteur;
  if (taille < 512 || taille > 32768 || taille % 512 != 0) {
    afficherMessage("Error: sector size not supported.\n");
  }
}

void detecter9x(uint8_t numero) {
  TRACER_APPEL();
  uint8_t lecteur = static_cast<uint8_t>(0x80 + numero);
  DIOC_REGISTERS registres;
  parametresStandard(lecteur, &registres);
  if (echec(registres) || (registres.reg_EDX & 0xFF) <= numero) {
    afficherMessage("Disk not recognised (0x%x - 0x%x) (ignored)\n",
                    static_cast<unsigned>(registres.reg_Flags & 0xFFFF),
                    static_cast<unsigned>(registres.reg_EDX & 0xFF));
  }
  registres.reg_EAX = 0x1500;
  appelerBios(lecteur, &registres);
  if (echec(registres) || octetHaut(registres.reg_EAX) != 3) {
    afficherMessage("Disk not declared as hard-disk (0x%x - 0x%x) (ignored)\n",
                    static_cast<unsigned>(registres.reg_Flags & 0xFFFF),
                    static_cast<unsigned>(octetHaut(registres.reg_EAX)));
  }
  registres.reg_EAX = 0x4100;
  registres.reg_EBX = 0x55AA;
  appelerBios(lecteur, &registres);
  if (!echec(registres) && (registres.reg_EBX & 0xFFFF) == 0xAA55 &&
      (registres.reg_ECX & 1) != 0) {
    afficherMessage("Disk with extended access (version 0x%x, functions 0x%x)\n",
                    static_cast<unsigned>(octetHaut(registres.reg_EAX)),
                    static_cast<unsigned>(registres.reg_ECX & 0xFFFF));
    afficherParametresEtendus(lecteur, &registres);
  } else {
    afficherMessage("Disk with standard access.\n");
  }

  afficherMessage("Getting parameters with standard access:\n");
  parametresStandard(lecteur, &registres);
  if (echec(registres)) {
    afficherMessage("Error asking parameters with standard access (%u).\n",
                    static_cast<unsigned>(octetHaut(registres.reg_EAX)));
    return;
  }
  uint16_t secteur;
  uint16_t cylindre;
  decomposerCHS(static_cast<uint16_t>(registres.reg_ECX), &secteur, &cylindre);
  afficherMessage("Last cylinder: %u\n     head    : %u\n     sector  : %u\n",
                  static_cast<unsigned>(cylindre),
                  static_cast<unsigned>(octetHaut(registres.reg_EDX)),
                  static_cast<unsigned>(secteur));
}

}  // namespace

void detecterDisque(uint8_t numero) {
  TRACER_APPEL();
  afficherMessage(":\n");
  if (estWindowsNT()) {
    detecterNT(numero);
  } else {
    detecter9x(numero);
  }
}
