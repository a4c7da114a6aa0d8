#include "platform/windows/maintenance.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/lecteurs.h"
#include "platform/windows/services.h"
#include "platform/windows/traitement_erreurs.h"
#include "platform/windows/vwin32.h"

const char* const MESSAGE_REDEMARRAGE_IMPOSSIBLE =
    "Program cannot reboot computer, you have to do it yourself.";
const char* const MESSAGE_CONSOLE_IMPOSSIBLE = "Cannot initialize output console.";

namespace {

bool administrateurForce = false;

const DWORD ACCES_JETON = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
static_assert(ACCES_JETON == 0x28, "token access");
const DWORD ACCES_CLE_MININT = 0x20009;
const DWORD ACCES_CLE_CONSOLE = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
static_assert(ACCES_CLE_CONSOLE == 0x2001F, "console key access");
const DWORD RAISON_REDEMARRAGE = 0x80040001;  // planned, operating system, upgrade
const DWORD PAUSE_ARRET = 10000;
const LONG ERREUR_FICHIER_ABSENT = 2;

typedef LONG(NTAPI* T_NtShutdownSystem)(ULONG action);

[[noreturn]] void echecRedemarrage(int statut) {
  TRACER_APPEL();
  erreurFatale(MESSAGE_REDEMARRAGE_IMPOSSIBLE, 0, statut);
}

// The shutdown privilege on or off; false when the system refuses it.
bool privilegeArret(HANDLE jeton, TOKEN_PRIVILEGES* privileges, bool actif) {
  TRACER_APPEL();
  privileges->PrivilegeCount = 1;
  privileges->Privileges[0].Attributes = actif ? SE_PRIVILEGE_ENABLED : 0;
  appelsWindows.SetLastError(0);
  BOOL fait = appelsWindows.AdjustTokenPrivileges(jeton, FALSE, privileges, 0, nullptr, nullptr);
  return fait && appelsWindows.GetLastError() == 0;
}

// NtShutdownSystem(1) when the system is a preinstallation one; false when
// it cannot be asked.
bool arreterMiniNT(HKEY cle) {
  TRACER_APPEL();
  HMODULE ntdll = appelsWindows.LoadLibraryA("ntdll.dll");
  appelsWindows.RegCloseKey(cle);
  if (ntdll == nullptr) return false;
  FARPROC p = appelsWindows.GetProcAddress(ntdll, "NtShutdownSystem");
  T_NtShutdownSystem arret = nullptr;
  static_assert(sizeof arret == sizeof p, "function pointers of one size");
  memcpy(&arret, &p, sizeof arret);
  if (arret == nullptr || arret(1) != 0) {
    appelsWindows.FreeLibrary(ntdll);
    return false;
  }
  signalArret(CTRL_SHUTDOWN_EVENT);
  appelsWindows.FreeLibrary(ntdll);
  return true;
}

// A new console in place of the old one; true when nothing had to change.
bool recreerConsole() {
  TRACER_APPEL();
  if (!appelsWindows.FreeConsole()) return true;
  return appelsWindows.AllocConsole() != FALSE;
}

// NT: the console recreated while the user's QuickEdit value is 0, the
// value put back (or deleted when there was none) right after. Without the
// key or the value's change the console stays as it is.
bool recreerConsoleSansEditionRapide() {
  TRACER_APPEL();
  HKEY cle;
  if (appelsWindows.RegOpenKeyExA(HKEY_CURRENT_USER, "Console", 0, ACCES_CLE_CONSOLE, &cle) !=
      ERROR_SUCCESS)
    return true;  // the console stays as it is
  BYTE court[8];
  memset(court, 0, sizeof court);
  BYTE* valeur = court;
  DWORD type = 0, taille = sizeof court;
  LONG lu = appelsWindows.RegQueryValueExA(cle, "QuickEdit", nullptr, &type, valeur, &taille);
  if (lu == ERROR_MORE_DATA) {
    // A value longer than 8 bytes is read whole, so that it can be put back.
    valeur = static_cast<BYTE*>(xmalloc(taille));
    lu = appelsWindows.RegQueryValueExA(cle, "QuickEdit", nullptr, &type, valeur, &taille);
  }
  bool ok = true;
  // A value that cannot be read could not be put back: it is left alone,
  // and the console as it is, as for any other registry failure.
  if (lu == ERROR_SUCCESS || lu == ERREUR_FICHIER_ABSENT) {
    const DWORD zero = 0;
    if (appelsWindows.RegSetValueExA(cle, "QuickEdit", 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&zero), sizeof zero) == ERROR_SUCCESS &&
        appelsWindows.FreeConsole())
      ok = appelsWindows.AllocConsole() != FALSE;
    if (lu == ERROR_SUCCESS)
      appelsWindows.RegSetValueExA(cle, "QuickEdit", 0, type, valeur, taille);
    else
      appelsWindows.RegDeleteValueA(cle, "QuickEdit");
  }
  if (valeur != court) free(valeur);
  appelsWindows.RegCloseKey(cle);
  return ok;
}

}  // namespace

