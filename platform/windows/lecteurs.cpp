#include "platform/windows/lecteurs.h"

#include <winioctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/options.h"
#include "core/texte.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/services.h"
#include "storage/partition.h"

template class VirtualArray<T_PartitionMapping, T_PartitionMapping const>;
template class BasicArray<T_PartitionMapping, T_PartitionMapping const>;

namespace {

const uint32_t LETTRES = 32;
uint32_t nombreLettres = 0;
bool nombreLettresFixe = false;

const DWORD CODE_NUMERO_PERIPHERIQUE = 0x2D1080;  // IOCTL_STORAGE_GET_DEVICE_NUMBER
const DWORD CODE_PARTITION_EX = 0x70048;          // IOCTL_DISK_GET_PARTITION_INFO_EX
const DWORD CODE_PARTITION = 0x74004;             // IOCTL_DISK_GET_PARTITION_INFO
const DWORD PERIPHERIQUE_DISQUE = 7;              // FILE_DEVICE_DISK
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12, "STORAGE_DEVICE_NUMBER layout");
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144, "PARTITION_INFORMATION_EX layout");
static_assert(sizeof(PARTITION_INFORMATION) == 32, "PARTITION_INFORMATION layout");

const size_t TAILLE_NOM_VOLUME = 512;
const size_t TAILLE_CIBLE = 512;
const DWORD TAILLE_POINTS_MONTAGE = 1024;
const char PREFIXE_DISQUE[] = "\\Device\\Harddisk";
const char PREFIXE_PARTITION[] = "\\Partition";

