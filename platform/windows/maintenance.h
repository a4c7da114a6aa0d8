// Windows maintenance services that the programs link but do not reach:
// flushing and restarting the computer, the console set-up with QuickEdit
// off, the administrator and language tests, and sector transfers on a
// locked volume. Several have a Linux body of the same name.
#pragma once
#include <cstdint>

#include "core/string_array.h"
#include "platform/windows/transferts.h"

// Every open stream of the runtime library flushed, then a half-second pause.
void synchroniserDisques();
// Ends the program: status 0 (end normally) or 3 once the system shuts
// down, or the fatal "cannot reboot" message.
[[noreturn]] void redemarrerOrdinateur(bool finNormale);

// The exit texts of the two refusals.
extern const char* const MESSAGE_REDEMARRAGE_IMPOSSIBLE;
extern const char* const MESSAGE_CONSOLE_IMPOSSIBLE;

// Option handler: with a value other than "no", ends the program with the
// option's message; without one, replaces the console by a new one created
// while the user's QuickEdit setting is off (the setting is put back).
void initialiserConsole(const char* valeur, const void* inutilise1, const void* inutilise2,
                        char** noms, int index);

// True when forced, before Windows 2000, or for a member of the built-in
// administrators group.
bool estAdministrateur();
void forcerAdministrateur();

// French when the user's language (or, once chargerKernel32 ran, the user
// interface's) is French; never UTF-8 on Windows.
void analyserLocale(bool* francais, bool* utf8);

// Drive sizes of a letter's root: free bytes for the caller and total bytes
// (GetDiskFreeSpaceExA when kernel32 has it, else a 64-bit product of the
// cluster figures); clusters, bytes a cluster and a sector (0 on failure).
bool espaceLibreLecteur(char lettre, uint64_t* octets);
bool tailleLecteur(char lettre, uint64_t* octets);
uint32_t nombreClustersLecteur(char lettre);
uint32_t tailleClusterLecteur(char lettre);
uint32_t tailleSecteurLecteur(char lettre);
// The volume's label (free it), or null when it has none.
char* informationsVolume(char lettre);
// "A:", "C:"... for every present drive, in letter order.
StringArray listerLettresLecteurs();
// A usable letter (lower case accepted); errno 2 when it has no root.
bool verifierLecteur(char lettre);

// Sectors of a locked volume (the key of LockManager::lockVolume). On 9x
// *mode persists between calls on one volume: 0 int 25h/26h with registers,
// 1 with a DISKIO packet, 2 int 21h AX=7305h; start it at 0. A failed
// one-sector read leaves a zeroed sector.
bool lireSecteursVolume(const T_AccesDisque* volume, uint64_t premier, uint32_t nombre,
                        uint16_t tailleSecteur, void* tampon, int* mode);
bool ecrireSecteursVolume(const T_AccesDisque* volume, uint64_t premier, uint32_t nombre,
                          uint16_t tailleSecteur, const void* donnees, int* mode);

#pragma pack(push, 1)
// The DISKIO packet of int 25h/26h and of AX=7305h.
struct T_PaquetDiskio {
  uint32_t premier;
  uint16_t nombre;
  uint32_t tampon;  // flat address
};
#pragma pack(pop)
static_assert(sizeof(T_PaquetDiskio) == 10, "DISKIO packet");