void synchroniserDisques() {
  TRACER_APPEL();
  _flushall();
  appelsWindows.Sleep(500);
}

void redemarrerOrdinateur(bool finNormale) {
  TRACER_APPEL();
  const int statut = finNormale ? 0 : 3;
  synchroniserDisques();
  if (!estWindowsNT()) echecRedemarrage(statut);
  HANDLE jeton;
  if (!appelsWindows.OpenProcessToken(appelsWindows.GetCurrentProcess(), ACCES_JETON, &jeton))
    echecRedemarrage(statut);
  TOKEN_PRIVILEGES privileges;
  memset(&privileges, 0, sizeof privileges);
  appelsWindows.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
  if (!privilegeArret(jeton, &privileges, true)) echecRedemarrage(statut);
  appelsWindows.SetConsoleCtrlHandler(signalArret, TRUE);
  marquerSortie(0);
  effacerArretDemande();
  HKEY cle;
  if (appelsWindows.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0,
                                  ACCES_CLE_MININT, &cle) != ERROR_SUCCESS) {
    if (!appelsWindows.ExitWindowsEx(EWX_REBOOT, RAISON_REDEMARRAGE)) {
      privilegeArret(jeton, &privileges, false);
      echecRedemarrage(statut);
    }
  } else if (!arreterMiniNT(cle)) {
    privilegeArret(jeton, &privileges, false);
    echecRedemarrage(statut);
  }
  privilegeArret(jeton, &privileges, false);
  if (!estArretDemande()) appelsWindows.Sleep(PAUSE_ARRET);
  if (estArretDemande()) erreurFatale(nullptr, 0, statut);
  echecRedemarrage(statut);
}

void initialiserConsole(const char* valeur, const void*, const void*, char** noms, int index) {
  TRACER_APPEL();
  if (valeur != nullptr) {
    if (strcmp(valeur, "no") == 0) return;
    const size_t taille = strlen(valeur) + strlen(noms[index]) + 50;
    char* message = static_cast<char*>(xmalloc(taille));
    formaterMessage(message, taille - 1, "Value \"%s\" is not allowed for option%s%s\n(%s).", valeur,
                    " ", noms[index], "no");
    erreurFatale(message, 0, 1);
  }
  bool ok = estWindowsNT() ? recreerConsoleSansEditionRapide() : recreerConsole();
  if (!ok) erreurFatale(MESSAGE_CONSOLE_IMPOSSIBLE, 0, 1);
  appelsWindows.SetConsoleCtrlHandler(consoleControlHandler, TRUE);
}

bool estAdministrateur() {
  TRACER_APPEL();
  if (administrateurForce || !estWindows2000OuPlus()) return true;
  SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
  PSID administrateurs = nullptr;
  if (!appelsWindows.AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                              DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                              &administrateurs))
    return false;
  BOOL membre = FALSE;
  bool reponse = appelsWindows.CheckTokenMembership(nullptr, administrateurs, &membre) && membre;
  appelsWindows.FreeSid(administrateurs);
  return reponse;
}

void forcerAdministrateur() { administrateurForce = true; }

void analyserLocale(bool* francais, bool* utf8) {
  TRACER_APPEL();
  *francais = false;
  *utf8 = false;
  const unsigned FRANCAIS = 12;
  if ((appelsWindows.GetUserDefaultLangID() & 0x3FF) == FRANCAIS) {
    *francais = true;
    return;
  }
  // Only when something else loaded kernel32's optional entry points.
  T_GetUserDefaultUILanguage interface = pointsEntreeKernel32().getUserDefaultUILanguage;
  if (interface != nullptr && (interface() & 0x3FF) == FRANCAIS) *francais = true;
}