char majuscule(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool minuscule(char c) { return c >= 'a' && c <= 'z'; }

UINT typeLecteur(char lettre) {
  TRACER_APPEL();
  char racine[4];
  formaterMessage(racine, sizeof racine, "%c:%c", lettre, '\\');
  return appelsWindows.GetDriveTypeA(racine);
}

// int 21h 440Eh (get) or 440Fh (set) of the logical drive map; AL is the
// answer of a get. False on carry.
bool carteLecteurs(uint16_t fonction, uint8_t lecteur, uint8_t* al) {
  TRACER_APPEL();
  DIOC_REGISTERS r;
  memset(&r, 0, sizeof r);
  r.reg_EAX = fonction;
  r.reg_EBX = lecteur;
  appelerInterruption(0x21, &r);
  if (al != nullptr) *al = static_cast<uint8_t>(r.reg_EAX & 0xFF);
  return (r.reg_Flags & DRAPEAU_RETENUE) == 0;
}

bool lecteurCarte(uint8_t al) { return al >= 1 && al <= 32; }

// ---------------------------------------------------------------- volumes

// A volume path opened for the position queries, or the handle of this
// process's lock on it (borrowed: not to be closed).
HANDLE ouvrirCheminVolume(const char* chemin, bool* emprunte) {
  TRACER_APPEL();
  *emprunte = false;
  HANDLE h = appelsWindows.CreateFileA(chemin, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) return h;
  bool lecteur = chemin[0] == '\\' && chemin[1] == '\\' && chemin[2] == '.' &&
                 chemin[3] == '\\' && chemin[4] != '\0' && chemin[5] == ':' && chemin[6] == '\0';
  if (lecteur) {
    T_AccesDisque cle;
    LockManager::handleOfVolumeLetter(&cle, chemin[4]);
    h = cle.handle;
  } else {
    h = LockManager::fdOfLogicalPath(chemin);
  }
  *emprunte = h != INVALID_HANDLE_VALUE;
  return h;
}

void fermerCheminVolume(HANDLE h, bool emprunte) {
  if (h != INVALID_HANDLE_VALUE && !emprunte) appelsWindows.CloseHandle(h);
}

bool estDuDisque(HANDLE h, uint8_t numero) {
  TRACER_APPEL();
  STORAGE_DEVICE_NUMBER n;
  memset(&n, 0, sizeof n);
  DWORD rendus = 0;
  if (!appelsWindows.DeviceIoControl(h, CODE_NUMERO_PERIPHERIQUE, nullptr, 0, &n, sizeof n, &rendus,
                                     nullptr))
    return false;
  return rendus >= sizeof n && n.DeviceType == PERIPHERIQUE_DISQUE && n.DeviceNumber == numero;
}

// Offset and length in bytes; length 0 when neither query answers whole.
void positionVolume(HANDLE h, uint64_t* decalage, uint64_t* longueur) {
  TRACER_APPEL();
  *decalage = 0;
  *longueur = 0;
  PARTITION_INFORMATION_EX ex;
  memset(&ex, 0, sizeof ex);
  DWORD rendus = 0;
  if (appelsWindows.DeviceIoControl(h, CODE_PARTITION_EX, nullptr, 0, &ex, sizeof ex, &rendus,
                                    nullptr) &&
      rendus >= sizeof ex) {
    *decalage = static_cast<uint64_t>(ex.StartingOffset.QuadPart);
    *longueur = static_cast<uint64_t>(ex.PartitionLength.QuadPart);
    return;
  }
  PARTITION_INFORMATION p;
  memset(&p, 0, sizeof p);
  rendus = 0;
  if (appelsWindows.DeviceIoControl(h, CODE_PARTITION, nullptr, 0, &p, sizeof p, &rendus, nullptr) &&
      rendus >= sizeof p) {
    *decalage = static_cast<uint64_t>(p.StartingOffset.QuadPart);
    *longueur = static_cast<uint64_t>(p.PartitionLength.QuadPart);
  }
}

// Paths compared without one final backslash on each side ("C:\" is "C:").
bool memeChemin(const char* a, const char* b) {
  TRACER_APPEL();
  size_t la = strlen(a), lb = strlen(b);
  if (la > 0 && a[la - 1] == '\\') --la;
  if (lb > 0 && b[lb - 1] == '\\') --lb;
  return la == lb && strncmp(a, b, la) == 0;
}

bool disqueADejaLeChemin(const Disque* disque, const char* chemin) {
  TRACER_APPEL();
  const StringArray& chemins = disque->chemins();
  for (size_t i = 0; i < chemins.count(); ++i)
    if (chemins[i] && memeChemin(chemins[i], chemin)) return true;
  return false;
}

// Some mount path of the list (NUL-separated, empty one last, within
// taille bytes) that the disk already has.
bool pointDeMontageConnu(const Disque* disque, const char* liste, size_t taille) {
  TRACER_APPEL();
  size_t i = 0;
  while (i < taille && liste[i] != '\0') {
    size_t l = strnlen(liste + i, taille - i);
    if (i + l >= taille) break;  // not terminated inside the buffer
    if (disqueADejaLeChemin(disque, liste + i)) return true;
    i += l + 1;
  }
  return false;
}

void passeLettres(Disque* disque, T_ListePartitions* liste, T_Correspondances* correspondances) {
  TRACER_APPEL();
  const size_t prefixe = sizeof PREFIXE_DISQUE - 1;
  const size_t prefixePartition = sizeof PREFIXE_PARTITION - 1;
  for (uint32_t i = 0; i < LETTRES; ++i) {
    char lettre = static_cast<char>('A' + i);
    char chemin[3] = {lettre, ':', '\0'};
    char cible[TAILLE_CIBLE];
    memset(cible, 0, sizeof cible);
    if (appelsWindows.QueryDosDeviceA(chemin, cible, sizeof cible) == 0) continue;
    cible[sizeof cible - 1] = '\0';
    if (strlen(cible) < prefixe || comparerSansCasse(cible, PREFIXE_DISQUE, prefixe) != 0) continue;
    const char* suite = cible + prefixe;
    bool verifierNumero;
    if (*suite >= '0' && *suite <= '9') {
      bool erreur;
      uint64_t numero = lireNombreJusqua(suite, '\\', &erreur);
      if (erreur || numero != disque->numeroDisque()) continue;
      const char* barre = strchr(suite, '\\');
      verifierNumero = barre == nullptr || strlen(barre) < prefixePartition ||
                       comparerSansCasse(barre, PREFIXE_PARTITION, prefixePartition) != 0;
      if (!verifierNumero) {
        uint64_t partition = lireNombre(barre + prefixePartition, &erreur);
        if (erreur || partition < 1 || partition > 0xFFFFFFFFULL) continue;
      }
    } else if (*suite == 'V' || *suite == 'v') {
      verifierNumero = true;
    } else {
      continue;
    }
    char volume[7];
    formaterMessage(volume, sizeof volume, "\\\\.\\%c:", lettre);
    bool emprunte;
    HANDLE h = ouvrirCheminVolume(volume, &emprunte);
    if (h == INVALID_HANDLE_VALUE) continue;
    if (!verifierNumero || estDuDisque(h, disque->numeroDisque()))
      ajouterCorrespondance(disque, chemin, h, liste, correspondances);
    fermerCheminVolume(h, emprunte);
  }
}

void passeVolumes(Disque* disque, T_ListePartitions* liste, T_Correspondances* correspondances) {
  TRACER_APPEL();
  DWORD taille = TAILLE_POINTS_MONTAGE;
  char* points = static_cast<char*>(xmalloc(taille));
  char nom[TAILLE_NOM_VOLUME];
  memset(nom, 0, sizeof nom);
  HANDLE recherche = appelFindFirstVolume(nom, sizeof nom);
  if (recherche == INVALID_HANDLE_VALUE) {
    free(points);
    return;
  }
  do {
    nom[sizeof nom - 1] = '\0';
    char* copie = xstrdup(nom);
    size_t l = strlen(copie);
    if (l > 1 && copie[l - 1] == '\\') copie[l - 1] = '\0';
    bool emprunte;
    HANDLE h = ouvrirCheminVolume(copie, &emprunte);
    if (h != INVALID_HANDLE_VALUE && estDuDisque(h, disque->numeroDisque())) {
      uint32_t voulue = 0;
      memset(points, 0, taille);
      bool lu = appelGetVolumePathNames(nom, points, taille, &voulue);
      if (!lu && appelsWindows.GetLastError() == ERROR_MORE_DATA && voulue >= taille &&
          voulue < TAILLE_MAX_ALLOCATION) {
        free(points);
        taille = voulue + 1;
        points = static_cast<char*>(xmalloc(taille));
        memset(points, 0, taille);
        lu = appelGetVolumePathNames(nom, points, taille, &voulue);
      }
      if (!(lu && points[0] != '\0' && pointDeMontageConnu(disque, points, taille)))
        ajouterCorrespondance(disque, copie, h, liste, correspondances);
    }
    fermerCheminVolume(h, emprunte);
    free(copie);
    memset(nom, 0, sizeof nom);
  } while (appelFindNextVolume(recherche, nom, sizeof nom));
  free(points);
  appelFindVolumeClose(recherche);
}

void passePartitions(Disque* disque, T_ListePartitions* liste, T_Correspondances* correspondances) {
  TRACER_APPEL();
  for (unsigned long long n = 1; n <= 128; ++n) {
    char chemin[512];
    formaterMessage(chemin, sizeof chemin, "\\\\?\\GLOBALROOT\\Device\\Harddisk%u\\Partition" FMT_U64,
                    static_cast<unsigned>(disque->numeroDisque()), static_cast<uint64_t>(n));
    bool emprunte;
    HANDLE h = ouvrirCheminVolume(chemin, &emprunte);
    if (h == INVALID_HANDLE_VALUE) continue;
    if (estDuDisque(h, disque->numeroDisque()))
      ajouterCorrespondance(disque, chemin, h, liste, correspondances);
    fermerCheminVolume(h, emprunte);
  }
}

}  // namespace

