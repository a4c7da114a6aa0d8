#include "sim/machine_windows.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/windows/appels_windows.h"
#include "sim/directives_machine.h"

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
    "CloseClipboard",   "MessageBoxA"};

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

struct Machine {
  std::string racine;
  const Version* version = nullptr;  // null: the host's own answer
  std::set<std::string> absents;     // lower case
  Fuseau fuseau;
  bool administrateur = true, console = true;
  std::vector<T_DisqueSimule> disques;
  std::vector<T_VolumeSimule> volumes;
  std::vector<Echec> echecs;
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

class Chargeur {
 public:
  explicit Chargeur(Machine& m) : m_(m) {}

  bool charger(std::string* erreur) {
    std::ifstream f(m_.racine + "\\machine");
    if (!f) return faux(erreur, "cannot read " + m_.racine + "\\machine");
    std::string ligne;
    for (size_t numero = 1; std::getline(f, ligne); ++numero) {
      if (!ligne.empty() && ligne.back() == '\r') ligne.pop_back();
      std::vector<std::string> m = motsDirective(ligne);
      if (m.empty() || directiveLinux(m)) continue;
      if (!directive(m)) return faux(erreur, "machine:" + std::to_string(numero) + ": " + raison_);
    }
    return true;
  }

 private:
  bool faux(std::string* erreur, const std::string& texte) {
    if (erreur != nullptr) *erreur = texte;
    return false;
  }
  bool refus(const std::string& texte) {
    raison_ = texte;
    return false;
  }

  bool ouiNon(const std::vector<std::string>& m, bool* valeur) {
    if (m.size() != 2 || (m[1] != "yes" && m[1] != "no")) return refus(m[0] + " yes|no");
    *valeur = m[1] == "yes";
    return true;
  }

  bool directive(const std::vector<std::string>& m) {
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
#ifdef _WIN64
      if (v.plateforme != VER_PLATFORM_WIN32_NT)
        return refus("windows " + m[1] + ": the 9x family runs only the i686 build");
#endif
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
    if (c < 'A' || c > 'Z') return refus("bad drive letter " + m[1]);
    v.lettre = c;
    for (const T_VolumeSimule& autre : m_.volumes)
      if (autre.lettre == c) return refus("letter " + m[1] + " declared twice");
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
      } else {
        return refus("unknown option " + o);
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
    if (!fonctionsEchec.count(e.fonction)) return refus("unknown function " + e.fonction);
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
  std::string raison_;
};

const std::vector<T_DisqueSimule> aucunDisque;
const std::vector<T_VolumeSimule> aucunVolume;
const std::string aucuneRacine;

}  // namespace

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
  return true;
}

void retirerMachine() {
  if (active == nullptr) return;
  appelsWindows = active->sauvegarde;
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
const std::string& racineMachine() { return active ? active->racine : aucuneRacine; }

MachineTemporaire::MachineTemporaire() {
  static unsigned compteur;
  char dossier[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof dossier, dossier);
  std::string base = n > 0 && n < sizeof dossier ? dossier : ".\\";
  for (int essai = 0; essai < 100 && racine_.empty(); ++essai) {
    std::string c = base + "lens_machine_" + std::to_string(GetCurrentProcessId()) + "_" +
                    std::to_string(++compteur);
    if (CreateDirectoryA(c.c_str(), nullptr)) racine_ = c;
  }
  machine("");
}

MachineTemporaire::~MachineTemporaire() {
  if (installee_) retirerMachine();
  std::error_code code;
  if (!racine_.empty()) std::filesystem::remove_all(racine_, code);
}

std::string MachineTemporaire::chemin(const std::string& relatif) const {
  std::string r = racine_ + "\\" + relatif;
  for (char& c : r)
    if (c == '/') c = '\\';
  return r;
}

void MachineTemporaire::ecrire(const std::string& relatif, const std::string& contenu) const {
  std::error_code code;
  std::filesystem::create_directories(std::filesystem::path(chemin(relatif)).parent_path(), code);
  std::ofstream f(chemin(relatif), std::ios::binary | std::ios::trunc);
  f << contenu;
}

std::string MachineTemporaire::lire(const std::string& relatif) const {
  std::ifstream f(chemin(relatif), std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void MachineTemporaire::image(const std::string& relatif, uint64_t taille) const {
  ecrire(relatif, "");
  std::error_code code;
  std::filesystem::resize_file(chemin(relatif), taille, code);
}

void MachineTemporaire::machine(const std::string& directives) const {
  std::ofstream f(chemin("machine"), std::ios::app | std::ios::binary);
  f << directives;
  if (!directives.empty() && directives.back() != '\n') f << '\n';
}

bool MachineTemporaire::installer() {
  installee_ = installerMachine(racine_, &erreur_);
  return installee_;
}
