// The volume side of the simulated Windows machine: drive letters, DOS
// device targets, the volume enumeration and mount paths, volume facts and
// free space, and handles on volume paths with their control codes (lock,
// unlock, dismount, device number, position). The drive letters and volumes
// of the machine are the only ones: an undeclared letter has no root.
// Locks, unlocks, dismounts and pauses are appended to ROOT/volumes.log.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "sim/directives_machine.h"
#include "sim/machine_windows_interne.h"

namespace {

struct Ouverture {
  size_t volume;
  std::string chemin;  // as opened
  bool ecriture;
};

struct EtatVolumes {
  T_AppelsWindows suivant;          // the entries below this side
  std::map<HANDLE, Ouverture> ouvertures;
  std::map<HANDLE, size_t> recherches;  // volume enumerations: next index
  std::map<size_t, HANDLE> verrous;     // volume -> handle holding its lock
};

EtatVolumes* etat = nullptr;

const std::set<std::string> nomsEchec = {
    "GetLogicalDrives", "GetDriveTypeA", "QueryDosDeviceA", "FindFirstVolumeA", "FindNextVolumeA",
    "GetVolumePathNamesForVolumeNameA", "GetVolumeInformationA", "GetDiskFreeSpaceA",
    "GetDiskFreeSpaceExA", "CreateFileA", "DeviceIoControl", "FlushFileBuffers",
    "FormatMessageA", "FSCTL_LOCK_VOLUME", "FSCTL_UNLOCK_VOLUME", "FSCTL_DISMOUNT_VOLUME",
    "IOCTL_STORAGE_GET_DEVICE_NUMBER", "IOCTL_DISK_GET_PARTITION_INFO_EX",
    "IOCTL_DISK_GET_PARTITION_INFO", "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS",
    "IOCTL_DISK_GET_DRIVE_GEOMETRY", "IOCTL_DISK_GET_DRIVE_GEOMETRY_EX"};

const struct {
  DWORD code;
  const char* nom;
} codes[] = {
    {0x90018, "FSCTL_LOCK_VOLUME"},
    {0x9001C, "FSCTL_UNLOCK_VOLUME"},
    {0x90020, "FSCTL_DISMOUNT_VOLUME"},
    {0x90083, "FSCTL_ALLOW_EXTENDED_DASD_IO"},
    {0x2D1080, "IOCTL_STORAGE_GET_DEVICE_NUMBER"},
    {0x70048, "IOCTL_DISK_GET_PARTITION_INFO_EX"},
    {0x74004, "IOCTL_DISK_GET_PARTITION_INFO"},
    {0x560000, "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS"},
    {0x70000, "IOCTL_DISK_GET_DRIVE_GEOMETRY"},
    {0x700A0, "IOCTL_DISK_GET_DRIVE_GEOMETRY_EX"},
};

std::string minuscules(std::string t) {
  for (char& c : t)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return t;
}

bool memeTexte(const std::string& a, const std::string& b) { return minuscules(a) == minuscules(b); }

const std::vector<T_VolumeSimule>& volumes() { return volumesSimules(); }

void journal(const std::string& ligne) {
  std::ofstream f(racineMachine() + "\\volumes.log", std::ios::binary | std::ios::app);
  f << ligne << '\n';
}

uint32_t tailleSecteurDisque(unsigned disque) {
  for (const T_DisqueSimule& d : disquesSimules())
    if (d.numero == disque) return d.tailleSecteur;
  return 512;
}

// The volume of a drive path ("E:"), of a root ("E:\"), or none.
long volumeDeLettre(const char* chemin, bool racine) {
  if (chemin == nullptr || chemin[0] == '\0' || chemin[1] != ':') return -1;
  if (racine ? strcmp(chemin + 2, "\\") != 0 : chemin[2] != '\0') return -1;
  char l = static_cast<char>(toupper(static_cast<unsigned char>(chemin[0])));
  for (size_t i = 0; i < volumes().size(); ++i)
    if (volumes()[i].lettre == l && l != 0) return static_cast<long>(i);
  return -1;
}

bool estCheminLecteur(const char* c, bool racine) {
  return c != nullptr && c[0] != '\0' && c[1] == ':' &&
         (racine ? strcmp(c + 2, "\\") == 0 : c[2] == '\0');
}

// The volume a device path names, or -1; *volumique says the path is of
// the volume namespace (so an unknown one does not exist).
long volumeDuChemin(const std::string& chemin, bool* volumique) {
  std::string c = minuscules(chemin);
  *volumique = false;
  if (c.size() == 6 && c.rfind("\\\\.\\", 0) == 0 && c[5] == ':') {
    *volumique = true;
    std::string lecteur = c.substr(4);
    return volumeDeLettre(lecteur.c_str(), false);
  }
  if (c.rfind("\\\\?\\volume{", 0) == 0) {
    *volumique = true;
    for (size_t i = 0; i < volumes().size(); ++i) {
      std::string n = minuscules(volumes()[i].nom);
      if (c == n.substr(0, n.size() - 1)) return static_cast<long>(i);
    }
    return -1;
  }
  const std::string racine = "\\\\?\\globalroot\\device\\harddisk";
  if (c.rfind(racine, 0) == 0) {
    *volumique = true;
    unsigned disque, partition;
    char reste;
    if (sscanf(c.c_str() + racine.size(), "%u\\partition%u%c", &disque, &partition, &reste) != 2)
      return -1;
    for (size_t i = 0; i < volumes().size(); ++i)
      if (volumes()[i].disque == disque && volumes()[i].partition == partition)
        return static_cast<long>(i);
  }
  return -1;
}

// The mount paths of a volume (its letter's root last), NUL-separated, an
// empty one last.
std::string pointsMontage(const T_VolumeSimule& v) {
  std::string liste;
  for (const std::string& m : v.montages) liste += m + '\0';
  if (v.lettre != 0) liste += std::string(1, v.lettre) + ":\\" + '\0';
  return liste + '\0';
}

// The i686 layer keeps the entry points it took for the whole run, so these
// may be called after the machine has gone: they then answer as the host.
const T_AppelsWindows& reel() {
  static const T_AppelsWindows r;
  return r;
}

HANDLE nouvelHandle() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void fermerHandleReel(HANDLE h) { ::CloseHandle(h); }

// ---------------------------------------------------------------- letters

DWORD WINAPI simGetLogicalDrives() {
  if (echecInjecte("GetLogicalDrives", "*")) return 0;
  DWORD masque = 0;
  for (const T_VolumeSimule& v : volumes())
    if (v.lettre != 0) masque |= 1u << (v.lettre - 'A');
  ::SetLastError(ERROR_SUCCESS);
  return masque;
}

UINT WINAPI simGetDriveTypeA(LPCSTR racine) {
  if (estCheminLecteur(racine, true) && echecInjecte("GetDriveTypeA", racine)) return DRIVE_UNKNOWN;
  if (!estCheminLecteur(racine, true)) return etat->suivant.GetDriveTypeA(racine);
  long i = volumeDeLettre(racine, true);
  if (i < 0) return DRIVE_NO_ROOT_DIR;
  const std::string& t = volumes()[i].type;
  return t == "removable" ? DRIVE_REMOVABLE
         : t == "cdrom"   ? DRIVE_CDROM
         : t == "remote"  ? DRIVE_REMOTE
         : t == "ramdisk" ? DRIVE_RAMDISK
                          : DRIVE_FIXED;
}

DWORD WINAPI simQueryDosDeviceA(LPCSTR nom, LPSTR cible, DWORD taille) {
  if (!estCheminLecteur(nom, false)) return etat->suivant.QueryDosDeviceA(nom, cible, taille);
  if (echecInjecte("QueryDosDeviceA", nom)) return 0;
  long i = volumeDeLettre(nom, false);
  if (i < 0) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  const T_VolumeSimule& v = volumes()[i];
  char texte[96];
  if (v.ciblePartition)
    snprintf(texte, sizeof texte, "\\Device\\Harddisk%u\\Partition%u", v.disque, v.partition);
  else
    snprintf(texte, sizeof texte, "\\Device\\HarddiskVolume%ld", i + 1);
  // The target and two NULs, as a list of one.
  DWORD n = static_cast<DWORD>(strlen(texte)) + 2;
  if (cible == nullptr || taille < n) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(cible, texte, n - 1);
  cible[n - 1] = '\0';
  return n;
}

// ---------------------------------------------------------------- enumeration

bool copierNom(const std::string& nom, LPSTR tampon, DWORD taille) {
  if (tampon == nullptr || taille < nom.size() + 1) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  memcpy(tampon, nom.c_str(), nom.size() + 1);
  return true;
}

bool exporteSinon(const char* nom) {
  if (fonctionExportee(nom)) return true;
  ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return false;
}

HANDLE WINAPI simFindFirstVolumeA(LPSTR nom, DWORD taille) {
  if (etat == nullptr) return reel().FindFirstVolumeA(nom, taille);
  if (!exporteSinon("FindFirstVolumeA") || echecInjecte("FindFirstVolumeA", "*"))
    return INVALID_HANDLE_VALUE;
  if (volumes().empty()) {
    ::SetLastError(ERROR_NO_MORE_FILES);
    return INVALID_HANDLE_VALUE;
  }
  if (!copierNom(volumes()[0].nom, nom, taille)) return INVALID_HANDLE_VALUE;
  HANDLE h = nouvelHandle();
  etat->recherches[h] = 1;
  return h;
}

BOOL WINAPI simFindNextVolumeA(HANDLE recherche, LPSTR nom, DWORD taille) {
  if (etat == nullptr) return reel().FindNextVolumeA(recherche, nom, taille);
  if (!exporteSinon("FindNextVolumeA")) return FALSE;
  auto r = etat->recherches.find(recherche);
  if (r == etat->recherches.end()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (echecInjecte("FindNextVolumeA", "*")) return FALSE;
  if (r->second >= volumes().size()) {
    ::SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  if (!copierNom(volumes()[r->second].nom, nom, taille)) return FALSE;
  ++r->second;
  return TRUE;
}

BOOL WINAPI simFindVolumeClose(HANDLE recherche) {
  if (etat == nullptr) return reel().FindVolumeClose(recherche);
  if (!exporteSinon("FindVolumeClose")) return FALSE;
  auto r = etat->recherches.find(recherche);
  if (r == etat->recherches.end()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  fermerHandleReel(r->first);
  etat->recherches.erase(r);
  return TRUE;
}

BOOL WINAPI simGetVolumePathNamesForVolumeNameA(LPCSTR volume, LPCH noms, DWORD taille,
                                                PDWORD longueur) {
  if (etat == nullptr) return reel().GetVolumePathNamesForVolumeNameA(volume, noms, taille, longueur);
  if (!exporteSinon("GetVolumePathNamesForVolumeNameA")) return FALSE;
  std::string n = volume ? volume : "";
  if (echecInjecte("GetVolumePathNamesForVolumeNameA", n)) return FALSE;
  for (const T_VolumeSimule& v : volumes()) {
    if (!memeTexte(v.nom, n)) continue;
    std::string liste = pointsMontage(v);
    if (longueur != nullptr) *longueur = static_cast<DWORD>(liste.size());
    if (noms == nullptr || taille < liste.size()) {
      ::SetLastError(ERROR_MORE_DATA);
      return FALSE;
    }
    memcpy(noms, liste.data(), liste.size());
    return TRUE;
  }
  ::SetLastError(ERROR_INVALID_NAME);
  return FALSE;
}

// ---------------------------------------------------------------- volume facts

BOOL WINAPI simGetVolumeInformationA(LPCSTR racine, LPSTR nom, DWORD tailleNom, LPDWORD serie,
                                     LPDWORD longueurMax, LPDWORD drapeaux, LPSTR systeme,
                                     DWORD tailleSysteme) {
  if (!estCheminLecteur(racine, true))
    return etat->suivant.GetVolumeInformationA(racine, nom, tailleNom, serie, longueurMax, drapeaux,
                                               systeme, tailleSysteme);
  if (echecInjecte("GetVolumeInformationA", racine)) return FALSE;
  long i = volumeDeLettre(racine, true);
  if (i < 0) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const T_VolumeSimule& v = volumes()[i];
  if (v.systemeFichiers.empty()) {
    ::SetLastError(ERROR_UNRECOGNIZED_VOLUME);
    return FALSE;
  }
  if ((nom != nullptr && tailleNom < v.etiquette.size() + 1) ||
      (systeme != nullptr && tailleSysteme < v.systemeFichiers.size() + 1)) {
    ::SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (nom != nullptr) memcpy(nom, v.etiquette.c_str(), v.etiquette.size() + 1);
  if (systeme != nullptr) memcpy(systeme, v.systemeFichiers.c_str(), v.systemeFichiers.size() + 1);
  if (serie != nullptr) *serie = 0x6C650000u | static_cast<DWORD>(i);
  if (longueurMax != nullptr) *longueurMax = 255;
  if (drapeaux != nullptr) *drapeaux = FILE_CASE_PRESERVED_NAMES;
  return TRUE;
}

BOOL WINAPI simGetDiskFreeSpaceA(LPCSTR racine, LPDWORD secteursParGroupe, LPDWORD octetsParSecteur,
                                 LPDWORD groupesLibres, LPDWORD groupes) {
  if (!estCheminLecteur(racine, true))
    return etat->suivant.GetDiskFreeSpaceA(racine, secteursParGroupe, octetsParSecteur,
                                           groupesLibres, groupes);
  if (echecInjecte("GetDiskFreeSpaceA", racine)) return FALSE;
  long i = volumeDeLettre(racine, true);
  if (i < 0) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const T_VolumeSimule& v = volumes()[i];
  uint64_t groupe = 8ULL * tailleSecteurDisque(v.disque);
  auto borne = [](uint64_t n) { return static_cast<DWORD>(n > 0xFFFFFFFF ? 0xFFFFFFFF : n); };
  if (secteursParGroupe) *secteursParGroupe = 8;
  if (octetsParSecteur) *octetsParSecteur = tailleSecteurDisque(v.disque);
  if (groupesLibres) *groupesLibres = borne(v.libres / groupe);
  if (groupes) *groupes = borne(v.taille / groupe);
  return TRUE;
}

BOOL WINAPI simGetDiskFreeSpaceExA(LPCSTR chemin, PULARGE_INTEGER libresAppelant,
                                   PULARGE_INTEGER total, PULARGE_INTEGER libres) {
  if (etat == nullptr) return reel().GetDiskFreeSpaceExA(chemin, libresAppelant, total, libres);
  if (!estCheminLecteur(chemin, true))
    return etat->suivant.GetDiskFreeSpaceExA(chemin, libresAppelant, total, libres);
  if (!exporteSinon("GetDiskFreeSpaceExA") || echecInjecte("GetDiskFreeSpaceExA", chemin))
    return FALSE;
  long i = volumeDeLettre(chemin, true);
  if (i < 0) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const T_VolumeSimule& v = volumes()[i];
  if (libresAppelant) libresAppelant->QuadPart = v.libres;
  if (total) total->QuadPart = v.taille;
  if (libres) libres->QuadPart = v.libres;
  return TRUE;
}

// ---------------------------------------------------------------- handles

HANDLE WINAPI simCreateFileA(LPCSTR nom, DWORD acces, DWORD partage, LPSECURITY_ATTRIBUTES securite,
                             DWORD creation, DWORD drapeaux, HANDLE modele) {
  bool volumique = false;
  long i = nom ? volumeDuChemin(nom, &volumique) : -1;
  if (!volumique)
    return etat->suivant.CreateFileA(nom, acces, partage, securite, creation, drapeaux, modele);
  if (echecInjecte("CreateFileA", nom)) return INVALID_HANDLE_VALUE;
  if (i < 0 || creation != OPEN_EXISTING) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool ecriture = (acces & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  if (ecriture && volumes()[i].lectureSeule) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = nouvelHandle();
  etat->ouvertures[h] = {static_cast<size_t>(i), nom, ecriture};
  return h;
}

BOOL WINAPI simCloseHandle(HANDLE h) {
  auto o = etat->ouvertures.find(h);
  if (o == etat->ouvertures.end()) return etat->suivant.CloseHandle(h);
  // A lock goes with the handle that holds it.
  auto v = etat->verrous.find(o->second.volume);
  if (v != etat->verrous.end() && v->second == h) etat->verrous.erase(v);
  etat->ouvertures.erase(o);
  fermerHandleReel(h);
  return TRUE;
}

BOOL WINAPI simFlushFileBuffers(HANDLE h) {
  auto o = etat->ouvertures.find(h);
  if (o == etat->ouvertures.end()) return etat->suivant.FlushFileBuffers(h);
  return !echecInjecte("FlushFileBuffers", o->second.chemin);
}

const char* nomCode(DWORD code) {
  for (const auto& c : codes)
    if (c.code == code) return c.nom;
  return nullptr;
}

// Copies a reply into the caller's buffer, or fails when it is too small.
BOOL repondre(const void* reponse, DWORD taille, LPVOID sortie, DWORD tailleSortie, LPDWORD rendus) {
  if (sortie == nullptr || tailleSortie < taille) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(sortie, reponse, taille);
  if (rendus) *rendus = taille;
  return TRUE;
}

BOOL WINAPI simDeviceIoControl(HANDLE h, DWORD code, LPVOID entree, DWORD tailleEntree, LPVOID sortie,
                               DWORD tailleSortie, LPDWORD rendus, LPOVERLAPPED recouvrement) {
  auto o = etat->ouvertures.find(h);
  if (o == etat->ouvertures.end())
    return etat->suivant.DeviceIoControl(h, code, entree, tailleEntree, sortie, tailleSortie, rendus,
                                         recouvrement);
  const Ouverture& ouverture = o->second;
  const T_VolumeSimule& v = volumes()[ouverture.volume];
  const char* nom = nomCode(code);
  if (rendus) *rendus = 0;
  if (echecInjecte("DeviceIoControl", ouverture.chemin) ||
      (nom != nullptr && echecInjecte(nom, ouverture.chemin)))
    return FALSE;
  switch (code) {
    case 0x90018: {  // lock
      auto tenu = etat->verrous.find(ouverture.volume);
      if (v.occupe || (tenu != etat->verrous.end() && tenu->second != h)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
      }
      etat->verrous[ouverture.volume] = h;
      journal("lock " + ouverture.chemin);
      return TRUE;
    }
    case 0x9001C: {  // unlock
      auto tenu = etat->verrous.find(ouverture.volume);
      if (tenu == etat->verrous.end() || tenu->second != h) {
        ::SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
      }
      etat->verrous.erase(tenu);
      journal("unlock " + ouverture.chemin);
      return TRUE;
    }
    case 0x90020:
      journal("dismount " + ouverture.chemin);
      return TRUE;
    case 0x90083:
      return TRUE;
    case 0x2D1080: {
      STORAGE_DEVICE_NUMBER n = {};
      n.DeviceType = v.type == "cdrom" ? FILE_DEVICE_CD_ROM : FILE_DEVICE_DISK;
      n.DeviceNumber = v.numeroAnnonce >= 0 ? static_cast<DWORD>(v.numeroAnnonce) : v.disque;
      n.PartitionNumber = v.partition;
      return repondre(&n, sizeof n, sortie, tailleSortie, rendus);
    }
    case 0x70048: {
      PARTITION_INFORMATION_EX p = {};
      p.PartitionStyle = PARTITION_STYLE_MBR;
      p.StartingOffset.QuadPart = static_cast<LONGLONG>(v.decalage);
      p.PartitionLength.QuadPart = static_cast<LONGLONG>(v.taille);
      p.PartitionNumber = v.partition;
      return repondre(&p, sizeof p, sortie, tailleSortie, rendus);
    }
    case 0x74004: {
      PARTITION_INFORMATION p = {};
      p.StartingOffset.QuadPart = static_cast<LONGLONG>(v.decalage);
      p.PartitionLength.QuadPart = static_cast<LONGLONG>(v.taille);
      p.PartitionNumber = v.partition;
      p.RecognizedPartition = TRUE;
      return repondre(&p, sizeof p, sortie, tailleSortie, rendus);
    }
    case 0x70000:    // the geometry of the volume's drive, as Windows gives it
    case 0x700A0: {  // with the drive's size, without the two records
      const T_DisqueSimule* d = nullptr;
      for (const auto& disque : disquesSimules())
        if (disque.numero == v.disque) d = &disque;
      if (d == nullptr || d->geometrieRefusee) {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
      }
      DISK_GEOMETRY_EX g = {};
      g.Geometry = geometrieDisque(*d);
      g.DiskSize.QuadPart = static_cast<LONGLONG>(d->taille);
      if (code == 0x70000) return repondre(&g.Geometry, sizeof g.Geometry, sortie, tailleSortie, rendus);
      return repondre(&g, offsetof(DISK_GEOMETRY_EX, Data), sortie, tailleSortie, rendus);
    }
    case 0x560000: {
      VOLUME_DISK_EXTENTS e = {};
      e.NumberOfDiskExtents = 1;
      e.Extents[0].DiskNumber = v.disque;
      e.Extents[0].StartingOffset.QuadPart = static_cast<LONGLONG>(v.decalage);
      e.Extents[0].ExtentLength.QuadPart = static_cast<LONGLONG>(v.taille);
      return repondre(&e, sizeof e, sortie, tailleSortie, rendus);
    }
    default:
      ::SetLastError(ERROR_INVALID_FUNCTION);
      return FALSE;
  }
}

// Logged; never waited for, even below a simulation that does not have it.
void WINAPI simSleep(DWORD millisecondes) {
  journal("sleep " + std::to_string(millisecondes));
  if (etat->suivant.Sleep != T_AppelsWindows().Sleep) etat->suivant.Sleep(millisecondes);
}

// The system's own table; an injected failure takes FormatMessageA first.
DWORD WINAPI simFormatMessageA(DWORD drapeaux, LPCVOID source, DWORD message, DWORD langue,
                               LPSTR tampon, DWORD taille, va_list* arguments) {
  if (echecInjecte("FormatMessageA", std::to_string(message)) || echecInjecte("FormatMessageA", "*"))
    return 0;
  return etat->suivant.FormatMessageA(drapeaux, source, message, langue, tampon, taille, arguments);
}

// The i686 layer takes the volume functions through GetProcAddress.
FARPROC WINAPI simGetProcAddress(HMODULE module, LPCSTR nom) {
  FARPROC p = etat->suivant.GetProcAddress(module, nom);
  if (p == nullptr || reinterpret_cast<uintptr_t>(nom) <= 0xFFFF) return p;
  const struct {
    const char* nom;
    const void* sim;
  } remplacees[] = {
      {"FindFirstVolumeA", reinterpret_cast<const void*>(simFindFirstVolumeA)},
      {"FindNextVolumeA", reinterpret_cast<const void*>(simFindNextVolumeA)},
      {"FindVolumeClose", reinterpret_cast<const void*>(simFindVolumeClose)},
      {"GetVolumePathNamesForVolumeNameA",
       reinterpret_cast<const void*>(simGetVolumePathNamesForVolumeNameA)},
      {"GetDiskFreeSpaceExA", reinterpret_cast<const void*>(simGetDiskFreeSpaceExA)},
  };
  for (const auto& r : remplacees) {
    if (strcmp(nom, r.nom) != 0) continue;
    memcpy(&p, &r.sim, sizeof p);
    break;
  }
  return p;
}

}  // namespace

bool fonctionEchecVolume(const std::string& nom) { return nomsEchec.count(nom) != 0; }

bool optionVolume(const std::string& o, T_VolumeSimule* v, std::string* raison) {
  raison->clear();
  std::string valeur = o.substr(o.find('=') + 1);
  uint64_t n;
  if (o.rfind("partition=", 0) == 0) {
    if (!lireNombreMachine(valeur, &n) || n == 0 || n > 0xFFFFFFFF) *raison = "bad " + o;
    else v->partition = static_cast<unsigned>(n);
  } else if (o == "target=partition") {
    v->ciblePartition = true;
  } else if (o.rfind("number=", 0) == 0) {
    if (!lireNombreMachine(valeur, &n) || n > 0xFFFFFFFF) *raison = "bad " + o;
    else v->numeroAnnonce = static_cast<long long>(n);
  } else if (o.rfind("mount=", 0) == 0) {
    if (valeur.empty() || valeur.back() != '\\') *raison = "bad " + o + " (a path ending in \\)";
    else v->montages.push_back(valeur);
  } else if (o.rfind("label=", 0) == 0) {
    v->etiquette = valeur;
  } else if (o.rfind("free=", 0) == 0) {
    if (!lireNombreMachine(valeur, &v->libres) || v->libres > v->taille) *raison = "bad " + o;
  } else if (o == "ro") {
    v->lectureSeule = true;
  } else {
    return false;
  }
  return raison->empty();
}

void terminerVolumes(std::vector<T_VolumeSimule>& liste) {
  // Partitions numbered by offset on each drive, after the given numbers.
  for (T_VolumeSimule& v : liste) {
    if (v.partition != 0) continue;
    unsigned rang = 1;
    for (const T_VolumeSimule& autre : liste)
      if (&autre != &v && autre.disque == v.disque && autre.decalage < v.decalage) ++rang;
    v.partition = rang;
  }
}

void brancherVolumes(T_AppelsWindows& a) {
  etat = new EtatVolumes;
  etat->suivant = a;
  a.GetLogicalDrives = simGetLogicalDrives;
  a.GetDriveTypeA = simGetDriveTypeA;
  a.QueryDosDeviceA = simQueryDosDeviceA;
  a.FindFirstVolumeA = simFindFirstVolumeA;
  a.FindNextVolumeA = simFindNextVolumeA;
  a.FindVolumeClose = simFindVolumeClose;
  a.GetVolumePathNamesForVolumeNameA = simGetVolumePathNamesForVolumeNameA;
  a.GetVolumeInformationA = simGetVolumeInformationA;
  a.GetDiskFreeSpaceA = simGetDiskFreeSpaceA;
  a.GetDiskFreeSpaceExA = simGetDiskFreeSpaceExA;
  a.CreateFileA = simCreateFileA;
  a.CloseHandle = simCloseHandle;
  a.FlushFileBuffers = simFlushFileBuffers;
  a.DeviceIoControl = simDeviceIoControl;
  a.Sleep = simSleep;
  a.FormatMessageA = simFormatMessageA;
  a.GetProcAddress = simGetProcAddress;
}

void retirerVolumes() {
  if (etat == nullptr) return;
  for (const auto& o : etat->ouvertures) fermerHandleReel(o.first);
  for (const auto& r : etat->recherches) fermerHandleReel(r.first);
  delete etat;
  etat = nullptr;
}