// ---------------------------------------------------------------- letters

uint32_t nombreLettresLecteurs() {
  TRACER_APPEL();
  if (!nombreLettresFixe) {
    nombreLettres = LETTRES;
    nombreLettresFixe = true;
  }
  return nombreLettres;
}

char lettreLecteur(uint32_t index) {
  return index < nombreLettresLecteurs() ? static_cast<char>('A' + index) : 0;
}

bool estLecteurCDROM(char lettre) {
  TRACER_APPEL();
  bool etaitMinuscule = minuscule(lettre);
  char l = majuscule(lettre);
  if (!(etaitMinuscule || static_cast<signed char>(lettre) > 64)) return false;
  if (static_cast<unsigned char>(l) >= 'A' + nombreLettresLecteurs()) return false;
  return typeLecteur(l) == DRIVE_CDROM;
}

void activerLettreLecteur(char lettre) {
  TRACER_APPEL();
  if (estWindowsNT()) return;
  uint8_t d = static_cast<uint8_t>(majuscule(lettre) - 64);
  uint8_t al = 0;
  if (!carteLecteurs(0x440E, d, &al)) return;
  for (int tour = 0; tour < 32 && lecteurCarte(al) && d < al; ++tour) {
    if (!carteLecteurs(0x440F, d, nullptr)) return;
    if (!carteLecteurs(0x440E, d, &al)) return;
  }
}

bool estLettreRemappee(char lettre) {
  TRACER_APPEL();
  if (estWindowsNT()) return false;
  uint8_t d = static_cast<uint8_t>(majuscule(lettre) - 64);
  uint8_t al = 0;
  if (carteLecteurs(0x440E, d, &al) && lecteurCarte(al) && al != d) {
    errno = 0;
    return true;
  }
  errno = ENODEV;
  return false;
}

