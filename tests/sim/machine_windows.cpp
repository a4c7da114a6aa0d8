#include "sim/machine_windows.h"

#include <windows.h>
#include <winioctl.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/windows/appels_windows.h"
#include "sim/directives_machine.h"
#include "sim/machine_windows_interne.h"
#include "sim/machine_windows_maintenance.h"

namespace {

// ---------------------------------------------------------------- the model

struct Version {
  const char* nom;
  DWORD plateforme, majeur, mineur, construction;
  const char* servicePack;
};

const Version versions[] = {
    {"95", VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950, ""},
    {"98", VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998, " A "},
    {"me", VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000, " "},
    {"nt4", VER_PLATFORM_WIN32_NT, 4, 0, 1381, "Service Pack 6"},
    {"2000", VER_PLATFORM_WIN32_NT, 5, 0, 2195, "Service Pack 4"},
    {"xp", VER_PLATFORM_WIN32_NT, 5, 1, 2600, "Service Pack 3"},
    {"2003", VER_PLATFORM_WIN32_NT, 5, 2, 3790, "Service Pack 2"},
    {"vista", VER_PLATFORM_WIN32_NT, 6, 0, 6002, "Service Pack 2"},
    {"7", VER_PLATFORM_WIN32_NT, 6, 1, 7601, "Service Pack 1"},
    {"10", VER_PLATFORM_WIN32_NT, 10, 0, 19045, ""},
};

// Entry points that not every version exports: the first NT version that
// has one, and the first 9x minor version (0 = 95, 10 = 98, 90 = Me; -1 for
// none).
struct Presence {
  const char* nom;
  DWORD ntMajeur, ntMineur;
  int neufXMineur;
};

const Presence presences[] = {
    {"FindFirstVolumeA", 5, 0, -1},
    {"FindNextVolumeA", 5, 0, -1},
    {"FindVolumeClose", 5, 0, -1},
    {"GetVolumeNameForVolumeMountPointA", 5, 0, -1},
    {"GetVolumePathNamesForVolumeNameA", 5, 1, -1},
    {"GetDiskFreeSpaceExA", 4, 0, 10},
    {"GetUserDefaultUILanguage", 5, 0, 90},
    {"CheckTokenMembership", 5, 0, -1},
    {"IsWow64Process", 5, 1, -1},
};

const std::pair<const char*, DWORD> nomsErreurs[] = {
    {"ERROR_SUCCESS", ERROR_SUCCESS},
    {"ERROR_INVALID_FUNCTION", ERROR_INVALID_FUNCTION},
    {"ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND},
    {"ERROR_PATH_NOT_FOUND", ERROR_PATH_NOT_FOUND},
    {"ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED},
    {"ERROR_INVALID_HANDLE", ERROR_INVALID_HANDLE},
    {"ERROR_NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY},
    {"ERROR_OUTOFMEMORY", ERROR_OUTOFMEMORY},
    {"ERROR_INVALID_DRIVE", ERROR_INVALID_DRIVE},
    {"ERROR_WRITE_PROTECT", ERROR_WRITE_PROTECT},
    {"ERROR_NOT_READY", ERROR_NOT_READY},
    {"ERROR_CRC", ERROR_CRC},
    {"ERROR_SEEK", ERROR_SEEK},
    {"ERROR_SECTOR_NOT_FOUND", ERROR_SECTOR_NOT_FOUND},
    {"ERROR_WRITE_FAULT", ERROR_WRITE_FAULT},
    {"ERROR_READ_FAULT", ERROR_READ_FAULT},
    {"ERROR_GEN_FAILURE", ERROR_GEN_FAILURE},
    {"ERROR_SHARING_VIOLATION", ERROR_SHARING_VIOLATION},
    {"ERROR_LOCK_VIOLATION", ERROR_LOCK_VIOLATION},
    {"ERROR_NOT_SUPPORTED", ERROR_NOT_SUPPORTED},
    {"ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER},
    {"ERROR_CALL_NOT_IMPLEMENTED", ERROR_CALL_NOT_IMPLEMENTED},
    {"ERROR_INSUFFICIENT_BUFFER", ERROR_INSUFFICIENT_BUFFER},
    {"ERROR_MOD_NOT_FOUND", ERROR_MOD_NOT_FOUND},
    {"ERROR_PROC_NOT_FOUND", ERROR_PROC_NOT_FOUND},
    {"ERROR_MORE_DATA", ERROR_MORE_DATA},
    {"ERROR_NO_MORE_ITEMS", ERROR_NO_MORE_ITEMS},
    {"ERROR_NO_MEDIA_IN_DRIVE", ERROR_NO_MEDIA_IN_DRIVE},
    {"ERROR_IO_DEVICE", ERROR_IO_DEVICE},
    {"ERROR_DEVICE_NOT_CONNECTED", ERROR_DEVICE_NOT_CONNECTED},
    {"ERROR_CLIPBOARD_NOT_OPEN", ERROR_CLIPBOARD_NOT_OPEN},
};

// The seam entries a fail directive may name.
const std::set<std::string> fonctionsEchec = {
    "GetVersionExA",    "LoadLibraryA",    "GetProcAddress",        "GetTimeZoneInformation",
    "DosDateTimeToFileTime", "FileTimeToDosDateTime", "DuplicateHandle", "SuspendThread",
    "GetThreadContext", "CreateThread",    "GlobalAlloc",           "GlobalLock",
    "GlobalUnlock",     "OpenClipboard",   "EmptyClipboard",        "SetClipboardData",
    "CloseClipboard",   "MessageBoxA",     "CreateFileA",           "ReadFile",
    "WriteFile",        "SetFilePointer",  "SetFilePointerEx",      "FlushFileBuffers",
    "DeviceIoControl",  "CloseHandle",
    // The maintenance side.
    "OpenProcessToken", "AdjustTokenPrivileges", "RegOpenKeyExA", "RegQueryValueExA",
    "RegSetValueExA", "AllocateAndInitializeSid", "CheckTokenMembership", "FreeConsole",
    "AllocConsole", "ExitWindowsEx", "GetClipboardData"};

// Control codes answered on a physical drive, by name for fail directives.
const std::pair<const char*, DWORD> codesDisque[] = {
    {"IOCTL_DISK_GET_DRIVE_GEOMETRY", 0x70000},
    {"IOCTL_DISK_GET_DRIVE_GEOMETRY_EX", 0x700A0},
    {"IOCTL_DISK_GET_LENGTH_INFO", 0x7405C},
    {"IOCTL_DISK_GET_PARTITION_INFO", 0x74004},
    {"IOCTL_DISK_GET_PARTITION_INFO_EX", 0x70048},
    {"IOCTL_DISK_UPDATE_PROPERTIES", 0x70140},
    {"IOCTL_STORAGE_GET_DEVICE_NUMBER", 0x2D1080},
    {"IOCTL_STORAGE_QUERY_PROPERTY", 0x2D1400},
};

// Control codes of the VWIN32 device.
const std::pair<const char*, DWORD> codesVwin32[] = {
    {"VWIN32_DIOC_DOS_IOCTL", 1},  {"VWIN32_DIOC_DOS_INT25", 2},     {"VWIN32_DIOC_DOS_INT26", 3},
    {"VWIN32_DIOC_DOS_INT13", 4},  {"VWIN32_DIOC_DOS_DRIVEINFO", 6},
};

// Names of BIOS and DOS functions a fail directive may refuse: INT13_xx
// (AH), INT21_xxxx (AX) or INT21_440D_xx (minor code), INT25, INT26.
bool fonctionInterruption(const std::string& nom) {
  auto hexa = [](const std::string& t, size_t n) {
    if (t.size() != n) return false;
    for (char c : t)
      if (!isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
  };
  if (nom == "INT25" || nom == "INT26") return true;
  if (nom.rfind("INT13_", 0) == 0) return hexa(nom.substr(6), 2);
  if (nom.rfind("INT21_440D_", 0) == 0) return hexa(nom.substr(11), 2);
  if (nom.rfind("INT21_", 0) == 0) return hexa(nom.substr(6), 4);
  return false;
}

// The VWIN32 register block as the device sees it.
struct DIOC_REGISTERS_SIMULES {
  uint32_t EBX, EDX, ECX, EAX, EDI, ESI, Flags;
};

struct Echec {
  std::string fonction, chemin;
  DWORD erreur = ERROR_GEN_FAILURE;
  uint64_t apres = 0, nombre = 0, vus = 0;  // nombre 0: every call after `apres`
};

struct Fuseau {
  bool donne = false;
  LONG biais = 0, biaisStandard = 0, biaisEte = 0;
  bool avecEte = false, enEte = false;
};

// An open physical drive or the VWIN32 device; the value is a real event
// handle, so it never meets one of the host's.
struct HandleSimule {
  const T_DisqueSimule* disque = nullptr;  // null: the VWIN32 device
  std::string chemin;
  uint64_t position = 0;
  bool lecture = false, ecriture = false, sansTampon = false;
};

struct Machine {
  std::string racine;
  std::map<HANDLE, HandleSimule> handles;
  unsigned pauses = 0;
  uint64_t dureePauses = 0;
  const Version* version = nullptr;  // null: the host's own answer
  std::set<std::string> absents;     // lower case
  Fuseau fuseau;
  bool administrateur = true, console = true;
  std::vector<T_DisqueSimule> disques;
  std::vector<T_VolumeSimule> volumes;
  std::vector<Echec> echecs;
  std::map<char, unsigned> niveauxVerrous;  // 9x logical lock levels held, by letter
  bool pressePapierOuvert = false;
  HGLOBAL pressePapier = nullptr;
  CRITICAL_SECTION verrou;
  T_AppelsWindows sauvegarde;
};

Machine* active = nullptr;

std::string minuscules(std::string texte) {
  for (char& c : texte)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return texte;
}

// ---------------------------------------------------------------- failures

// True (last error set) when a fail directive takes this call. Paths and
// names compare without regard to case, as Windows does.
bool injecte(const char* fonction, const std::string& chemin) {
  bool pris = false;
  EnterCriticalSection(&active->verrou);
  for (Echec& e : active->echecs) {
    if (e.fonction != fonction) continue;
    if (e.chemin != "*" && minuscules(e.chemin) != minuscules(chemin)) continue;
    ++e.vus;
    if (e.vus <= e.apres) continue;
    if (e.nombre != 0 && e.vus - e.apres > e.nombre) continue;
    ::SetLastError(e.erreur);
    pris = true;
    break;
  }
  LeaveCriticalSection(&active->verrou);
  return pris;
}

void ajouterFichier(const char* nom, const std::string& texte, bool remplacer) {
  std::ofstream f(active->racine + "\\" + nom,
                  std::ios::binary | (remplacer ? std::ios::trunc : std::ios::app));
  f << texte;
}

// ---------------------------------------------------------------- calendar

// Days from 1601-01-01 to a date of the proleptic Gregorian calendar.
int64_t joursDepuis1601(int64_t annee, unsigned mois, unsigned jour) {
  annee -= mois <= 2;
  int64_t ere = (annee >= 0 ? annee : annee - 399) / 400;
  unsigned anneeEre = static_cast<unsigned>(annee - ere * 400);
  unsigned jourAnnee = (153 * (mois > 2 ? mois - 3 : mois + 9) + 2) / 5 + jour - 1;
  unsigned jourEre = anneeEre * 365 + anneeEre / 4 - anneeEre / 100 + jourAnnee;
  int64_t depuis1970 = ere * 146097 + static_cast<int64_t>(jourEre) - 719468;
  return depuis1970 + 134774;
}

void dateDepuis1601(int64_t jours, int64_t* annee, unsigned* mois, unsigned* jour) {
  int64_t z = jours - 134774 + 719468;
  int64_t ere = (z >= 0 ? z : z - 146096) / 146097;
  unsigned jourEre = static_cast<unsigned>(z - ere * 146097);
  unsigned anneeEre = (jourEre - jourEre / 1460 + jourEre / 36524 - jourEre / 146096) / 365;
  unsigned jourAnnee = jourEre - (365 * anneeEre + anneeEre / 4 - anneeEre / 100);
  unsigned mp = (5 * jourAnnee + 2) / 153;
  *jour = jourAnnee - (153 * mp + 2) / 5 + 1;
  *mois = mp < 10 ? mp + 3 : mp - 9;
  *annee = static_cast<int64_t>(anneeEre) + ere * 400 + (*mois <= 2);
}

unsigned joursDuMois(int64_t annee, unsigned mois) {
  static const unsigned jours[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool bissextile = (annee % 4 == 0 && annee % 100 != 0) || annee % 400 == 0;
  return mois == 2 && bissextile ? 29 : jours[mois - 1];
}

// ---------------------------------------------------------------- seam entries

BOOL WINAPI simGetVersionExA(LPOSVERSIONINFOA v) {
  if (injecte("GetVersionExA", "*")) return FALSE;
  const Version* s = active->version;
  if (s == nullptr) return active->sauvegarde.GetVersionExA(v);
  bool etendue = v != nullptr && v->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA);
  // The extended form came with NT 4 SP6; Windows 9x refuses it.
  if (v == nullptr || (v->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                       !(etendue && s->plateforme == VER_PLATFORM_WIN32_NT))) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD taille = v->dwOSVersionInfoSize;
  memset(v, 0, taille);
  v->dwOSVersionInfoSize = taille;
  v->dwMajorVersion = s->majeur;
  v->dwMinorVersion = s->mineur;
  // Windows 9x puts the version in the build number's high word.
  v->dwBuildNumber = s->plateforme == VER_PLATFORM_WIN32_NT
                         ? s->construction
                         : (s->majeur << 24) | (s->mineur << 16) | s->construction;
  v->dwPlatformId = s->plateforme;
  strncpy(v->szCSDVersion, s->servicePack, sizeof v->szCSDVersion - 1);
  if (etendue) {
    OSVERSIONINFOEXA* e = reinterpret_cast<OSVERSIONINFOEXA*>(v);
    const char* chiffre = strpbrk(s->servicePack, "0123456789");
    e->wServicePackMajor = static_cast<WORD>(chiffre ? atoi(chiffre) : 0);
    e->wProductType = VER_NT_WORKSTATION;
  }
  return TRUE;
}

bool absent(const std::string& nom) {
  std::string n = minuscules(nom);
  if (active->absents.count(n)) return true;
  if (n.size() > 4 && n.compare(n.size() - 4, 4, ".dll") == 0 &&
      active->absents.count(n.substr(0, n.size() - 4)))
    return true;
  return false;
}

HMODULE WINAPI simLoadLibraryA(LPCSTR nom) {
  std::string n = nom ? nom : "";
  if (injecte("LoadLibraryA", n)) return nullptr;
  if (absent(n)) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return active->sauvegarde.LoadLibraryA(nom);
}

bool exporte(const std::string& nom) {
  const Version* s = active->version;
  if (s == nullptr) return true;
  for (const Presence& p : presences) {
    if (nom != p.nom) continue;
    if (s->plateforme != VER_PLATFORM_WIN32_NT)
      return p.neufXMineur >= 0 && s->mineur >= static_cast<DWORD>(p.neufXMineur);
    return s->majeur > p.ntMajeur || (s->majeur == p.ntMajeur && s->mineur >= p.ntMineur);
  }
  return true;
}

FARPROC WINAPI simGetProcAddress(HMODULE module, LPCSTR nom) {
  // An ordinal is passed in place of a name.
  if (reinterpret_cast<uintptr_t>(nom) <= 0xFFFF) return active->sauvegarde.GetProcAddress(module, nom);
  std::string n = nom;
  if (injecte("GetProcAddress", n)) return nullptr;
  if (absent(n) || !exporte(n)) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return active->sauvegarde.GetProcAddress(module, nom);
}

void copierNom(WCHAR* destination, const wchar_t* texte) {
  size_t i = 0;
  for (; texte[i] && i < 31; ++i) destination[i] = static_cast<WCHAR>(texte[i]);
  destination[i] = 0;
}

DWORD WINAPI simGetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone) {
  if (injecte("GetTimeZoneInformation", "*")) return TIME_ZONE_ID_INVALID;
  const Fuseau& f = active->fuseau;
  if (!f.donne) return active->sauvegarde.GetTimeZoneInformation(zone);
  memset(zone, 0, sizeof *zone);
  zone->Bias = f.biais;
  copierNom(zone->StandardName, L"Simulated Standard Time");
  if (!f.avecEte) return TIME_ZONE_ID_UNKNOWN;
  copierNom(zone->DaylightName, L"Simulated Daylight Time");
  zone->StandardBias = f.biaisStandard;
  zone->DaylightBias = f.biaisEte;
  // Some transition dates: last Sunday of October and of March, 02:00.
  zone->StandardDate.wMonth = 10;
  zone->StandardDate.wDay = 5;
  zone->StandardDate.wHour = 3;
  zone->DaylightDate.wMonth = 3;
  zone->DaylightDate.wDay = 5;
  zone->DaylightDate.wHour = 2;
  return f.enEte ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

// Windows' own rules, over the whole DOS range (wine stops in 2106 and
// takes the DOS values as local time).
BOOL WINAPI simDosDateTimeToFileTime(WORD date, WORD heure, LPFILETIME temps) {
  if (injecte("DosDateTimeToFileTime", "*")) return FALSE;
  int64_t annee = 1980 + (date >> 9);
  unsigned mois = (date >> 5) & 0xF, jour = date & 0x1F;
  unsigned heures = heure >> 11, minutes = (heure >> 5) & 0x3F, secondes = (heure & 0x1F) * 2;
  if (temps == nullptr || mois < 1 || mois > 12 || jour < 1 || jour > joursDuMois(annee, mois) ||
      heures > 23 || minutes > 59 || secondes > 59) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t s = static_cast<uint64_t>(joursDepuis1601(annee, mois, jour)) * 86400 + heures * 3600 +
               minutes * 60 + secondes;
  uint64_t intervalles = s * 10000000ULL;
  temps->dwLowDateTime = static_cast<DWORD>(intervalles);
  temps->dwHighDateTime = static_cast<DWORD>(intervalles >> 32);
  return TRUE;
}

BOOL WINAPI simFileTimeToDosDateTime(const FILETIME* temps, LPWORD date, LPWORD heure) {
  if (injecte("FileTimeToDosDateTime", "*")) return FALSE;
  if (temps == nullptr || date == nullptr || heure == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t intervalles = (static_cast<uint64_t>(temps->dwHighDateTime) << 32) | temps->dwLowDateTime;
  uint64_t s = intervalles / 10000000ULL;
  int64_t annee;
  unsigned mois, jour;
  dateDepuis1601(static_cast<int64_t>(s / 86400), &annee, &mois, &jour);
  if (annee < 1980 || annee > 2107) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  unsigned r = static_cast<unsigned>(s % 86400);
  *date = static_cast<WORD>(((annee - 1980) << 9) | (mois << 5) | jour);
  *heure = static_cast<WORD>(((r / 3600) << 11) | (((r / 60) % 60) << 5) | ((r % 60) / 2));
  return TRUE;
}

BOOL WINAPI simDuplicateHandle(HANDLE ps, HANDLE s, HANDLE pc, LPHANDLE c, DWORD a, BOOL h, DWORD o) {
  if (injecte("DuplicateHandle", "*")) return FALSE;
  return active->sauvegarde.DuplicateHandle(ps, s, pc, c, a, h, o);
}

DWORD WINAPI simSuspendThread(HANDLE thread) {
  if (injecte("SuspendThread", "*")) return static_cast<DWORD>(-1);
  return active->sauvegarde.SuspendThread(thread);
}

BOOL WINAPI simGetThreadContext(HANDLE thread, LPCONTEXT contexte) {
  if (injecte("GetThreadContext", "*")) return FALSE;
  return active->sauvegarde.GetThreadContext(thread, contexte);
}

HANDLE WINAPI simCreateThread(LPSECURITY_ATTRIBUTES s, SIZE_T p, LPTHREAD_START_ROUTINE d, LPVOID a,
                              DWORD f, LPDWORD i) {
  if (injecte("CreateThread", "*")) return nullptr;
  return active->sauvegarde.CreateThread(s, p, d, a, f, i);
}

HGLOBAL WINAPI simGlobalAlloc(UINT drapeaux, SIZE_T taille) {
  if (injecte("GlobalAlloc", "*")) return nullptr;
  return active->sauvegarde.GlobalAlloc(drapeaux, taille);
}

LPVOID WINAPI simGlobalLock(HGLOBAL bloc) {
  if (injecte("GlobalLock", "*")) return nullptr;
  return active->sauvegarde.GlobalLock(bloc);
}

BOOL WINAPI simGlobalUnlock(HGLOBAL bloc) {
  if (injecte("GlobalUnlock", "*")) return FALSE;
  return active->sauvegarde.GlobalUnlock(bloc);
}

// The clipboard: one text, written to ROOT/clipboard.txt when it is set.
BOOL WINAPI simOpenClipboard(HWND) {
  if (injecte("OpenClipboard", "*")) return FALSE;
  if (active->pressePapierOuvert) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  active->pressePapierOuvert = true;
  return TRUE;
}

bool pressePapierFerme() {
  if (active->pressePapierOuvert) return false;
  ::SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
  return true;
}

BOOL WINAPI simEmptyClipboard() {
  if (injecte("EmptyClipboard", "*") || pressePapierFerme()) return FALSE;
  if (active->pressePapier != nullptr) ::GlobalFree(active->pressePapier);
  active->pressePapier = nullptr;
  ajouterFichier("clipboard.txt", "", true);
  return TRUE;
}

HANDLE WINAPI simSetClipboardData(UINT format, HANDLE donnees) {
  if (injecte("SetClipboardData", "*") || pressePapierFerme()) return nullptr;
  if (format != CF_TEXT || donnees == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const char* texte = static_cast<const char*>(::GlobalLock(donnees));
  if (texte == nullptr) return nullptr;
  ajouterFichier("clipboard.txt", std::string(texte, strnlen(texte, ::GlobalSize(donnees))), true);
  ::GlobalUnlock(donnees);
  if (active->pressePapier != nullptr && active->pressePapier != donnees)
    ::GlobalFree(active->pressePapier);
  active->pressePapier = donnees;
  return donnees;
}

BOOL WINAPI simCloseClipboard() {
  if (injecte("CloseClipboard", "*") || pressePapierFerme()) return FALSE;
  active->pressePapierOuvert = false;
  return TRUE;
}

// Shown as an appended entry of ROOT/messagebox.log, answered OK.
int WINAPI simMessageBoxA(HWND, LPCSTR texte, LPCSTR titre, UINT type) {
  if (injecte("MessageBoxA", "*")) return 0;
  char entete[64];
  snprintf(entete, sizeof entete, "[%s] 0x%x\n", titre ? titre : "", type);
  ajouterFichier("messagebox.log", std::string(entete) + (texte ? texte : "") + "\n", false);
  return IDOK;
}

// ---------------------------------------------------------------- physical drives

bool neufX() { return active->version != nullptr && active->version->plateforme != VER_PLATFORM_WIN32_NT; }

bool egalSansCasse(const std::string& a, const std::string& b) { return minuscules(a) == minuscules(b); }

const T_DisqueSimule* disqueNumero(uint64_t numero) {
  for (const T_DisqueSimule& d : active->disques)
    if (d.numero == numero) return &d;
  return nullptr;
}

// Bytes of a drive's window, read or written through the host; false unless
// every byte moved.
bool accesImage(const T_DisqueSimule& d, bool ecriture, uint64_t position, void* tampon,
                uint64_t octets) {
  if (position > d.taille || octets > d.taille - position) return false;
  HANDLE f = ::CreateFileA(d.image.c_str(), GENERIC_READ | (ecriture ? GENERIC_WRITE : 0),
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER p;
  p.QuadPart = static_cast<LONGLONG>(d.decalage + position);
  bool reussi = ::SetFilePointerEx(f, p, nullptr, FILE_BEGIN) != FALSE;
  uint8_t* octet = static_cast<uint8_t*>(tampon);
  while (reussi && octets > 0) {
    DWORD morceau = static_cast<DWORD>(octets < 0x1000000 ? octets : 0x1000000), n = 0;
    reussi = (ecriture ? ::WriteFile(f, octet, morceau, &n, nullptr)
                       : ::ReadFile(f, octet, morceau, &n, nullptr)) &&
             n == morceau;
    octet += morceau;
    octets -= morceau;
  }
  ::CloseHandle(f);
  return reussi;
}

HandleSimule* handleSimule(HANDLE h) {
  auto i = active->handles.find(h);
  return i == active->handles.end() ? nullptr : &i->second;
}

HANDLE nouveauHandle(const HandleSimule& contenu) {
  HANDLE h = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (h == nullptr) return INVALID_HANDLE_VALUE;
  active->handles[h] = contenu;
  return h;
}

HANDLE echecHandle(DWORD erreur) {
  ::SetLastError(erreur);
  return INVALID_HANDLE_VALUE;
}

// \\.\PHYSICALDRIVEn: the drive number, or -1 for any other name.
long numeroDisqueNomme(const std::string& nom) {
  const std::string prefixe = "\\\\.\\physicaldrive";
  std::string n = minuscules(nom);
  if (n.rfind(prefixe, 0) != 0 || n.size() == prefixe.size() || n.size() > prefixe.size() + 3) return -1;
  long v = 0;
  for (size_t i = prefixe.size(); i < n.size(); ++i) {
    if (n[i] < '0' || n[i] > '9') return -1;
    v = v * 10 + (n[i] - '0');
  }
  return v;
}

HANDLE WINAPI simCreateFileA(LPCSTR nom, DWORD acces, DWORD partage, LPSECURITY_ATTRIBUTES s,
                             DWORD creation, DWORD drapeaux, HANDLE modele) {
  std::string n = nom ? nom : "";
  long numero = numeroDisqueNomme(n);
  bool vwin32 = egalSansCasse(n, "\\\\.\\vwin32");
  if (numero < 0 && !vwin32) return active->sauvegarde.CreateFileA(nom, acces, partage, s, creation, drapeaux, modele);
  if (injecte("CreateFileA", n)) return INVALID_HANDLE_VALUE;
  HandleSimule h;
  h.chemin = n;
  if (vwin32) {
    // The device exists only on the 9x family.
    if (!neufX()) return echecHandle(ERROR_FILE_NOT_FOUND);
    return nouveauHandle(h);
  }
  const T_DisqueSimule* d = disqueNumero(static_cast<uint64_t>(numero));
  if (d == nullptr || neufX() || creation != OPEN_EXISTING) return echecHandle(ERROR_FILE_NOT_FOUND);
  h.disque = d;
  h.lecture = (acces & (GENERIC_READ | GENERIC_ALL)) != 0;
  h.ecriture = (acces & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  h.sansTampon = (drapeaux & FILE_FLAG_NO_BUFFERING) != 0;
  if (h.ecriture && d->lectureSeule) return echecHandle(ERROR_ACCESS_DENIED);
  // A drive in use by the system shares only with those who share all.
  const DWORD tous = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (d->occupe && (partage & tous) != tous) return echecHandle(ERROR_SHARING_VIOLATION);
  return nouveauHandle(h);
}

BOOL WINAPI simCloseHandle(HANDLE h) {
  HandleSimule* s = handleSimule(h);
  if (s == nullptr) return active->sauvegarde.CloseHandle(h);
  std::string chemin = s->chemin;
  active->handles.erase(h);
  ::CloseHandle(h);
  if (injecte("CloseHandle", chemin)) return FALSE;
  return TRUE;
}

// What a disk without buffering demands: whole sectors at a sector
// position, from a buffer aligned on the sector size.
bool requeteDisqueValide(const HandleSimule& h, const void* tampon, DWORD nombre) {
  uint32_t t = h.disque->tailleSecteur;
  bool aligne = !h.sansTampon || reinterpret_cast<uintptr_t>(tampon) % t == 0;
  if (nombre % t != 0 || h.position % t != 0 || !aligne) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

BOOL WINAPI simReadFile(HANDLE f, LPVOID tampon, DWORD nombre, LPDWORD lus, LPOVERLAPPED o) {
  HandleSimule* h = handleSimule(f);
  if (h == nullptr) return active->sauvegarde.ReadFile(f, tampon, nombre, lus, o);
  if (lus != nullptr) *lus = 0;
  if (injecte("ReadFile", h->chemin)) return FALSE;
  if (h->disque == nullptr || !h->lecture) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!requeteDisqueValide(*h, tampon, nombre)) return FALSE;
  const T_DisqueSimule& d = *h->disque;
  // At the end a read gives what is left, then nothing.
  uint64_t reste = h->position < d.taille ? d.taille - h->position : 0;
  DWORD n = static_cast<DWORD>(nombre < reste ? nombre : reste);
  if (n > 0 && !accesImage(d, false, h->position, tampon, n)) {
    ::SetLastError(ERROR_READ_FAULT);
    return FALSE;
  }
  h->position += n;
  if (lus != nullptr) *lus = n;
  return TRUE;
}

BOOL WINAPI simWriteFile(HANDLE f, LPCVOID donnees, DWORD nombre, LPDWORD ecrits, LPOVERLAPPED o) {
  HandleSimule* h = handleSimule(f);
  if (h == nullptr) return active->sauvegarde.WriteFile(f, donnees, nombre, ecrits, o);
  if (ecrits != nullptr) *ecrits = 0;
  if (injecte("WriteFile", h->chemin)) return FALSE;
  if (h->disque == nullptr || !h->ecriture) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!requeteDisqueValide(*h, donnees, nombre)) return FALSE;
  const T_DisqueSimule& d = *h->disque;
  if (h->position > d.taille || nombre > d.taille - h->position) {
    ::SetLastError(ERROR_SECTOR_NOT_FOUND);
    return FALSE;
  }
  if (nombre > 0 && !accesImage(d, true, h->position, const_cast<void*>(donnees), nombre)) {
    ::SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  h->position += nombre;
  if (ecrits != nullptr) *ecrits = nombre;
  return TRUE;
}

// A new position from a move; false (ERROR_NEGATIVE_SEEK) before the start.
bool deplacer(HandleSimule* h, int64_t distance, DWORD origine, uint64_t* nouvelle) {
  int64_t base = origine == FILE_CURRENT ? static_cast<int64_t>(h->position)
                 : origine == FILE_END   ? static_cast<int64_t>(h->disque ? h->disque->taille : 0)
                                         : 0;
  if (origine > FILE_END) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if ((distance < 0 && base + distance < 0)) {
    ::SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  h->position = static_cast<uint64_t>(base + distance);
  *nouvelle = h->position;
  return true;
}

DWORD WINAPI simSetFilePointer(HANDLE f, LONG bas, PLONG haut, DWORD origine) {
  HandleSimule* h = handleSimule(f);
  if (h == nullptr) return active->sauvegarde.SetFilePointer(f, bas, haut, origine);
  if (injecte("SetFilePointer", h->chemin)) return INVALID_SET_FILE_POINTER;
  int64_t distance = haut != nullptr ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*haut)) << 32) |
                                                            static_cast<uint32_t>(bas))
                                     : static_cast<int64_t>(bas);
  uint64_t nouvelle;
  if (!deplacer(h, distance, origine, &nouvelle)) return INVALID_SET_FILE_POINTER;
  if (haut != nullptr) *haut = static_cast<LONG>(nouvelle >> 32);
  return static_cast<DWORD>(nouvelle);
}

BOOL WINAPI simSetFilePointerEx(HANDLE f, LARGE_INTEGER distance, PLARGE_INTEGER resultat, DWORD origine) {
  HandleSimule* h = handleSimule(f);
  if (h == nullptr) return active->sauvegarde.SetFilePointerEx(f, distance, resultat, origine);
  if (injecte("SetFilePointerEx", h->chemin)) return FALSE;
  uint64_t nouvelle;
  if (!deplacer(h, distance.QuadPart, origine, &nouvelle)) return FALSE;
  if (resultat != nullptr) resultat->QuadPart = static_cast<LONGLONG>(nouvelle);
  return TRUE;
}

BOOL WINAPI simFlushFileBuffers(HANDLE f) {
  HandleSimule* h = handleSimule(f);
  if (h == nullptr) return active->sauvegarde.FlushFileBuffers(f);
  return injecte("FlushFileBuffers", h->chemin) ? FALSE : TRUE;
}

void WINAPI simSleep(DWORD millisecondes) {
  ++active->pauses;
  active->dureePauses += millisecondes;
}

// The partition style of a drive from its first sector: GPT behind a
// protective entry, MBR with a boot signature, else raw.
PARTITION_STYLE styleDisque(const T_DisqueSimule& d, DWORD* signature) {
  uint8_t s[512];
  *signature = 0;
  if (!accesImage(d, false, 0, s, sizeof s) || s[510] != 0x55 || s[511] != 0xAA) return PARTITION_STYLE_RAW;
  if (s[446 + 4] == 0xEE) return PARTITION_STYLE_GPT;
  memcpy(signature, s + 440, 4);
  return PARTITION_STYLE_MBR;
}

}  // namespace

DISK_GEOMETRY geometrieDisque(const T_DisqueSimule& d) {
  DISK_GEOMETRY g;
  memset(&g, 0, sizeof g);
  g.Cylinders.QuadPart = static_cast<LONGLONG>(d.cylindres);
  g.MediaType = d.amovible ? RemovableMedia : FixedMedia;
  g.TracksPerCylinder = d.tetes;
  g.SectorsPerTrack = d.secteurs;
  g.BytesPerSector = d.tailleSecteur;
  return g;
}

namespace {

BOOL sortieTrop(DWORD erreur) {
  ::SetLastError(erreur);
  return FALSE;
}

// Copies an answer into the caller's output buffer; refuses one too small
// for the fixed part.
BOOL rendre(const void* reponse, DWORD taille, DWORD minimum, LPVOID sortie, DWORD tailleSortie,
            LPDWORD rendus) {
  if (sortie == nullptr || tailleSortie < minimum) return sortieTrop(ERROR_INSUFFICIENT_BUFFER);
  DWORD n = taille < tailleSortie ? taille : tailleSortie;
  memcpy(sortie, reponse, n);
  if (rendus != nullptr) *rendus = n;
  return TRUE;
}

BOOL controleDisque(const HandleSimule& h, DWORD code, LPVOID entree, DWORD tailleEntree,
                    LPVOID sortie, DWORD tailleSortie, LPDWORD rendus) {
  const T_DisqueSimule& d = *h.disque;
  for (const auto& c : codesDisque)
    if (c.second == code && injecte(c.first, h.chemin)) return FALSE;
  uint64_t nombreSecteurs = d.taille / d.tailleSecteur;
  switch (code) {
    case 0x70000: {  // IOCTL_DISK_GET_DRIVE_GEOMETRY
      if (d.geometrieRefusee) return sortieTrop(ERROR_INVALID_FUNCTION);
      DISK_GEOMETRY g = geometrieDisque(d);
      return rendre(&g, sizeof g, sizeof g, sortie, tailleSortie, rendus);
    }
    case 0x700A0: {  // IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, with its two records
      if (d.geometrieRefusee) return sortieTrop(ERROR_INVALID_FUNCTION);
      const size_t debutPartition = offsetof(DISK_GEOMETRY_EX, Data);
      const size_t debutDetection = debutPartition + sizeof(DISK_PARTITION_INFO);
      uint8_t reponse[debutDetection + sizeof(DISK_DETECTION_INFO)];
      memset(reponse, 0, sizeof reponse);
      DISK_GEOMETRY_EX* g = reinterpret_cast<DISK_GEOMETRY_EX*>(reponse);
      g->Geometry = geometrieDisque(d);
      g->DiskSize.QuadPart = static_cast<LONGLONG>(d.taille);
      DISK_PARTITION_INFO p;
      memset(&p, 0, sizeof p);
      p.SizeOfPartitionInfo = sizeof p;
      DWORD signature;
      p.PartitionStyle = styleDisque(d, &signature);
      p.Mbr.Signature = signature;
      memcpy(reponse + debutPartition, &p, sizeof p);
      DISK_DETECTION_INFO e;
      memset(&e, 0, sizeof e);
      e.SizeOfDetectInfo = sizeof e;
      e.DetectionType = static_cast<DETECTION_TYPE>(d.detection);
      uint64_t c = d.cylindres < 1024 ? d.cylindres : 1024;
      if (d.detection == DetectInt13) {
        e.Int13.DriveSelect = static_cast<WORD>(0x80 + d.numero);
        e.Int13.MaxCylinders = static_cast<DWORD>(c > 0 ? c - 1 : 0);
        e.Int13.SectorsPerTrack = static_cast<WORD>(d.secteurs);
        e.Int13.MaxHeads = static_cast<WORD>(d.tetes > 0 ? d.tetes - 1 : 0);
        e.Int13.NumberDrives = static_cast<WORD>(active->disques.size());
      } else if (d.detection == DetectExInt13) {
        e.ExInt13.ExBufferSize = 30;
        e.ExInt13.ExFlags = 2;
        e.ExInt13.ExCylinders = static_cast<DWORD>(d.cylindres);
        e.ExInt13.ExHeads = d.tetes;
        e.ExInt13.ExSectorsPerTrack = d.secteurs;
        e.ExInt13.ExSectorsPerDrive = nombreSecteurs;
        e.ExInt13.ExSectorSize = static_cast<WORD>(d.tailleSecteur);
      }
      memcpy(reponse + debutDetection, &e, sizeof e);
      return rendre(reponse, sizeof reponse, sizeof(DISK_GEOMETRY_EX), sortie, tailleSortie, rendus);
    }
    case 0x7405C: {  // IOCTL_DISK_GET_LENGTH_INFO
      GET_LENGTH_INFORMATION l;
      l.Length.QuadPart = static_cast<LONGLONG>(d.taille);
      return rendre(&l, sizeof l, sizeof l, sortie, tailleSortie, rendus);
    }
    case 0x74004: {  // IOCTL_DISK_GET_PARTITION_INFO: the whole disk
      PARTITION_INFORMATION p;
      memset(&p, 0, sizeof p);
      p.PartitionLength.QuadPart = static_cast<LONGLONG>(d.taille);
      return rendre(&p, sizeof p, sizeof p, sortie, tailleSortie, rendus);
    }
    case 0x70048: {  // IOCTL_DISK_GET_PARTITION_INFO_EX
      PARTITION_INFORMATION_EX p;
      memset(&p, 0, sizeof p);
      DWORD signature;
      p.PartitionStyle = styleDisque(d, &signature);
      p.PartitionLength.QuadPart = static_cast<LONGLONG>(d.taille);
      return rendre(&p, sizeof p, sizeof p, sortie, tailleSortie, rendus);
    }
    case 0x70140:  // IOCTL_DISK_UPDATE_PROPERTIES
      if (rendus != nullptr) *rendus = 0;
      return TRUE;
    case 0x2D1080: {  // IOCTL_STORAGE_GET_DEVICE_NUMBER
      STORAGE_DEVICE_NUMBER n;
      n.DeviceType = FILE_DEVICE_DISK;
      n.DeviceNumber = d.numero;
      n.PartitionNumber = 0;
      return rendre(&n, sizeof n, sizeof n, sortie, tailleSortie, rendus);
    }
    case 0x2D1400: {  // IOCTL_STORAGE_QUERY_PROPERTY: the access alignment, from Vista on
      if (entree == nullptr || tailleEntree < 8) return sortieTrop(ERROR_INVALID_PARAMETER);
      const Version* v = active->version;
      if (v != nullptr && v->majeur < 6) return sortieTrop(ERROR_INVALID_FUNCTION);
      STORAGE_PROPERTY_QUERY q;
      memset(&q, 0, sizeof q);
      memcpy(&q, entree, tailleEntree < sizeof q ? tailleEntree : sizeof q);
      if (q.PropertyId != StorageAccessAlignmentProperty) return sortieTrop(ERROR_NOT_SUPPORTED);
      if (q.QueryType == PropertyExistsQuery) return TRUE;
      if (q.QueryType != PropertyStandardQuery) return sortieTrop(ERROR_INVALID_PARAMETER);
      STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR a;
      memset(&a, 0, sizeof a);
      a.Version = a.Size = sizeof a;
      a.BytesPerCacheLine = 64;
      a.BytesPerLogicalSector = d.tailleSecteur;
      a.BytesPerPhysicalSector = d.tailleSecteurPhysique ? d.tailleSecteurPhysique : d.tailleSecteur;
      return rendre(&a, sizeof a, 8, sortie, tailleSortie, rendus);
    }
    default:
      return sortieTrop(ERROR_INVALID_FUNCTION);
  }
}

// ---------------------------------------------------------------- the VWIN32 device

// BIOS and DOS answers: carry and status (AH for the BIOS, AX for DOS).
void reussirBios(DIOC_REGISTERS_SIMULES* r) {
  r->Flags &= ~1u;
  r->EAX &= ~0xFF00u;
}
void echouerBios(DIOC_REGISTERS_SIMULES* r, uint8_t statut) {
  r->Flags |= 1u;
  r->EAX = (r->EAX & ~0xFF00u) | (static_cast<uint32_t>(statut) << 8);
}
void echouerDos(DIOC_REGISTERS_SIMULES* r, uint16_t code) {
  r->Flags |= 1u;
  r->EAX = (r->EAX & 0xFFFF0000u) | code;
}

// A flat address from the registers: 0 stays null, anything else must be
// memory of this process (a cut pointer would be garbage: stop there).
void* adresse(uint32_t lineaire) {
  void* p = reinterpret_cast<void*>(static_cast<uintptr_t>(lineaire));
  MEMORY_BASIC_INFORMATION zone;
  if (lineaire != 0 && (VirtualQuery(p, &zone, sizeof zone) == 0 || zone.State != MEM_COMMIT)) {
    fprintf(stderr, "machine: VWIN32 flat address 0x%08x is not this process's memory\n",
            static_cast<unsigned>(lineaire));
    abort();
  }
  return p;
}

// A fail directive on a BIOS or DOS function: its error becomes the status.
bool refusInterruption(const std::string& nom, const std::string& cible, uint32_t* code) {
  if (!injecte(nom.c_str(), cible)) return false;
  *code = ::GetLastError();
  ::SetLastError(0);
  return true;
}

// The CHS the BIOS reports: at most 1024 cylinders, 256 heads, 63 sectors.
struct CHSBios {
  uint32_t cylindres, tetes, secteurs;
};
bool chsBios(const T_DisqueSimule& d, CHSBios* g) {
  if (d.geometrieRefusee || d.tetes == 0 || d.secteurs == 0 || d.cylindres == 0) return false;
  g->cylindres = static_cast<uint32_t>(d.cylindres < 1024 ? d.cylindres : 1024);
  g->tetes = d.tetes < 256 ? d.tetes : 256;
  g->secteurs = d.secteurs < 63 ? d.secteurs : 63;
  return true;
}

#pragma pack(push, 1)
struct PaquetSimule {
  uint8_t taille, reserve;
  uint16_t nombre, decalage, segment;
  uint64_t premier;
};
struct ParametresSimules {
  uint16_t taille, drapeaux;
  uint32_t cylindres, tetes, secteurs;
  uint64_t total;
  uint16_t octetsParSecteur;
};
struct DiskioSimule {
  uint32_t premier;
  uint16_t nombre;
  uint32_t tampon;
};
#pragma pack(pop)

void int13(DIOC_REGISTERS_SIMULES* r) {
  uint8_t fonction = static_cast<uint8_t>(r->EAX >> 8), al = static_cast<uint8_t>(r->EAX);
  uint8_t lecteur = static_cast<uint8_t>(r->EDX);
  const T_DisqueSimule* d = lecteur >= 0x80 ? disqueNumero(lecteur - 0x80u) : nullptr;
  char nom[16], cible[8];
  snprintf(nom, sizeof nom, "INT13_%02X", fonction);
  snprintf(cible, sizeof cible, "0x%02x", lecteur);
  uint32_t code;
  if (refusInterruption(nom, cible, &code)) {
    // A refused transfer moved nothing, and says so in its packet.
    if (fonction >= 0x42 && fonction <= 0x44 && r->ESI != 0)
      static_cast<PaquetSimule*>(adresse(r->ESI))->nombre = 0;
    return echouerBios(r, static_cast<uint8_t>(code));
  }
  const uint8_t INVALIDE = 0x01, PROTEGE = 0x03, INTROUVABLE = 0x04;
  if (d == nullptr) return echouerBios(r, INVALIDE);
  uint64_t nombreSecteurs = d->taille / d->tailleSecteur;
  CHSBios g;
  switch (fonction) {
    case 0x00: return reussirBios(r);
    case 0x08:
      if (!chsBios(*d, &g)) return echouerBios(r, INVALIDE);
      r->ECX = ((g.cylindres - 1) & 0xFF) << 8 | (((g.cylindres - 1) >> 2) & 0xC0) | g.secteurs;
      r->EDX = (g.tetes - 1) << 8 | static_cast<uint32_t>(active->disques.size());
      return reussirBios(r);
    case 0x15:
      r->EAX = (r->EAX & ~0xFF00u) | 0x0300;
      r->ECX = static_cast<uint32_t>(nombreSecteurs >> 16) & 0xFFFF;
      r->EDX = static_cast<uint32_t>(nombreSecteurs) & 0xFFFF;
      r->Flags &= ~1u;
      return;
    case 0x02:
    case 0x03:
    case 0x04: {
      if (!chsBios(*d, &g) || al == 0) return echouerBios(r, INVALIDE);
      uint32_t secteur = r->ECX & 0x3F, tete = (r->EDX >> 8) & 0xFF;
      uint32_t cylindre = ((r->ECX >> 8) & 0xFF) | ((r->ECX & 0xC0) << 2);
      if (secteur == 0 || secteur > g.secteurs || tete >= g.tetes || cylindre >= g.cylindres)
        return echouerBios(r, INTROUVABLE);
      uint64_t lba = (static_cast<uint64_t>(cylindre) * g.tetes + tete) * g.secteurs + secteur - 1;
      if (lba + al > nombreSecteurs) return echouerBios(r, INTROUVABLE);
      if (fonction == 0x03 && d->lectureSeule) return echouerBios(r, PROTEGE);
      if (fonction != 0x04 &&
          !accesImage(*d, fonction == 0x03, lba * d->tailleSecteur, adresse(r->EBX),
                      static_cast<uint64_t>(al) * d->tailleSecteur))
        return echouerBios(r, 0x20);
      return reussirBios(r);
    }
    default: break;
  }
  if (d->sansExtensions) return echouerBios(r, INVALIDE);
  switch (fonction) {
    case 0x41:
      if ((r->EBX & 0xFFFF) != 0x55AA) return echouerBios(r, INVALIDE);
      r->EBX = (r->EBX & 0xFFFF0000u) | 0xAA55;
      r->ECX = 0x0001;
      reussirBios(r);
      r->EAX |= 0x2100;
      return;
    case 0x42:
    case 0x43:
    case 0x44: {
      PaquetSimule* p = static_cast<PaquetSimule*>(adresse(r->ESI));
      if (p == nullptr || p->taille < 16 || p->nombre > 127) return echouerBios(r, INVALIDE);
      uint32_t n = p->nombre;
      p->nombre = 0;
      if (p->premier > nombreSecteurs || n > nombreSecteurs - p->premier) return echouerBios(r, INTROUVABLE);
      if (fonction == 0x43 && d->lectureSeule) return echouerBios(r, PROTEGE);
      if (d->sansVerification && (fonction == 0x44 || (fonction == 0x43 && al == 2)))
        return echouerBios(r, INVALIDE);
      void* tampon = adresse(static_cast<uint32_t>(p->segment) << 16 | p->decalage);
      if (fonction != 0x44 && n > 0 &&
          !accesImage(*d, fonction == 0x43, p->premier * d->tailleSecteur, tampon,
                      static_cast<uint64_t>(n) * d->tailleSecteur))
        return echouerBios(r, 0x20);
      p->nombre = static_cast<uint16_t>(n);
      return reussirBios(r);
    }
    case 0x48: {
      ParametresSimules* p = static_cast<ParametresSimules*>(adresse(r->ESI));
      if (p == nullptr || p->taille < 26) return echouerBios(r, INVALIDE);
      memset(p, 0, sizeof *p);
      p->taille = 26;
      if (!d->geometrieRefusee) {
        p->drapeaux = 2;  // the CHS fields are valid
        p->cylindres = static_cast<uint32_t>(d->cylindres);
        p->tetes = d->tetes;
        p->secteurs = d->secteurs;
      }
      p->total = nombreSecteurs;
      p->octetsParSecteur = static_cast<uint16_t>(d->tailleSecteur);
      return reussirBios(r);
    }
    default: return echouerBios(r, INVALIDE);
  }
}

const T_VolumeSimule* volumeLettre(char lettre) {
  for (const T_VolumeSimule& v : active->volumes)
    if (v.lettre == lettre) return &v;
  return nullptr;
}

// Sectors of a volume (in its drive's sectors); false when outside it.
bool accesVolume(const T_VolumeSimule& v, bool ecriture, uint64_t premier, uint64_t nombre, void* tampon) {
  const T_DisqueSimule* d = disqueNumero(v.disque);
  uint64_t t = d->tailleSecteur, secteurs = v.taille / t;
  if (premier > secteurs || nombre > secteurs - premier) return false;
  return accesImage(*d, ecriture, v.decalage + premier * t, tampon, nombre * t);
}

bool fat32(const T_VolumeSimule& v) {
  uint8_t s[512];
  return accesVolume(v, false, 0, 1, s) && s[0x16] == 0 && s[0x17] == 0 && (s[0x0B] | s[0x0C]) != 0;
}

// int 21h through VWIN32_DIOC_DOS_IOCTL: drive letter numbers from 1 (A:).
void ioctl21(DIOC_REGISTERS_SIMULES* r) {
  uint16_t ax = static_cast<uint16_t>(r->EAX);
  uint8_t bl = static_cast<uint8_t>(r->EBX), cl = static_cast<uint8_t>(r->ECX);
  uint8_t ch = static_cast<uint8_t>(r->ECX >> 8);
  bool physique = ax == 0x440D && (cl == 0x4B || cl == 0x6B);
  char lettre = static_cast<char>(bl == 0 ? 'C' : '@' + bl);
  std::string cible = physique ? "" : std::string(1, lettre);
  if (physique) {
    char t[8];
    snprintf(t, sizeof t, "0x%02x", bl);
    cible = t;
  }
  char nom[24];
  snprintf(nom, sizeof nom, "INT21_%04X", ax);
  uint32_t code;
  if (refusInterruption(nom, cible, &code)) return echouerDos(r, static_cast<uint16_t>(code));
  if (ax == 0x440D) {
    snprintf(nom, sizeof nom, "INT21_440D_%02X", cl);
    if (refusInterruption(nom, cible, &code)) return echouerDos(r, static_cast<uint16_t>(code));
  }
  const uint16_t INVALIDE = 0x01, LECTEUR_INVALIDE = 0x0F, REFUSE = 0x05, PLUS_DE_FICHIERS = 0x12;
  r->Flags &= ~1u;
  if (physique) {
    const T_DisqueSimule* d = bl >= 0x80 ? disqueNumero(bl - 0x80u) : nullptr;
    if (d == nullptr) return echouerDos(r, LECTEUR_INVALIDE);
    if (cl == 0x4B && d->occupe) return echouerDos(r, REFUSE);
    return;
  }
  const T_VolumeSimule* v = volumeLettre(lettre);
  if (v == nullptr) return echouerDos(r, LECTEUR_INVALIDE);
  switch (ax) {
    case 0x4409:
      r->EDX = v->type == "remote" ? 0x1000 : 0;
      return;
    case 0x440E:
    case 0x440F:
      r->EAX &= 0xFFFFFF00u;  // one letter for the drive
      return;
    case 0x440D: break;
    default: return echouerDos(r, INVALIDE);
  }
  if (ch != 0x08 && ch != 0x48) return echouerDos(r, INVALIDE);
  switch (cl) {
    // Each lock takes one level and each unlock gives one back, as DOS
    // counts them; the log shows what a run leaves held.
    case 0x4A:
      if (v->occupe) return echouerDos(r, REFUSE);
      ++active->niveauxVerrous[lettre];
      ajouterFichier("volumes.log", std::string("lock ") + lettre + ":\n", false);
      return;
    case 0x6A:
      if (active->niveauxVerrous[lettre] == 0) return echouerDos(r, INVALIDE);
      --active->niveauxVerrous[lettre];
      ajouterFichier("volumes.log", std::string("unlock ") + lettre + ":\n", false);
      return;
    case 0x6D: {
      // An in-use volume holds the swap file open.
      char* tampon = static_cast<char*>(adresse(r->EDX));
      if (!v->occupe || (r->ESI & 0xFFFF) != 0) return echouerDos(r, PLUS_DE_FICHIERS);
      snprintf(tampon, 16, "%c:\\WIN386.SWP", v->lettre);
      return;
    }
    case 0x60: {
      uint8_t secteur[512];
      if (!accesVolume(*v, false, 0, 1, secteur)) return echouerDos(r, 0x1F);
      bool grand = fat32(*v);
      if (ch == 0x08 && grand) return echouerDos(r, INVALIDE);
      uint8_t* bloc = static_cast<uint8_t*>(adresse(r->EDX));
      const T_DisqueSimule* d = disqueNumero(v->disque);
      bool fixe = v->type == "fixed" || v->type == "ramdisk";
      bloc[1] = fixe ? 5 : 7;
      bloc[2] = fixe ? 1 : 0;
      bloc[3] = 0;
      uint64_t piste = static_cast<uint64_t>(d->tetes) * d->secteurs * d->tailleSecteur;
      uint64_t c = piste ? v->taille / piste : 0;
      uint16_t cylindres = static_cast<uint16_t>(c < 0xFFFF ? c : 0xFFFF);
      memcpy(bloc + 4, &cylindres, 2);
      bloc[6] = 0;
      // The boot sector's parameter block, with the FAT32 fields in category 48h.
      memcpy(bloc + 7, secteur + 0x0B, ch == 0x48 ? 53 : 31);
      return;
    }
    default: return echouerDos(r, INVALIDE);
  }
}

// Absolute volume transfers: int 25h/26h (registers or a DISKIO packet) and
// int 21h AX=7305h. Large and FAT32 volumes refuse the forms that cannot
// reach them with 0207h.
void absolu(DIOC_REGISTERS_SIMULES* r, bool ecriture, bool etendu) {
  char lettre;
  std::string nom;
  if (etendu) {
    lettre = static_cast<char>('@' + (r->EDX & 0xFF));
    nom = "INT21_7305";
  } else {
    lettre = static_cast<char>('A' + (r->EAX & 0xFF));
    nom = ecriture ? "INT26" : "INT25";
  }
  uint32_t code;
  if (refusInterruption(nom, std::string(1, lettre), &code)) return echouerDos(r, static_cast<uint16_t>(code));
  r->Flags &= ~1u;
  const T_VolumeSimule* v = volumeLettre(lettre);
  if (etendu && (r->EAX & 0xFFFF) != 0x7305) return echouerDos(r, 0x01);
  if (v == nullptr) return echouerDos(r, etendu ? 0x0F : 0x0201);
  const T_DisqueSimule* d = disqueNumero(v->disque);
  bool paquet = etendu || r->ECX == 0xFFFFFFFFu;
  uint64_t premier, nombre;
  void* tampon;
  if (paquet) {
    const DiskioSimule* p = static_cast<const DiskioSimule*>(adresse(r->EBX));
    premier = p->premier;
    nombre = p->nombre;
    tampon = adresse(p->tampon);
    if (etendu) ecriture = (r->ESI & 1) != 0;
  } else {
    premier = r->EDX & 0xFFFF;
    nombre = r->ECX & 0xFFFF;
    tampon = adresse(r->EBX);
  }
  bool grand = fat32(*v) || (!paquet && v->taille / d->tailleSecteur > 0xFFFF);
  if (!etendu && grand) return echouerDos(r, 0x0207);
  if (ecriture && d->lectureSeule) return echouerDos(r, etendu ? 0x13 : 0x0300);
  if (!accesVolume(*v, ecriture, premier, nombre, tampon)) return echouerDos(r, etendu ? 0x1B : 0x0408);
}

BOOL controleVwin32(DWORD code, LPVOID entree, DWORD tailleEntree, LPVOID sortie, DWORD tailleSortie,
                    LPDWORD rendus) {
  for (const auto& c : codesVwin32)
    if (c.second == code && injecte(c.first, "\\\\.\\vwin32")) return FALSE;
  DIOC_REGISTERS_SIMULES r;
  if (entree == nullptr || sortie == nullptr || tailleEntree < sizeof r || tailleSortie < sizeof r)
    return sortieTrop(ERROR_INVALID_PARAMETER);
  memcpy(&r, entree, sizeof r);
  switch (code) {
    case 4: int13(&r); break;
    case 1: ioctl21(&r); break;
    case 6: absolu(&r, false, true); break;
    case 2: absolu(&r, false, false); break;
    case 3: absolu(&r, true, false); break;
    default: return sortieTrop(ERROR_INVALID_FUNCTION);
  }
  memcpy(sortie, &r, sizeof r);
  if (rendus != nullptr) *rendus = sizeof r;
  return TRUE;
}

BOOL WINAPI simDeviceIoControl(HANDLE f, DWORD code, LPVOID entree, DWORD tailleEntree, LPVOID sortie,
                               DWORD tailleSortie, LPDWORD rendus, LPOVERLAPPED o) {
  HandleSimule* h = handleSimule(f);
  if (h == nullptr)
    return active->sauvegarde.DeviceIoControl(f, code, entree, tailleEntree, sortie, tailleSortie, rendus, o);
  if (rendus != nullptr) *rendus = 0;
  if (injecte("DeviceIoControl", h->chemin)) return FALSE;
  if (h->disque != nullptr) return controleDisque(*h, code, entree, tailleEntree, sortie, tailleSortie, rendus);
  return controleVwin32(code, entree, tailleEntree, sortie, tailleSortie, rendus);
}

void brancher(T_AppelsWindows& a) {
  a.GetVersionExA = simGetVersionExA;
  a.LoadLibraryA = simLoadLibraryA;
  a.GetProcAddress = simGetProcAddress;
  a.GetTimeZoneInformation = simGetTimeZoneInformation;
  a.DosDateTimeToFileTime = simDosDateTimeToFileTime;
  a.FileTimeToDosDateTime = simFileTimeToDosDateTime;
  a.DuplicateHandle = simDuplicateHandle;
  a.SuspendThread = simSuspendThread;
  a.GetThreadContext = simGetThreadContext;
  a.CreateThread = simCreateThread;
  a.GlobalAlloc = simGlobalAlloc;
  a.GlobalLock = simGlobalLock;
  a.GlobalUnlock = simGlobalUnlock;
  a.OpenClipboard = simOpenClipboard;
  a.EmptyClipboard = simEmptyClipboard;
  a.SetClipboardData = simSetClipboardData;
  a.CloseClipboard = simCloseClipboard;
  a.MessageBoxA = simMessageBoxA;
  a.CreateFileA = simCreateFileA;
  a.CloseHandle = simCloseHandle;
  a.ReadFile = simReadFile;
  a.WriteFile = simWriteFile;
  a.SetFilePointer = simSetFilePointer;
  a.SetFilePointerEx = simSetFilePointerEx;
  a.FlushFileBuffers = simFlushFileBuffers;
  a.DeviceIoControl = simDeviceIoControl;
  a.Sleep = simSleep;
  brancherMaintenance(a);
}

// ---------------------------------------------------------------- loading

bool lireSigne(const std::string& texte, LONG* valeur) {
  if (texte.empty()) return false;
  errno = 0;
  char* fin = nullptr;
  long long v = strtoll(texte.c_str(), &fin, 10);
  if (errno != 0 || *fin != '\0' || fin == texte.c_str() || v < LONG_MIN || v > LONG_MAX) return false;
  *valeur = static_cast<LONG>(v);
  return true;
}

bool lireErreur(const std::string& texte, DWORD* erreur) {
  for (const auto& n : nomsErreurs) {
    if (texte == n.first) {
      *erreur = n.second;
      return true;
    }
  }
  uint64_t v;
  if (!lireNombreMachine(texte, &v) || v > 0xFFFFFFFFULL) return false;
  *erreur = static_cast<DWORD>(v);
  return true;
}

bool cheminAbsolu(const std::string& c) {
  return (c.size() > 1 && c[1] == ':') || c.rfind("\\\\", 0) == 0 || (!c.empty() && c[0] == '/');
}

uint64_t tailleFichier(const std::string& chemin, bool* trouve) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  *trouve = GetFileAttributesExA(chemin.c_str(), GetFileExInfoStandard, &a) &&
            !(a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  return *trouve ? (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow : 0;
}

class Chargeur : public LecteurDirectives {
 public:
  explicit Chargeur(Machine& m) : m_(m) {}

  bool charger(std::string* erreur) {
    if (!lireDirectives(m_.racine + "\\machine", directiveLinux, erreur)) return false;
    terminerVolumes(m_.volumes);
    return true;
  }

 private:
  bool ouiNon(const std::vector<std::string>& m, bool* valeur) {
    if (m.size() != 2 || (m[1] != "yes" && m[1] != "no")) return refus(m[0] + " yes|no");
    *valeur = m[1] == "yes";
    return true;
  }

  bool directive(const std::vector<std::string>& m) override {
    const std::string& d = m[0];
    if (d == "windows") return version(m);
    if (d == "drive") return disque(m);
    if (d == "volume") return volume(m);
    if (d == "admin") return ouiNon(m, &m_.administrateur);
    if (d == "console") return ouiNon(m, &m_.console);
    if (d == "timezone") return fuseau(m);
    if (d == "missing") {
      if (m.size() != 2) return refus("missing FUNCTION");
      m_.absents.insert(minuscules(m[1]));
      return true;
    }
    return echec(m);
  }

  bool version(const std::vector<std::string>& m) {
    if (m.size() != 2) return refus("windows VERSION");
    for (const Version& v : versions) {
      if (m[1] != v.nom) continue;
      m_.version = &v;
      return true;
    }
    return refus("unknown version " + m[1] + " (95, 98, me, nt4, 2000, xp, 2003, vista, 7, 10)");
  }

  std::string image(const std::string& nom) {
    return cheminAbsolu(nom) ? cheminWindows(nom) : m_.racine + "\\" + nom;
  }

  bool disque(const std::vector<std::string>& m) {
    if (m.size() < 3) return refus("drive N IMAGE [options]");
    T_DisqueSimule d;
    uint64_t n;
    if (!lireNombreMachine(m[1], &n) || n > 127) return refus("bad drive number " + m[1]);
    d.numero = static_cast<unsigned>(n);
    for (const T_DisqueSimule& autre : m_.disques)
      if (autre.numero == d.numero) return refus("drive " + m[1] + " declared twice");
    d.image = image(m[2]);
    bool trouve;
    uint64_t tailleImage = tailleFichier(d.image, &trouve);
    if (!trouve) return refus("image " + m[2] + " is not a file");
    bool tailleDonnee = false, geoDonnee = false;
    for (size_t i = 3; i < m.size(); ++i) {
      const std::string& o = m[i];
      std::string valeur = o.substr(o.find('=') + 1);
      uint64_t v;
      if (o.rfind("offset=", 0) == 0) {
        if (!lireNombreMachine(valeur, &d.decalage)) return refus("bad " + o);
      } else if (o.rfind("size=", 0) == 0) {
        if (!lireNombreMachine(valeur, &d.taille)) return refus("bad " + o);
        tailleDonnee = true;
      } else if (o.rfind("ssz=", 0) == 0) {
        if (!lireNombreMachine(valeur, &v) || v == 0 || v > 0x7FFFFFFF) return refus("bad " + o);
        d.tailleSecteur = static_cast<uint32_t>(v);
      } else if (o == "geo=none") {
        d.geometrieRefusee = true;
      } else if (o.rfind("geo=", 0) == 0) {
        if (!geometrie(valeur, &d)) return refus("bad " + o + " (CYLINDERS/HEADS/SECTORS)");
        geoDonnee = true;
      } else if (o.rfind("pssz=", 0) == 0) {
        if (!lireNombreMachine(valeur, &v) || v == 0 || v > 0x7FFFFFFF) return refus("bad " + o);
        d.tailleSecteurPhysique = static_cast<uint32_t>(v);
      } else if (o == "detect=none" || o == "detect=int13" || o == "detect=exint13") {
        d.detection = o == "detect=none" ? 0 : o == "detect=int13" ? 1 : 2;
      } else if (o == "noext") {
        d.sansExtensions = true;
      } else if (o == "noverify") {
        d.sansVerification = true;
      } else if (o == "removable") {
        d.amovible = true;
      } else if (o == "busy") {
        d.occupe = true;
      } else if (o == "ro") {
        d.lectureSeule = true;
      } else {
        return refus("unknown option " + o);
      }
    }
    if (d.decalage > tailleImage) return refus("offset beyond the image");
    if (!tailleDonnee) d.taille = tailleImage - d.decalage;
    if (d.taille > tailleImage - d.decalage) return refus("window beyond the image");
    if (!geoDonnee) d.cylindres = d.taille / (255ULL * 63 * d.tailleSecteur);
    m_.disques.push_back(d);
    return true;
  }

  bool geometrie(const std::string& texte, T_DisqueSimule* d) {
    uint64_t v[3];
    size_t debut = 0;
    for (int k = 0; k < 3; ++k) {
      size_t fin = k < 2 ? texte.find('/', debut) : texte.size();
      if (fin == std::string::npos || !lireNombreMachine(texte.substr(debut, fin - debut), &v[k]))
        return false;
      debut = fin + 1;
    }
    if (v[1] > 0xFFFFFFFF || v[2] > 0xFFFFFFFF) return false;
    d->cylindres = v[0];
    d->tetes = static_cast<uint32_t>(v[1]);
    d->secteurs = static_cast<uint32_t>(v[2]);
    return true;
  }

  bool volume(const std::vector<std::string>& m) {
    if (m.size() < 5) return refus("volume LETTER DRIVE OFFSET SIZE [options]");
    T_VolumeSimule v;
    std::string lettre = m[1];
    if (lettre.size() == 2 && lettre[1] == ':') lettre.pop_back();
    char c = lettre.size() == 1 ? static_cast<char>(toupper(static_cast<unsigned char>(lettre[0]))) : 0;
    if (lettre == "-") c = 0;
    else if (c < 'A' || c > 'Z') return refus("bad drive letter " + m[1]);
    v.lettre = c;
    for (const T_VolumeSimule& autre : m_.volumes)
      if (c != 0 && autre.lettre == c) return refus("letter " + m[1] + " declared twice");
    uint64_t n;
    const T_DisqueSimule* d = nullptr;
    if (lireNombreMachine(m[2], &n))
      for (const T_DisqueSimule& x : m_.disques)
        if (x.numero == n) d = &x;
    if (d == nullptr) return refus("drive " + m[2] + " is not declared");
    v.disque = d->numero;
    if (!lireNombreMachine(m[3], &v.decalage) || !lireNombreMachine(m[4], &v.taille))
      return refus("bad OFFSET or SIZE");
    if (v.decalage > d->taille || v.taille > d->taille - v.decalage)
      return refus("volume beyond drive " + m[2]);
    char nom[64];
    snprintf(nom, sizeof nom, "\\\\?\\Volume{6c656e73-%04x-0000-0000-%012llx}\\", v.disque,
             static_cast<unsigned long long>(v.decalage / 512));
    v.nom = nom;
    if (d->amovible) v.type = "removable";
    for (size_t i = 5; i < m.size(); ++i) {
      const std::string& o = m[i];
      std::string valeur = o.substr(o.find('=') + 1);
      if (o.rfind("name=", 0) == 0) {
        if (valeur.rfind("\\\\?\\Volume{", 0) != 0 || valeur.back() != '\\')
          return refus("bad " + o + " (\\\\?\\Volume{GUID}\\)");
        v.nom = valeur;
      } else if (o.rfind("type=", 0) == 0) {
        if (valeur != "fixed" && valeur != "removable" && valeur != "cdrom" && valeur != "remote" &&
            valeur != "ramdisk")
          return refus("bad " + o);
        v.type = valeur;
      } else if (o.rfind("fs=", 0) == 0 && !valeur.empty()) {
        v.systemeFichiers = valeur;
      } else if (o == "busy") {
        v.occupe = true;
      } else if (!optionVolume(o, &v, &raison_)) {
        if (raison_.empty()) raison_ = "unknown option " + o;
        return false;
      }
    }
    m_.volumes.push_back(v);
    return true;
  }

  bool fuseau(const std::vector<std::string>& m) {
    Fuseau& f = m_.fuseau;
    bool forme = m.size() == 2 || m.size() == 4 || m.size() == 5;
    if (!forme || !lireSigne(m[1], &f.biais) ||
        (m.size() >= 4 && (!lireSigne(m[2], &f.biaisStandard) || !lireSigne(m[3], &f.biaisEte))) ||
        (m.size() == 5 && m[4] != "standard" && m[4] != "daylight"))
      return refus("timezone BIAS [STANDARD-BIAS DAYLIGHT-BIAS [standard|daylight]]");
    f.donne = true;
    f.avecEte = m.size() >= 4;
    f.enEte = m.size() == 5 && m[4] == "daylight";
    return true;
  }

  bool echec(const std::vector<std::string>& m) {
    if (m.size() < 4) return refus("fail FUNCTION PATH ERROR [after=N] [count=N]");
    Echec e;
    e.fonction = m[1];
    bool code = false;
    for (const auto& c : codesDisque) code = code || e.fonction == c.first;
    for (const auto& c : codesVwin32) code = code || e.fonction == c.first;
    if (!fonctionsEchec.count(e.fonction) && !code && !fonctionInterruption(e.fonction) &&
        !fonctionEchecVolume(e.fonction))
      return refus("unknown function " + e.fonction);
    e.chemin = m[2];
    if (!lireErreur(m[3], &e.erreur)) return refus("bad error " + m[3]);
    for (size_t i = 4; i < m.size(); ++i) {
      std::string valeur = m[i].substr(m[i].find('=') + 1);
      uint64_t* cible = m[i].rfind("after=", 0) == 0   ? &e.apres
                        : m[i].rfind("count=", 0) == 0 ? &e.nombre
                                                       : nullptr;
      if (cible == nullptr || !lireNombreMachine(valeur, cible)) return refus("bad " + m[i]);
    }
    m_.echecs.push_back(e);
    return true;
  }

  Machine& m_;
};

const std::vector<T_DisqueSimule> aucunDisque;
const std::vector<T_VolumeSimule> aucunVolume;
const std::string aucuneRacine;

}  // namespace

bool echecInjecte(const char* fonction, const std::string& chemin) {
  return active != nullptr && injecte(fonction, chemin);
}

bool fonctionExportee(const std::string& nom) { return active == nullptr || exporte(nom); }

bool familleNTSimulee() {
  return active == nullptr || active->version == nullptr ||
         active->version->plateforme == VER_PLATFORM_WIN32_NT;
}
// ---------------------------------------------------------------- for the maintenance side

bool injecteMaintenance(const char* fonction, const std::string& chemin) {
  return injecte(fonction, chemin);
}
HGLOBAL pressePapierSimule() { return active->pressePapier; }
bool pressePapierOuvertSimule() { return active->pressePapierOuvert; }

std::string cheminWindows(const std::string& chemin) {
  if (chemin.empty() || chemin[0] != '/') return chemin;
  typedef WCHAR*(CDECL * T_NomDos)(const char*);
  HMODULE k = GetModuleHandleA("kernel32.dll");
  FARPROC p = k ? ::GetProcAddress(k, "wine_get_dos_file_name") : nullptr;
  if (p != nullptr) {
    T_NomDos nomDos;
    memcpy(&nomDos, &p, sizeof nomDos);
    if (WCHAR* large = nomDos(chemin.c_str())) {
      char etroit[MAX_PATH * 4];
      int n = WideCharToMultiByte(CP_ACP, 0, large, -1, etroit, sizeof etroit, nullptr, nullptr);
      HeapFree(GetProcessHeap(), 0, large);
      if (n > 0) return etroit;
    }
  }
  std::string r = "Z:" + chemin;
  for (char& c : r)
    if (c == '/') c = '\\';
  return r;
}

bool installerMachine(const std::string& racine, std::string* erreur) {
  if (active != nullptr) {
    if (erreur != nullptr) *erreur = "a machine is already installed";
    return false;
  }
  std::string r = cheminWindows(racine);
  char complet[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(r.c_str(), sizeof complet, complet, nullptr);
  if (n > 0 && n < sizeof complet) r = complet;
  while (r.size() > 3 && (r.back() == '\\' || r.back() == '/')) r.pop_back();
  Machine* m = new Machine;
  m->racine = r;
  if (!Chargeur(*m).charger(erreur)) {
    delete m;
    return false;
  }
  InitializeCriticalSection(&m->verrou);
  active = m;
  m->sauvegarde = appelsWindows;
  brancher(appelsWindows);
  brancherVolumes(appelsWindows);
  return true;
}

void retirerMachine() {
  if (active == nullptr) return;
  appelsWindows = active->sauvegarde;
  retirerVolumes();
  retirerMaintenance();
  for (const auto& h : active->handles) ::CloseHandle(h.first);
  if (active->pressePapier != nullptr) ::GlobalFree(active->pressePapier);
  DeleteCriticalSection(&active->verrou);
  delete active;
  active = nullptr;
}

bool machineInstallee() { return active != nullptr; }

const std::vector<T_DisqueSimule>& disquesSimules() { return active ? active->disques : aucunDisque; }
const std::vector<T_VolumeSimule>& volumesSimules() { return active ? active->volumes : aucunVolume; }
bool administrateurSimule() { return active == nullptr || active->administrateur; }
bool consoleSimulee() { return active == nullptr || active->console; }
unsigned nombrePausesSimulees() { return active ? active->pauses : 0; }
uint64_t dureePausesSimulees() { return active ? active->dureePauses : 0; }
const std::string& racineMachine() { return active ? active->racine : aucuneRacine; }

std::string MachineTemporaire::nouveauDossier() {
  static unsigned compteur;
  char dossier[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof dossier, dossier);
  std::string base = n > 0 && n < sizeof dossier ? dossier : ".\\";
  for (int essai = 0; essai < 100; ++essai) {
    std::string c = base + "lens_machine_" + std::to_string(GetCurrentProcessId()) + "_" +
                    std::to_string(++compteur);
    if (CreateDirectoryA(c.c_str(), nullptr)) return c;
  }
  return "";
}
