#include "sim/machine_windows_maintenance.h"

#include <cstdio>
#include <cstring>

#include "sim/machine_windows.h"

namespace {

struct Maintenance {
  std::map<std::string, T_ValeurRegistre> console;
  bool miniNT = false;
  LANGID langue = 0x409;
  std::vector<std::string> journal;
  T_AppelsWindows dessous;  // the entries this side replaced
};

Maintenance* etat = nullptr;

// Fake handles and keys: addresses of these, never the host's.
char jetonSimule, cleConsole, cleMiniNT, sidAdministrateurs;

void noter(const std::string& ligne) { etat->journal.push_back(ligne); }

BOOL WINAPI simOpenProcessToken(HANDLE, DWORD acces, PHANDLE jeton) {
  if (injecteMaintenance("OpenProcessToken", "*")) return FALSE;
  char t[48];
  snprintf(t, sizeof t, "OpenProcessToken 0x%lx", static_cast<unsigned long>(acces));
  noter(t);
  *jeton = &jetonSimule;
  return TRUE;
}

BOOL WINAPI simLookupPrivilegeValueA(LPCSTR, LPCSTR nom, PLUID valeur) {
  noter(std::string("LookupPrivilegeValueA ") + (nom ? nom : ""));
  valeur->LowPart = 19;  // SE_SHUTDOWN_PRIVILEGE
  valeur->HighPart = 0;
  return TRUE;
}

// A user who is no administrator holds no shutdown privilege: the call
// succeeds and says ERROR_NOT_ALL_ASSIGNED, as Windows does.
BOOL WINAPI simAdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES p, DWORD, PTOKEN_PRIVILEGES, PDWORD) {
  if (injecteMaintenance("AdjustTokenPrivileges", "*")) return FALSE;
  noter("AdjustTokenPrivileges " + std::to_string(p ? p->Privileges[0].Attributes : 0));
  ::SetLastError(administrateurSimule() ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

LONG WINAPI simRegOpenKeyExA(HKEY racine, LPCSTR nom, DWORD, REGSAM, PHKEY cle) {
  std::string n = nom ? nom : "";
  if (injecteMaintenance("RegOpenKeyExA", n)) return static_cast<LONG>(::GetLastError());
  if (racine == HKEY_CURRENT_USER && n == "Console") {
    *cle = reinterpret_cast<HKEY>(&cleConsole);
    return ERROR_SUCCESS;
  }
  if (racine == HKEY_LOCAL_MACHINE && n == "SYSTEM\\CurrentControlSet\\Control\\MiniNT" && etat->miniNT) {
    *cle = reinterpret_cast<HKEY>(&cleMiniNT);
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

bool cleConnue(HKEY cle) { return cle == reinterpret_cast<HKEY>(&cleConsole); }

LONG WINAPI simRegQueryValueExA(HKEY cle, LPCSTR nom, LPDWORD, LPDWORD type, LPBYTE donnees, LPDWORD taille) {
  std::string n = nom ? nom : "";
  if (injecteMaintenance("RegQueryValueExA", n)) return static_cast<LONG>(::GetLastError());
  if (!cleConnue(cle)) return ERROR_INVALID_HANDLE;
  auto v = etat->console.find(n);
  if (v == etat->console.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->second.type;
  DWORD longueur = static_cast<DWORD>(v->second.octets.size());
  bool tient = donnees != nullptr && taille != nullptr && *taille >= longueur;
  if (taille) *taille = longueur;
  if (!tient) return donnees ? ERROR_MORE_DATA : ERROR_SUCCESS;
  memcpy(donnees, v->second.octets.data(), longueur);
  return ERROR_SUCCESS;
}

LONG WINAPI simRegSetValueExA(HKEY cle, LPCSTR nom, DWORD, DWORD type, const BYTE* donnees, DWORD taille) {
  std::string n = nom ? nom : "";
  if (injecteMaintenance("RegSetValueExA", n)) return static_cast<LONG>(::GetLastError());
  if (!cleConnue(cle)) return ERROR_INVALID_HANDLE;
  etat->console[n] = {type, std::string(reinterpret_cast<const char*>(donnees), taille)};
  noter("RegSetValueExA " + n + " " + std::to_string(taille));
  return ERROR_SUCCESS;
}

LONG WINAPI simRegDeleteValueA(HKEY cle, LPCSTR nom) {
  std::string n = nom ? nom : "";
  if (!cleConnue(cle)) return ERROR_INVALID_HANDLE;
  noter("RegDeleteValueA " + n);
  return etat->console.erase(n) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI simRegCloseKey(HKEY cle) {
  if (cle != reinterpret_cast<HKEY>(&cleConsole) && cle != reinterpret_cast<HKEY>(&cleMiniNT))
    return ERROR_INVALID_HANDLE;
  noter("RegCloseKey");
  return ERROR_SUCCESS;
}

BOOL WINAPI simAllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY autorite, BYTE nombre, DWORD a0, DWORD a1,
                                        DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID* sid) {
  if (injecteMaintenance("AllocateAndInitializeSid", "*")) return FALSE;
  static const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
  // Only the administrators group is known here.
  if (memcmp(autorite->Value, nt, 6) != 0 || nombre != 2 || a0 != 32 || a1 != 544) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *sid = &sidAdministrateurs;
  return TRUE;
}

BOOL WINAPI simCheckTokenMembership(HANDLE jeton, PSID sid, PBOOL membre) {
  if (injecteMaintenance("CheckTokenMembership", "*")) return FALSE;
  if (jeton != nullptr || sid != &sidAdministrateurs) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *membre = administrateurSimule();
  return TRUE;
}

PVOID WINAPI simFreeSid(PSID sid) {
  noter("FreeSid");
  return sid == &sidAdministrateurs ? nullptr : sid;
}

BOOL WINAPI simFreeConsole() {
  if (injecteMaintenance("FreeConsole", "*")) return FALSE;
  if (!consoleSimulee()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  noter("FreeConsole");
  return TRUE;
}

BOOL WINAPI simAllocConsole() {
  if (injecteMaintenance("AllocConsole", "*")) return FALSE;
  auto v = etat->console.find("QuickEdit");
  noter(std::string("AllocConsole QuickEdit=") +
        (v == etat->console.end() ? "none" : std::to_string(v->second.octets.empty() ? -1 : v->second.octets[0])));
  return TRUE;
}

LANGID WINAPI simGetUserDefaultLangID() { return etat->langue; }

BOOL WINAPI simExitWindowsEx(UINT drapeaux, DWORD raison) {
  if (injecteMaintenance("ExitWindowsEx", "*")) return FALSE;
  char t[48];
  snprintf(t, sizeof t, "ExitWindowsEx %u 0x%lx", drapeaux, static_cast<unsigned long>(raison));
  noter(t);
  return TRUE;
}

// The clipboard's text from the machine's own clipboard, while it is open.
HANDLE WINAPI simGetClipboardData(UINT format) {
  if (injecteMaintenance("GetClipboardData", "*")) return nullptr;
  if (!pressePapierOuvertSimule()) {
    ::SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return nullptr;
  }
  if (format != CF_TEXT) return nullptr;
  return pressePapierSimule();
}

}  // namespace

void brancherMaintenance(T_AppelsWindows& a) {
  delete etat;
  etat = new Maintenance;
  etat->dessous = a;
  a.OpenProcessToken = simOpenProcessToken;
  a.LookupPrivilegeValueA = simLookupPrivilegeValueA;
  a.AdjustTokenPrivileges = simAdjustTokenPrivileges;
  a.RegOpenKeyExA = simRegOpenKeyExA;
  a.RegQueryValueExA = simRegQueryValueExA;
  a.RegSetValueExA = simRegSetValueExA;
  a.RegDeleteValueA = simRegDeleteValueA;
  a.RegCloseKey = simRegCloseKey;
  a.AllocateAndInitializeSid = simAllocateAndInitializeSid;
  a.CheckTokenMembership = simCheckTokenMembership;
  a.FreeSid = simFreeSid;
  a.FreeConsole = simFreeConsole;
  a.AllocConsole = simAllocConsole;
  a.GetUserDefaultLangID = simGetUserDefaultLangID;
  a.ExitWindowsEx = simExitWindowsEx;
  a.GetClipboardData = simGetClipboardData;
}

void retirerMaintenance() {
  delete etat;
  etat = nullptr;
}

std::map<std::string, T_ValeurRegistre>& registreConsoleSimule() { return etat->console; }
void fixerMiniNTSimule(bool present) { etat->miniNT = present; }
void fixerLangueSimulee(LANGID langue) { etat->langue = langue; }
const std::vector<std::string>& journalMaintenance() { return etat->journal; }
