// Raw sector transfers of the Windows layer: the disk count, the transfer
// limits and the aligned transfer buffer, whole and positioned transfers on
// a handle, and the disk reads and writes of both families (a handle on
// \\.\PHYSICALDRIVEn on NT, BIOS int 13h through VWIN32 on 9x). The limits
// and the disk count are declared for the storage model in
// storage/plateforme.h. Failures are a false result with the reason in the
// thread's last error (87 for a request the limits or the arithmetic refuse).
#pragma once
#include <windows.h>

#include <cstdint>

#include "storage/plateforme.h"

// The key by which a disk reaches the sector routines and the volume locks:
// on 9x the BIOS drive (0x80 | disk number) and no handle; on NT drive 0 and
// the open handle. A volume lock puts the drive letter in the first word.
struct T_AccesDisque {
  uint64_t lecteur;
  HANDLE handle;
};

// Start-up: registers nettoyerListesPeripheriques (there is no device-name
// list to empty on Windows).
void enregistrerNettoyagePlateforme();
void nettoyerListesPeripheriques();
// The next nombreDisques counts again (a test's new machine).
void oublierNombreDisques();

// Exit function of initialiserTransferts: frees the aligned buffer (only
// forgotten after an emergency exit).
void libererTamponTransfert();
uint32_t alignementTransfert();
// Raises the alignment and the byte limit for a disk of this sector size
// (and, from Vista on, of the access alignment the device reports); false,
// nothing changed, when the device reports a sector above 32768 bytes.
bool ajusterAlignementTransfert(HANDLE handle, uint32_t tailleSecteur);

// Whole-count loops, at most 0x40000000 bytes a call; a short call stops
// with success and *fait below nombre. fait may be null.
bool lireTout(HANDLE handle, uint64_t nombre, void* tampon, uint64_t* fait);
bool ecrireTout(HANDLE handle, uint64_t nombre, const void* donnees, uint64_t* fait);

// Transfer of nombre sectors from sector premier; a buffer off the transfer
// alignment goes through the aligned buffer. True only when every byte moved.
bool lireSecteursPosition(HANDLE handle, uint64_t premier, uint32_t nombre, uint16_t tailleSecteur,
                          void* tampon);
bool ecrireSecteursPosition(HANDLE handle, uint64_t premier, uint32_t nombre,
                            uint16_t tailleSecteur, const void* donnees);

// Disk reads print the -d trace and dump; a failed one-sector read leaves
// that sector zeroed. The verify state is the 9x per-disk write-verify byte.
bool lireSecteursDisque(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                        uint16_t tailleSecteur, void* tampon);
bool lireSecteursSansTrace(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                           uint16_t tailleSecteur, void* tampon);
bool ecrireSecteursDisque(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                          uint16_t tailleSecteur, const void* donnees, uint8_t* etatVerification);
