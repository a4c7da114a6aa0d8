#include "programs/vollens/windows/detection.h"

#include <windows.h>
#include <winioctl.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/texte.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/erreurs_systeme.h"
#include "platform/windows/lecteurs.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/vwin32.h"
#include "storage/fat.h"

namespace {

void signalerEchec(const char* message) {
  TRACER_APPEL();
  memoriserErreurSysteme();
  afficherMessage("%s", message);
  afficherErreurSysteme();
}

// "%s MB" of a byte count; a product that overflowed is given as 0.
void afficherMegaoctets(uint64_t octets) {
  TRACER_APPEL();
  char* texte = texteRapport(octets, 0x100000, 0, 2, false);
  afficherMessage("%s", texte);
  free(texte);
}

// a x b, or 0 when it does not fit in 64 bits.
uint64_t produit(uint64_t a, uint64_t b) {
  if (a != 0 && b > UINT64_MAX / a) return 0;
  return a * b;
}

bool tailleSecteurAcceptee(uint64_t taille) {
  return taille >= 512 && taille <= 32768 && taille % 512 == 0;
}

struct T_Geometrie {
  uint64_t cylindres;
  uint32_t media;
  uint32_t tetes;
  uint32_t secteursParPiste;
  uint32_t octetsParSecteur;
};

void garder(const DISK_GEOMETRY& g, T_Geometrie* geometrie) {
  geometrie->cylindres = static_cast<uint64_t>(g.Cylinders.QuadPart);
  geometrie->media = static_cast<uint32_t>(g.MediaType);
  geometrie->tetes = g.TracksPerCylinder;
  geometrie->secteursParPiste = g.SectorsPerTrack;
  geometrie->octetsParSecteur = g.BytesPerSector;
}

// The extended geometry; false when the call fails.
bool geometrieEtendue(HANDLE volume, T_Geometrie* geometrie) {
  TRACER_APPEL();
  afficherMessage("Trying to use extended function:\n");
  uint8_t reponse[40];
  memset(reponse, 0, sizeof reponse);
  DWORD rendus = 0;
  appelsWindows.SetLastError(0);
  if (!appelsWindows.DeviceIoControl(volume, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, reponse,
                                     sizeof reponse, &rendus, nullptr)) {
    signalerEchec("Cannot get information through extended function:\n");
    return false;
  }
  DISK_GEOMETRY g;
  memcpy(&g, reponse, sizeof g);
  // The size only when the reply holds it.
  uint64_t taille = 0;
  if (rendus >= sizeof g + sizeof taille) memcpy(&taille, reponse + sizeof g, sizeof taille);
  garder(g, geometrie);
  uint64_t secteurs = g.BytesPerSector != 0 ? taille / g.BytesPerSector : 0;
  afficherMessage(
      "  Number of cylinders: %llu\n            heads    : %u\n            sectors  : %u\n"
      "  Size of sectors    : %u\n          device     : %llu sectors - ",
      static_cast<unsigned long long>(geometrie->cylindres),
      static_cast<unsigned>(geometrie->tetes), static_cast<unsigned>(geometrie->secteursParPiste),
      static_cast<unsigned>(geometrie->octetsParSecteur),
      static_cast<unsigned long long>(secteurs));
  afficherMegaoctets(taille);
  afficherMessage(" MB\n  Type of media      : 0x%x\n", static_cast<unsigned>(geometrie->media));
  return true;
}

bool geometrieStandard(HANDLE volume, T_Geometrie* geometrie) {
  TRACER_APPEL();
  afficherMessage("Trying to use standard function:\n");
  DISK_GEOMETRY g;
  memset(&g, 0, sizeof g);
  DWORD rendus = 0;
  appelsWindows.SetLastError(0);
  if (!appelsWindows.DeviceIoControl(volume, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g,
                                     sizeof g, &rendus, nullptr)) {
    signalerEchec("Cannot get information through standard function:\n");
    return false;
  }
  garder(g, geometrie);
  afficherMessage(
      "  Number of cylinders: %llu\n            heads    : %u\n            sectors  : %u\n"
      "  Size of sectors    : %u\n  Type of media      : 0x%x\n",
      static_cast<unsigned long long>(geometrie->cylindres),
      static_cast<unsigned>(geometrie->tetes), static_cast<unsigned>(geometrie->secteursParPiste),
      static_cast<unsigned>(geometrie->octetsParSecteur), static_cast<unsigned>(geometrie->media));
  return true;
}

void afficherPosition(uint64_t debut, uint64_t longueur, uint32_t octetsParSecteur,
                      uint64_t* nombre) {
  TRACER_APPEL();
  *nombre = longueur / octetsParSecteur;
  afficherMessage("  First sector: %llu sectors\n  Nb sectors: %llu sectors - ",
                  static_cast<unsigned long long>(debut / octetsParSecteur),
                  static_cast<unsigned long long>(*nombre));
  afficherMegaoctets(*nombre * octetsParSecteur);
  afficherMessage(" MB\n");
}

// The sector count from the two position calls (0 when neither gives one).
uint64_t positionEtTaille(HANDLE volume, uint32_t octetsParSecteur) {
  TRACER_APPEL();
  DWORD rendus = 0;
  afficherMessage("Getting position through extended function:\n");
  uint64_t etendu = 0;
  PARTITION_INFORMATION_EX ex;
  memset(&ex, 0, sizeof ex);
  appelsWindows.SetLastError(0);
  if (appelsWindows.DeviceIoControl(volume, IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &ex,
                                    sizeof ex, &rendus, nullptr)) {
    afficherPosition(static_cast<uint64_t>(ex.StartingOffset.QuadPart),
                     static_cast<uint64_t>(ex.PartitionLength.QuadPart), octetsParSecteur, &etendu);
  } else {
    signalerEchec("Cannot get position through extended function:\n");
  }
  afficherMessage("Getting position through standard function:\n");
  uint64_t standard = 0;
  PARTITION_INFORMATION p;
  memset(&p, 0, sizeof p);
  appelsWindows.SetLastError(0);
  if (appelsWindows.DeviceIoControl(volume, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &p,
                                    sizeof p, &rendus, nullptr)) {
    afficherPosition(static_cast<uint64_t>(p.StartingOffset.QuadPart),
                     static_cast<uint64_t>(p.PartitionLength.QuadPart), octetsParSecteur, &standard);
  } else {
    signalerEchec("Cannot get position through standard function:\n");
  }
  return etendu != 0 ? etendu : standard;
}

void verifierTaille(HANDLE volume, const T_Geometrie& g) {
  TRACER_APPEL();
  uint64_t nombre = positionEtTaille(volume, g.octetsParSecteur);
  // The known media types are 1 (F5_1Pt2_512) to 25 (F3_32M_512).
  if (g.media < 1 || g.media > 25) {
    afficherMessage("Invalid number of sectors.\n");
    return;
  }
  if (nombre == 0) {
    nombre = produit(produit(g.cylindres, g.tetes), g.secteursParPiste);
    afficherMessage("  Using physical definition to get size: %llu sectors - ",
                    static_cast<unsigned long long>(nombre));
    afficherMegaoctets(produit(nombre, g.octetsParSecteur));
    afficherMessage(" MB.\n");
    if (nombre == 0) afficherMessage("Invalid number of sectors.\n");
  }
}

// 9x: a DOS call on the drive of the letter (BL = 1 for A:), registers
// cleared first; on failure AX is kept as the DOS error of the report.
bool appelerDOS(char lettre, uint32_t eax, uint32_t ecx, uint32_t edx, DIOC_REGISTERS* registres) {
  TRACER_APPEL();
  memset(registres, 0, sizeof *registres);
  registres->reg_EAX = eax;
  registres->reg_EBX = static_cast<uint8_t>(lettre - 'A' + 1);
  registres->reg_ECX = ecx;
  registres->reg_EDX = edx;
  appelerInterruption(0x21, registres);
  if ((registres->reg_Flags & DRAPEAU_RETENUE) == 0) return true;
  fixerErreurDOS(static_cast<uint16_t>(registres->reg_EAX));
  return false;
}

// The drive-map and remote questions; false when the letter ends here.
bool typeLecteur9x(char lettre) {
  TRACER_APPEL();
  uint8_t numero = static_cast<uint8_t>(lettre - 'A' + 1);
  DIOC_REGISTERS r;
  if (!appelerDOS(lettre, 0x440E, 0, 0, &r)) {
    afficherMessage("Cannot test for remapped drive (ignored):\n");
    afficherErreurSysteme();
  } else {
    uint8_t al = static_cast<uint8_t>(r.reg_EAX);
    if (al >= 1 && al <= 32 && al < numero) {
      afficherMessage("Drive remapped to %c.\n", 'A' + al - 1);
      return false;
    }
  }
  if (estLecteurCDROM(lettre)) {
    afficherMessage("Drive is a CD drive.\n");
  } else {
    bool amovible = false;
    if (verifierLettreLecteur(lettre, &amovible)) {
      if (amovible) afficherMessage("Drive is removable.\n");
    } else {
      char racine[4];
      formaterMessage(racine, sizeof racine, "%c:%c", lettre, '\\');
      UINT type = appelsWindows.GetDriveTypeA(racine);
      if (type == DRIVE_UNKNOWN) afficherMessage("Drive type cannot be determined (ignored).\n");
      if (type == DRIVE_NO_ROOT_DIR) afficherMessage("No root directory on drive (ignored).\n");
    }
  }
  if (!appelerDOS(lettre, 0x4409, 0, 0, &r)) {
    afficherMessage("Cannot determine type of drive:\n");
    afficherErreurSysteme();
    return false;
  }
  bool substitue = (r.reg_EDX & 0x8000) != 0;
  bool distant = (r.reg_EDX & 0x1000) != 0;
  if (substitue && distant) {
    afficherMessage("Drive is substituted and remote.\n");
  } else if (substitue) {
    afficherMessage("Drive is substituted.\n");
  } else if (distant) {
    afficherMessage("Drive is remote.\n");
  }
  return !substitue && !distant;
}

// The DOS device parameters of the letter, FAT32 category first.
bool parametresPeripherique(char lettre, uint8_t* bloc) {
  TRACER_APPEL();
  afficherMessage("Try with using FAT32 function:\n");
  const uint32_t categories[] = {0x4860, 0x0860};
  for (uint32_t categorie : categories) {
    if (categorie == 0x0860) afficherMessage("Try with using FAT12/FAT16 function:\n");
    memset(bloc, 0, 128);
    bloc[0] = 5;
    DIOC_REGISTERS r;
    if (appelerDOS(lettre, 0x440D, categorie, adresseLineaire(bloc), &r)) return true;
    afficherMessage("Cannot get information:\n");
    afficherErreurSysteme();
  }
  return false;
}

void verifierBloc9x(const uint8_t* bloc) {
  TRACER_APPEL();
  // The BIOS parameter block at 7 is a boot sector's from its offset 11.
  Secteur_Boot_FAT bpb;
  memset(&bpb, 0, sizeof bpb);
  memcpy(reinterpret_cast<uint8_t*>(&bpb) + 11, bloc + 7, 40 - 11);
  uint16_t cylindres;
  memcpy(&cylindres, bloc + 4, sizeof cylindres);
  uint32_t octets = bpb.octetsParSecteur.lire();
  uint32_t tetes = bpb.nombreTetes.lire();
  uint32_t parPiste = bpb.secteursParPiste.lire();
  uint32_t total16 = bpb.totalSecteurs16.lire();
  uint32_t total32 = bpb.totalSecteurs32.lire();
  uint32_t total = total16 != 0 ? total16 : total32;
  uint32_t parFAT = bpb.secteursParFAT();
  char* megaoctets = texteRapport(uint64_t{octets} * total, 0x100000, 0, 2, false);
  afficherMessage(
      "  Number of cylinders          : %u\n            heads              : %u\n"
      "            sectors            : %u\n  Size of sectors              : %u\n"
      "          device               : %u sectors - %s MB\n"
      "  Type of media                : 0x%x\n  First sector                 : %u sectors\n"
      "  Number of sectors per cluster: %u\n  Number of reserved sectors   : %u\n"
      "  Number of FAT                : %u\n  Number of sectors per FAT    : %u\n"
      "  Number of root entries       : %u\n",
      static_cast<unsigned>(cylindres), static_cast<unsigned>(tetes),
      static_cast<unsigned>(parPiste), static_cast<unsigned>(octets),
      static_cast<unsigned>(total), megaoctets, static_cast<unsigned>(bpb.media),
      static_cast<unsigned>(bpb.secteursCaches.lire()),
      static_cast<unsigned>(bpb.secteursParCluster),
      static_cast<unsigned>(bpb.secteursReserves.lire()), static_cast<unsigned>(bpb.nombreFATs),
      static_cast<unsigned>(parFAT), static_cast<unsigned>(bpb.entreesRacine.lire()));
  free(megaoctets);

  if (!tailleSecteurAcceptee(octets)) afficherMessage("Not supported sector size.\n");
  if (parPiste == 0 || parPiste > 63) afficherMessage("Invalid number of sectors per track.\n");
  if (tetes > 255) afficherMessage("Invalid number of heads.\n");
  uint8_t parCluster = bpb.secteursParCluster;
  if (parCluster == 0 || (parCluster & (parCluster - 1)) != 0) {
    afficherMessage("Invalid number of sectors per cluster.\n");
  }
  if (bpb.secteursReserves.lire() == 0) afficherMessage("Invalid number of reserved sectors.\n");
  if (bpb.nombreFATs == 0) afficherMessage("Invalid number of FAT.\n");
  if (bpb.media < 0xF0) afficherMessage("Not supported media type.\n");
  if (parFAT == 0) afficherMessage("Invalid number of sectors per FAT.\n");
  if ((total16 != 0 && total32 != 0 && total16 != total32) || (total16 == 0 && total32 == 0)) {
    afficherMessage("Incompatible number of sectors (16 bits: %u - 32 bits: %u).\n",
                    static_cast<unsigned>(total16), static_cast<unsigned>(total32));
  }
  // In 64 bits: 255 FATs of 2^32 - 1 sectors; 0 bytes per sector counts no
  // root-directory sector (already reported above).
  uint64_t systeme = uint64_t{bpb.secteursReserves.lire()} +
                     uint64_t{bpb.nombreFATs} * parFAT + bpb.secteursRepertoireRacine();
  if (systeme >= total) afficherMessage("Invalid definition for number of sectors.\n");
}

}  // namespace