// ---------------------------------------------------------------- drive sizes

namespace {

// The root path of a letter: "X:\".
void racineLecteur(char lettre, char racine[4]) {
  TRACER_APPEL();
  formaterMessage(racine, 4, "%c:%c", lettre, '\\');
}

// The four figures of GetDiskFreeSpaceA; false when the call fails.
bool figuresLecteur(char lettre, DWORD* secteursParGroupe, DWORD* octetsParSecteur, DWORD* libres,
                    DWORD* groupes) {
  TRACER_APPEL();
  char racine[4];
  racineLecteur(lettre, racine);
  *secteursParGroupe = *octetsParSecteur = *libres = *groupes = 0;
  return appelsWindows.GetDiskFreeSpaceA(racine, secteursParGroupe, octetsParSecteur, libres, groupes) !=
         FALSE;
}

// Free (or total) bytes: GetDiskFreeSpaceExA when kernel32 has it, else the
// product of the three figures in 64 bits, so that no volume above 4 GiB is cut.
bool octetsLecteur(char lettre, uint64_t* octets, bool total) {
  TRACER_APPEL();
  chargerKernel32();
  T_GetDiskFreeSpaceExA ex = pointsEntreeKernel32().getDiskFreeSpaceExA;
  char racine[4];
  racineLecteur(lettre, racine);
  ULARGE_INTEGER appelant, tout, libres;
  if (ex != nullptr && ex(racine, &appelant, &tout, &libres)) {
    *octets = total ? tout.QuadPart : appelant.QuadPart;
    return true;
  }
  DWORD s, o, l, g;
  if (!figuresLecteur(lettre, &s, &o, &l, &g)) return false;
  *octets = static_cast<uint64_t>(o) * s * (total ? g : l);
  return true;
}

}  // namespace

bool espaceLibreLecteur(char lettre, uint64_t* octets) {
  TRACER_APPEL();
  return octetsLecteur(lettre, octets, false);
}

bool tailleLecteur(char lettre, uint64_t* octets) {
  TRACER_APPEL();
  return octetsLecteur(lettre, octets, true);
}

uint32_t nombreClustersLecteur(char lettre) {
  TRACER_APPEL();
  DWORD s, o, l, g;
  return figuresLecteur(lettre, &s, &o, &l, &g) ? g : 0;
}

uint32_t tailleClusterLecteur(char lettre) {
  TRACER_APPEL();
  DWORD s, o, l, g;
  return figuresLecteur(lettre, &s, &o, &l, &g) ? s * o : 0;
}

uint32_t tailleSecteurLecteur(char lettre) {
  TRACER_APPEL();
  DWORD s, o, l, g;
  return figuresLecteur(lettre, &s, &o, &l, &g) ? o : 0;
}

char* informationsVolume(char lettre) {
  TRACER_APPEL();
  char racine[4];
  racineLecteur(lettre, racine);
  char nom[256], systeme[64];
  memset(nom, 0, sizeof nom);
  DWORD serie = 0, longueur = 0, drapeaux = 0;
  if (!appelsWindows.GetVolumeInformationA(racine, nom, sizeof nom, &serie, &longueur, &drapeaux, systeme,
                                           sizeof systeme))
    return nullptr;
  nom[sizeof nom - 1] = '\0';
  return nom[0] != '\0' ? xstrdup(nom) : nullptr;
}

StringArray listerLettresLecteurs() {
  TRACER_APPEL();
  StringArray lettres;
  DWORD presents = appelsWindows.GetLogicalDrives();
  for (unsigned i = 0; i < 32; ++i) {
    if (!(presents & (1u << i))) continue;
    char texte[3] = {static_cast<char>('A' + i), ':', '\0'};
    lettres.add(texte);
  }
  return lettres;
}

