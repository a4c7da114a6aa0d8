// The block-device questions that platlens and vollens ask alike on Linux:
// the sector-size check, the size in bytes with its 32-bit fall-back, and
// the size line's megabyte text. Every product is taken in 64 bits.
#pragma once
#include <cstdint>

// 512 to 32768 and a multiple of 512.
bool tailleSecteurAcceptee(uint64_t taille);
// The report of a sector size that is not accepted: "Invalid sector size
// (%lu).\n" for 0 (false: the device's questions end), else the same with
// " (ignored)" (true: the size is kept). True without a word for a good size.
bool signalerTailleSecteur(uint64_t taille);
// errno saved, the message, the system error report.
void signalerEchecAppel(const char* message);
// BLKGETSIZE64, else BLKGETSIZE in 512-byte units, else 0, each failure
// reported; then the check that the size is a multiple of tailleSecteur
// (not 0).
uint64_t demanderTailleOctets(int fd, uint64_t tailleSecteur);
// "%lu sectors - %s MB" of secteurs sectors of tailleSecteur bytes.
void afficherSecteursEtMegaoctets(uint64_t secteurs, uint64_t tailleSecteur);
