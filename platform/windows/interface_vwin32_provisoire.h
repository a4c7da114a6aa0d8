// PROVISIONAL: the few declarations of the raw disk access and the VWIN32
// gateway that the locks and the drive-letter calls use, until those layers
// (transferts.h, vwin32.h) are in the tree; then this file and its stand-in
// body go and their headers are included instead.
#pragma once
#include <windows.h>

#include <cstdint>

// The key by which a disk reaches the sector routines and the volume locks:
// on 9x the BIOS drive (0x80 | disk number) and no handle; on NT drive 0 and
// the open handle. A volume lock puts the drive letter in the first word.
struct T_AccesDisque {
  uint64_t lecteur;
  HANDLE handle;
};

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
#pragma pack(pop)
static_assert(sizeof(DIOC_REGISTERS) == 28, "VWIN32 register block");

// The carry flag of Flags: set when the function failed.
const uint32_t DRAPEAU_RETENUE = 1;

// Runs the interrupt (0x13, 0x21, 0x25, 0x26) on the block.
void appelerInterruption(int interruption, DIOC_REGISTERS* registres);
// The flat 32-bit address of a buffer, as the real-mode services take it.
uint32_t adresseLineaire(const void* adresse);