bool verifierLecteur(char lettre) {
  TRACER_APPEL();
  if (lettre >= 'a' && lettre <= 'z') lettre = static_cast<char>(lettre - 'a' + 'A');
  bool amovible = false;
  if (verifierLettreLecteur(lettre, &amovible)) return true;
  if (lettre <= 64 || static_cast<unsigned char>(lettre) >= 'A' + nombreLettresLecteurs() ||
      estLettreRemappee(lettre))
    return false;
  char racine[4];
  racineLecteur(lettre, racine);
  UINT type = appelsWindows.GetDriveTypeA(racine);
  if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR) {
    errno = ENOENT;
    return false;
  }
  errno = 0;
  return true;
}

// ---------------------------------------------------------------- volume sectors

namespace {

const uint16_t ERREUR_FORME_REFUSEE = 0x0207;

// One 9x absolute transfer in the form of the mode; false with the carry.
bool appelVolume(bool ecriture, char lettre, int mode, uint32_t premier, uint32_t nombre,
                 const void* tampon, const T_PaquetDiskio* paquet, uint16_t* erreur) {
  TRACER_APPEL();
  DIOC_REGISTERS r;
  memset(&r, 0, sizeof r);
  int interruption;
  if (mode == 2) {
    r.reg_EAX = 0x7305;
    r.reg_EDX = static_cast<uint8_t>(lettre - 64);
    r.reg_ECX = 0xFFFFFFFF;
    r.reg_EBX = adresseLineaire(paquet);
    r.reg_ESI = ecriture ? 1 : 0;
    interruption = 0x21;
  } else {
    r.reg_EAX = static_cast<uint8_t>(lettre - 'A');
    if (mode == 0) {
      r.reg_ECX = nombre;
      r.reg_EDX = premier;
      r.reg_EBX = adresseLineaire(tampon);
    } else {
      r.reg_ECX = 0xFFFFFFFF;
      r.reg_EBX = adresseLineaire(paquet);
    }
    interruption = ecriture ? 0x26 : 0x25;
  }
  appelerInterruption(interruption, &r);
  *erreur = static_cast<uint16_t>(r.reg_EAX);
  return (r.reg_Flags & DRAPEAU_RETENUE) == 0;
}

bool transfererVolume9x(bool ecriture, const T_AccesDisque* volume, uint64_t premier, uint32_t nombre,
                        uint16_t tailleSecteur, const void* tampon, int* mode) {
  TRACER_APPEL();
  if (premier > 0xFFFFFFFEULL || nombre > nombreMaxSecteurs(tailleSecteur) ||
      premier + nombre > 0xFFFFFFFFULL)
    return false;
  const char lettre = static_cast<char>(volume->lecteur & 0xFF);
  T_PaquetDiskio paquet = {static_cast<uint32_t>(premier), static_cast<uint16_t>(nombre),
                           adresseLineaire(tampon)};
  if (*mode == 0 && (premier > 0xFFFF || premier + nombre > 0xFFFF)) *mode = 1;
  for (;;) {
    uint16_t erreur = 0;
    if (appelVolume(ecriture, lettre, *mode, static_cast<uint32_t>(premier), nombre, tampon, &paquet,
                    &erreur))
      return true;
    // A volume that refuses the form: the next one, kept for later calls.
    if (erreur != ERREUR_FORME_REFUSEE || *mode >= 2) return false;
    ++*mode;
  }
}

}  // namespace

bool lireSecteursVolume(const T_AccesDisque* volume, uint64_t premier, uint32_t nombre,
                        uint16_t tailleSecteur, void* tampon, int* mode) {
  TRACER_APPEL();
  bool lu = estWindowsNT()
                ? lireSecteursPosition(volume->handle, premier, nombre, tailleSecteur, tampon)
                : transfererVolume9x(false, volume, premier, nombre, tailleSecteur, tampon, mode);
  if (!lu && nombre == 1 && tampon != nullptr) memset(tampon, 0, tailleSecteur);
  return lu;
}

bool ecrireSecteursVolume(const T_AccesDisque* volume, uint64_t premier, uint32_t nombre,
                          uint16_t tailleSecteur, const void* donnees, int* mode) {
  TRACER_APPEL();
  if (estWindowsNT()) return ecrireSecteursPosition(volume->handle, premier, nombre, tailleSecteur, donnees);
  return transfererVolume9x(true, volume, premier, nombre, tailleSecteur, donnees, mode);
}