void detecterLecteurNT(char lettre) {
  TRACER_APPEL();
  T_AccesDisque cle;
  bool fat32 = false;
  bool lectureSeule = false;
  appelsWindows.SetLastError(0);
  const char* message = LockManager::lockVolume(lettre, &cle, &fat32, &lectureSeule);
  if (message != nullptr) {
    memoriserErreurSysteme();
    char* copie = xstrdup(message);
    char* point = strrchr(copie, '.');
    if (point != nullptr) *point = ':';
    afficherMessage("%s\n", copie);
    free(copie);
    afficherErreurSysteme();
    return;
  }
  T_Geometrie g;
  memset(&g, 0, sizeof g);
  bool etendue = geometrieEtendue(cle.handle, &g);
  T_Geometrie standard;
  memset(&standard, 0, sizeof standard);
  bool parStandard = geometrieStandard(cle.handle, &standard);
  if (parStandard && (!etendue || g.octetsParSecteur == 0)) g = standard;
  if (etendue || parStandard) {
    if (!tailleSecteurAcceptee(g.octetsParSecteur)) {
      afficherMessage("Not supported sector size.\n");
      afficherMessage("Invalid number of sectors.\n");
    } else {
      verifierTaille(cle.handle, g);
    }
    if (g.tetes == 0 || g.tetes > 256) afficherMessage("Invalid number of heads.\n");
    if (g.secteursParPiste == 0 || g.secteursParPiste > 63) {
      afficherMessage("Invalid number of sectors per track.\n");
    }
  }
  LockManager::unlockVolume(&cle);
}

void detecterLecteur9x(char lettre) {
  TRACER_APPEL();
  activerLettreLecteur(lettre);
  if (!typeLecteur9x(lettre)) return;
  T_AccesDisque cle;
  bool fat32 = false;
  bool lectureSeule = false;
  const char* message = LockManager::lockVolume(lettre, &cle, &fat32, &lectureSeule);
  if (message != nullptr) {
    // Saved before anything is printed: the lock left its DOS code there.
    memoriserErreurDOS();
    afficherMessage("%s\n", message);
    afficherErreurSysteme();
    afficherFichiersOuverts(lettre, message);
    return;
  }
  uint8_t bloc[128];
  if (parametresPeripherique(lettre, bloc)) verifierBloc9x(bloc);
  LockManager::unlockVolume(&cle);
}