bool verifierLettreLecteur(char lettre, bool* amovible) {
  TRACER_APPEL();
  bool etaitMinuscule = minuscule(lettre);
  char l = majuscule(lettre);
  activerLettreLecteur(l);
  if (estLecteurCDROM(l)) {
    *amovible = true;
    return true;
  }
  if (!etaitMinuscule && static_cast<signed char>(lettre) <= 64) return false;
  if (static_cast<unsigned char>(l) >= 'A' + nombreLettresLecteurs() || estLettreRemappee(l))
    return false;
  switch (typeLecteur(l)) {
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
      *amovible = true;
      errno = 0;
      return true;
    case DRIVE_UNKNOWN:
    case DRIVE_NO_ROOT_DIR:
      errno = ENOENT;
      return false;
    default:
      *amovible = false;
      errno = 0;
      return true;
  }
}

// ---------------------------------------------------------------- enumeration

#ifdef _WIN64
HANDLE appelFindFirstVolume(char* nom, uint32_t longueur) {
  TRACER_APPEL();
  return appelsWindows.FindFirstVolumeA(nom, longueur);
}

bool appelFindNextVolume(HANDLE recherche, char* nom, uint32_t longueur) {
  TRACER_APPEL();
  return appelsWindows.FindNextVolumeA(recherche, nom, longueur) != FALSE;
}

void appelFindVolumeClose(HANDLE recherche) {
  TRACER_APPEL();
  appelsWindows.FindVolumeClose(recherche);
}

bool appelGetVolumePathNames(const char* volume, char* tampon, uint32_t longueur,
                             uint32_t* longueurVoulue) {
  TRACER_APPEL();
  DWORD voulue = 0;
  bool lu = appelsWindows.GetVolumePathNamesForVolumeNameA(volume, tampon, longueur, &voulue) != FALSE;
  *longueurVoulue = voulue;
  return lu;
}
#else
HANDLE appelFindFirstVolume(char* nom, uint32_t longueur) {
  TRACER_APPEL();
  chargerKernel32();
  T_FindFirstVolumeA f = pointsEntreeKernel32().findFirstVolumeA;
  return f ? f(nom, longueur) : INVALID_HANDLE_VALUE;
}

bool appelFindNextVolume(HANDLE recherche, char* nom, uint32_t longueur) {
  TRACER_APPEL();
  T_FindNextVolumeA f = pointsEntreeKernel32().findNextVolumeA;
  return f && f(recherche, nom, longueur) != FALSE;
}

void appelFindVolumeClose(HANDLE recherche) {
  TRACER_APPEL();
  T_FindVolumeClose f = pointsEntreeKernel32().findVolumeClose;
  if (f) f(recherche);
}

bool appelGetVolumePathNames(const char* volume, char* tampon, uint32_t longueur,
                             uint32_t* longueurVoulue) {
  TRACER_APPEL();
  chargerKernel32();
  T_GetVolumePathNamesForVolumeNameA f = pointsEntreeKernel32().getVolumePathNamesForVolumeNameA;
  DWORD voulue = 0;
  bool lu = f && f(volume, tampon, longueur, &voulue) != FALSE;
  *longueurVoulue = voulue;
  return lu;
}
#endif

// ---------------------------------------------------------------- mapping

void ajouterCorrespondance(Disque* disque, const char* chemin, HANDLE volume,
                           T_ListePartitions* liste, T_Correspondances* correspondances) {
  TRACER_APPEL();
  uint64_t decalage, longueur;
  positionVolume(volume, &decalage, &longueur);
  uint64_t taille = disque->tailleSecteur();
  if (longueur == 0 || taille == 0 || decalage % taille != 0 || longueur % taille != 0) {
    if (liste == nullptr) disque->ajouterChemin(chemin, true);
    return;
  }
  T_PartitionMapping position = {decalage / taille, longueur / taille};
  for (size_t i = 0; i < correspondances->count(); ++i) {
    const T_PartitionMapping& m = (*correspondances)[i];
    if (m.premier == position.premier && m.nombre == position.nombre) return;
  }
  correspondances->add(position);
  if (liste == nullptr) {
    disque->ajouterChemin(chemin, true);
    return;
  }
  for (size_t i = 0; i < liste->count(); ++i) {
    Partition* p = (*liste)[i];
    if (p && p->premierSecteur() == position.premier && p->nombreSecteurs() == position.nombre)
      p->ajouterChemin(chemin, true);
  }
}

void construireCorrespondances(Disque* disque, T_ListePartitions* liste) {
  TRACER_APPEL();
  OptionsSupportBloc* options = optionsSupportBloc();
  if (!options || !options->chercherCheminsPartitions()) return;
  if (liste != nullptr && liste->count() == 0) return;
  if (!estWindowsNT()) return;
  T_Correspondances correspondances;
  passeLettres(disque, liste, &correspondances);
  if (estWindows2000OuPlus()) passeVolumes(disque, liste, &correspondances);
  passePartitions(disque, liste, &correspondances);
}
