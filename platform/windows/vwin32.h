// BIOS and DOS services of the Windows 9x family, reached through the VWIN32
// device: the register block and the packets, the gateway, the drive reset,
// the BIOS extended (LBA) transfers used by the disk reads and writes, and
// the CHS floppy routines. On the NT family the device is never opened; the
// routines reachable there answer failure without calling the gateway.
#pragma once
#include <windows.h>

#include <cstdint>

#include "platform/windows/transferts.h"
#include "storage/chs.h"

// The register block of every VWIN32 call; the device writes it all back.
#pragma pack(push, 1)
struct DIOC_REGISTERS {
  uint32_t reg_EBX;
  uint32_t reg_EDX;
  uint32_t reg_ECX;
  uint32_t reg_EAX;
  uint32_t reg_EDI;
  uint32_t reg_ESI;
  uint32_t reg_Flags;
};
static_assert(sizeof(DIOC_REGISTERS) == 28, "VWIN32 register block");

// Disk address packet of int 13h AH=42h, 43h and 44h.
struct T_PaquetAdresseDisque {
  uint8_t taille;  // 16
  uint8_t reserve;
  uint16_t nombre;
  uint16_t decalageTampon;  // low word of the flat buffer address
  uint16_t segmentTampon;   // high word
  uint64_t premier;
};
static_assert(sizeof(T_PaquetAdresseDisque) == 16, "disk address packet");

// Answer of int 13h AH=48h; the size word is set to 26 before the call.
struct T_ParametresEtendus {
  uint16_t taille;
  uint16_t drapeaux;
  uint32_t cylindres;
  uint32_t tetes;
  uint32_t secteursParPiste;
  uint64_t nombreSecteurs;
  uint16_t octetsParSecteur;
};
static_assert(sizeof(T_ParametresEtendus) == 26, "extended drive parameters");
#pragma pack(pop)

// The carry flag of Flags: set when the function failed (AH is its status).
const uint32_t DRAPEAU_RETENUE = 1;

// Control codes of the VWIN32 device.
const DWORD VWIN32_DIOC_DOS_IOCTL = 1;
const DWORD VWIN32_DIOC_DOS_INT25 = 2;
const DWORD VWIN32_DIOC_DOS_INT26 = 3;
const DWORD VWIN32_DIOC_DOS_INT13 = 4;
const DWORD VWIN32_DIOC_DOS_DRIVEINFO = 6;

// Verify states of a 9x disk: 0 writes then verifies with AH=44h, 1 to 254
// go in AL of AH=43h, 255 means that this BIOS cannot verify.
const uint8_t VERIFICATION_SEPAREE = 0;
const uint8_t VERIFICATION_ABSENTE = 255;

// Start-up: opens the device on the 9x family; registers fermerVwin32 on both.
void ouvrirVwin32();
void fermerVwin32();
// The control code of an interrupt and its EAX, or 0 when the gateway
// refuses the pair.
DWORD codeControleVwin32(int interruption, uint32_t eax);
// Runs the interrupt (0x13, 0x21, 0x25, 0x26) on the block; any refusal (an
// interrupt or function outside the table, no device, a failed call) is fatal.
void appelerInterruption(int interruption, DIOC_REGISTERS* registres);
// The flat 32-bit address of a buffer, as the real-mode services take it;
// on x86-64 an address above 4 GiB is fatal.
uint32_t adresseLineaire(const void* adresse);

// 9x: int 13h AH=00h on the key's drive, then a 500 ms pause; NT: nothing.
void reinitialiserLecteur(const T_AccesDisque* acces);
// Floppy drives: on NT the letters A: and B: that open, on 9x what the BIOS
// reports; computed once.
uint8_t compterDisquettes();
// CHS transfers through the BIOS (9x only: false on NT).
bool lireSecteursDisquette(const T_AccesDisque* acces, const T_CHS* position, uint8_t nombre,
                           uint16_t tailleSecteur, void* tampon);
bool lireSecteursDisquetteSansTrace(const T_AccesDisque* acces, const T_CHS* position,
                                    uint8_t nombre, uint16_t tailleSecteur, void* tampon);
bool ecrireSecteursDisquette(const T_AccesDisque* acces, const T_CHS* position, uint8_t nombre,
                             uint16_t tailleSecteur, const void* donnees);

// The 9x branches of the disk transfers: int 13h AH=42h, and AH=43h with the
// verify rules; three attempts with a reset after each failure. *statut gets
// the BIOS status of the last attempt (0 when no call was made).
bool lireSecteursEtendus(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                         uint16_t tailleSecteur, void* tampon, uint8_t* statut);
bool ecrireSecteursEtendus(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                           uint16_t tailleSecteur, const void* donnees,
                           uint8_t* etatVerification);
// The next compterDisquettes counts again (a test's new machine).
void oublierNombreDisquettes();
