// Simulated Windows machine installed on the Windows API seam
// (appelsWindows), read from the same ROOT/machine file as the Linux machine:
// the system's version and optional entry points, the time zone, Windows'
// own DOS date conversions, the clipboard and message boxes, physical drives
// and volumes over disk images, and injected failures. tests/README.md
// describes the directives.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine_temporaire.h"

// Reads ROOT/machine and replaces the seam entries; false (nothing changed)
// with the reason in *erreur. ROOT may be a Windows path or, under wine, a
// Linux one. One machine at a time.
bool installerMachine(const std::string& racine, std::string* erreur);
// Puts back the entries that were in place before installerMachine.
void retirerMachine();
bool machineInstallee();

// What the machine holds, for the layers that answer from it.
struct T_DisqueSimule {
  unsigned numero = 0;     // \\.\PHYSICALDRIVEn, BIOS disk 0x80 + n
  std::string image;       // host path
  uint64_t decalage = 0, taille = 0;
  uint32_t tailleSecteur = 512;
  bool geometrieRefusee = false;
  uint64_t cylindres = 0;
  uint32_t tetes = 255, secteurs = 63;
  bool amovible = false, occupe = false, lectureSeule = false;
  uint32_t tailleSecteurPhysique = 0;  // pssz=; 0: the sector size
  int detection = 0;                   // detect=: 0 none, 1 int13, 2 exint13
  bool sansExtensions = false;         // noext: a CHS-only BIOS
  bool sansVerification = false;       // noverify: no write-verify in the BIOS
};
struct T_VolumeSimule {
  char lettre = 'C';                  // 0: a volume without a drive letter
  unsigned disque = 0;
  uint64_t decalage = 0, taille = 0;  // bytes, inside the drive
  std::string nom;                    // \\?\Volume{...}\ form
  std::string type = "fixed";         // fixed, removable, cdrom, remote, ramdisk
  std::string systemeFichiers;        // empty when not given
  bool occupe = false;
  // The volume side (machine_windows_volumes.cpp).
  unsigned partition = 0;             // PartitionN of its drive; 0: by offset
  bool ciblePartition = false;        // QueryDosDeviceA gives \Device\HarddiskD\PartitionN
  long long numeroAnnonce = -1;       // device number its volume reports; -1: its drive's
  std::vector<std::string> montages;  // mount paths beside its letter's root
  std::string etiquette;
  uint64_t libres = 0;                // free bytes
  bool lectureSeule = false;
};
const std::vector<T_DisqueSimule>& disquesSimules();
const std::vector<T_VolumeSimule>& volumesSimules();
// admin and console directives (defaults: yes and yes).
bool administrateurSimule();
bool consoleSimulee();
// The pauses (Sleep) asked since the machine was installed; none is slept.
unsigned nombrePausesSimulees();
uint64_t dureePausesSimulees();
// The machine's folder as a Windows path, with no trailing separator.
const std::string& racineMachine();

// The Windows path of a Linux one under wine (Z: and backslashes when wine
// cannot say); other paths unchanged.
std::string cheminWindows(const std::string& chemin);
