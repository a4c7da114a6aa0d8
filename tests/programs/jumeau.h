// Runs of a program's simulation twin on a simulated machine, and their
// golden outputs in tests/programs/attendu/<program>/<case>.txt (written
// again when LENS_ECRIRE_ATTENDUS is set). The banner is kept as on Linux
// x86-64 in the files and matched to the build under test.
#pragma once
#ifdef LENS_ATTENDUS
#include <string>
#include <vector>

#include "sim/machine_linux.h"

struct Execution {
  std::string sortie, erreur;
  int statut;
};

// The twin on the machine m with these arguments, standard input and
// display (null: none), in the C locale and without blkid variables.
Execution executerJumeau(const char* jumeau, const MachineTemporaire& m,
                         const std::vector<std::string>& arguments, const std::string& entree,
                         const char* affichage);

// The disk images of the device tests, made by the real tools: images/
// disque.img (64 MiB, an MBR by sfdisk with partitions at 1 MiB for 32 MiB
// and at 33 MiB to the end) and images/grand.img (3 TiB, sparse). True when
// both were made.
bool preparerImages(const MachineTemporaire& m);
// The nodes of images/disque.img: /dev/sda and its two partitions.
extern const char* const NOEUDS_DISQUE;

// Bash functions that make and damage the disk images of tablens' cases
// (le32, poser, lba, octet, crcEntete, crcTableaux, entreeGPT, gpt, mbr).
extern const char* const OUTILS_IMAGES;

// The golden text of programme/nom, with the banner of this build.
std::string attendu(const std::string& programme, const std::string& nom);
// With LENS_ECRIRE_ATTENDUS set, writes sortie as the golden text first.
// Returns the golden text to compare sortie with.
std::string attenduPour(const std::string& programme, const std::string& nom,
                        const std::string& sortie);
#endif
