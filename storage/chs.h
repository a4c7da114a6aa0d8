// CHS words and triples, and the size limits a disk may not silently cross.
#pragma once
#include <cstdint>

// A position in cylinder/head/sector form; the sector counts from 1.
struct T_CHS {
  uint8_t tete;
  uint16_t secteur;
  uint16_t cylindre;
};

// Largest values an MBR entry and the BIOS can carry.
const uint16_t CHS_SECTEUR_MAX = 63;
const uint16_t CHS_TETE_MAX = 255;
const uint16_t CHS_CYLINDRE_MAX = 1023;

// Size limits in sectors: 1024 and 4096 cylinders of 256 x 63, 28-bit LBA.
const uint64_t LIMITE_1024_CYLINDRES = 1024ull * 256 * 63;
const uint64_t LIMITE_4096_CYLINDRES = 4096ull * 256 * 63;
const uint64_t LIMITE_LBA28 = 1ull << 28;

// BIOS CHS word: bits 0-5 sector, bits 6-7 cylinder bits 8-9, bits 8-15
// cylinder bits 0-7.
void decomposerCHS(uint16_t mot, uint16_t* secteur, uint16_t* cylindre);
uint16_t composerCHS(uint16_t secteur, uint16_t cylindre);

// True when growing from ancien to nouveau sectors crosses one of the limits.
bool franchitLimiteTaille(uint64_t ancien, uint64_t nouveau);
