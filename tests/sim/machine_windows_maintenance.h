// The maintenance side of the simulated Windows machine: privileges and the
// reboot, the administrators group (`admin`), the console (`console`) and
// its QuickEdit value in a registry of one key, the language, and the
// clipboard's text read back. Every call is written to a journal that the
// tests read.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "platform/windows/appels_windows.h"

// Installed and removed with the machine.
void brancherMaintenance(T_AppelsWindows& a);
void retirerMaintenance();

// What machine_windows.cpp lends to this side.
bool injecteMaintenance(const char* fonction, const std::string& chemin);
HGLOBAL pressePapierSimule();
bool pressePapierOuvertSimule();

// A registry value: its type and bytes.
struct T_ValeurRegistre {
  DWORD type;
  std::string octets;
};
// HKEY_CURRENT_USER\Console, by value name; starts empty.
std::map<std::string, T_ValeurRegistre>& registreConsoleSimule();
// Whether HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\MiniNT
// exists (default no).
void fixerMiniNTSimule(bool present);
// The answer of GetUserDefaultLangID (default 0x409).
void fixerLangueSimulee(LANGID langue);
// One line per call: "RegSetValueExA QuickEdit 4", "FreeConsole",
// "AllocConsole", "RegDeleteValueA QuickEdit", "ExitWindowsEx 2 0x80040001",
// "AdjustTokenPrivileges 2", "NtShutdownSystem 1"...
const std::vector<std::string>& journalMaintenance();
