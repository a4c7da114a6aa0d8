// Routines of the platform layer that the storage model calls. Each platform
// (platform/linux, platform/windows) provides the bodies; storage includes no
// platform header.
#pragma once
#include <cstdint>

// Transfer limits, set once at start-up by initialiserTransferts.
void initialiserTransferts();
uint32_t tailleMaxTransfert();
uint32_t nombreMaxSecteurs(uint32_t tailleSecteur);
uint32_t tailleMaxSecteur();

// Lock of one path of a medium, for Support_Bloc::verrouillerChemins: a
// logical lock on Linux; on Windows a volume lock for a drive path ("E:")
// and a logical lock for any other. Null when locked, else the lock's
// failure text (a constant).
const char* verrouillerCheminSupport(const char* chemin);
void deverrouillerCheminSupport(const char* chemin);

// The machine's whole disks, counted once per run (255 at most); disk n's
// device name, owned by the list, or null when n is not below the count.
uint8_t nombreDisques();
const char* nomDisque(uint8_t numero);
// The device path a disk object carries as its own first path, or null: a
// Linux disk has its device name, a Windows disk none (only the drive
// letters and volumes that lie on it).
const char* cheminPropreDisque(uint8_t numero);

// A local time (such as a FAT date) brought back to UTC by the process's
// local-time offset; unchanged when the shift would leave 0 to 0xFFFFFFFF.
uint64_t versHeureUniverselle(uint64_t temps);

// Memory the system has free for this process (Linux: free RAM within the
// data-size limit; Windows: available physical memory), at most
// MEMOIRE_SANS_LIMITE.
const uint64_t MEMOIRE_SANS_LIMITE = 0x7FFFFFFFFFFFFFFFULL;
uint64_t memoireLibreSysteme();

// Description texts whose wording differs between the platforms: the
// support list's default first column (level 3), header (12) and help (16);
// a disk's first column as a format of its number (4), its elements' header
// (9) and its help (16).
struct T_TextesSupports {
  const char* colonneSupport;
  const char* enteteSupports;
  const char* aideSupport;
  const char* formatColonneDisque;
  const char* enteteElementsDisque;
  const char* aideDisque;
};
extern const T_TextesSupports textesSupports;

class Partition;
// A partition's name columns in its list lines (newly allocated): on Linux
// its device name in 8 columns (on a choice line its number when it has no
// device), on Windows its number and its drive letter.
char* texteColonnesPartition(const Partition* partition, bool ligneChoix);
// The drive named in a partition's options-file text, or null.
const char* lecteurPartition(const Partition* partition);
// Null when the partition may be opened and its paths locked, else the
// refusal text (a constant). Closing unlocks only what opening locked.
const char* refusOuverturePartition(const Partition* partition);
// The geometry candidate that the BIOS gives disk n (Windows 9x only);
// false when there is none.
bool candidatGeometrieBios(uint8_t numero, int* secteurs, int* tetes);
