// tablens: its command line and run, shared by the Linux and Windows mains,
// which differ only in their start-up routines.
#pragma once
#include <cstdint>

#include "core/string_array.h"
#include "core/tableau.h"
#include "storage/disque.h"

struct T_EnteteGPT;

extern const char* const NOM_VERSION_TABLENS;
extern const char* const USAGE_TABLENS;

const uint8_t NUMERO_DISQUE_MAX = 127;

// The options of one command line, all 0 or false when not given.
struct T_LigneCommandeTablens {
  bool vidage;         // -d
  bool accesStandard;  // -s
  bool etendreTaille;  // -tds
  int modeHs;          // GEOMETRIE_* (core/options.h)
  int tetesHs;
  int secteursHs;
  int modeC;           // CYLINDRES_*
  int cylindresC;
  bool disqueDonne;
  uint8_t disque;
};

// Reads argv[1] to argv[argc - 1]; -d and -p also set their process-wide
// switches. A usage error ends the run through afficherUsage.
void lireLigneCommandeTablens(int argc, char* const* argv, T_LigneCommandeTablens* ligne);

// Everything after the start-up routines: relaunch, banner, command line,
// disk count, the disk reports, the final pause. Returns the exit status.
int executerTablens(int argc, char* const* argv);

// The report of every disk numbered premier to fin - 1; etendreTaille (-tds)
// chooses the wording of the hints.
void afficherDisques(uint8_t premier, uint8_t fin, bool etendreTaille);

// The arrays the per-disk report refills from disk to disk: the disk's
// sub-supports, the partitions kept for the report, a copy of a medium's
// path names.
struct T_TableauxRapport {
  BasicArray<Support_Bloc*, Support_Bloc* const> sousSupports;
  T_ListePartitions partitions;
  StringArray chemins;
};

// The report of disk numero (block, partitions, checks, GPT verification);
// releases every partition it kept, then the disk.
void afficherDisque(uint8_t numero, Disque* disque, T_TableauxRapport* tableaux,
                    bool etendreTaille);

// The advice after a size or table fault, worded for -tds or without it.
void afficherIndication(bool etendreTaille);

// Exactly the MB text of secteurs x tailleSecteur bytes, two decimals, also
// when the product does not fit in 64 bits.
char* texteMegaOctets(uint64_t secteurs, uint16_t tailleSecteur);

// The CHS checks of one partition of a CHS-access disk; true when nothing
// was printed.
bool verifierCHSPartition(Disque* disque, Partition* partition);

// The GPT verification; liste is null when the GPT was refused and only the
// protective MBR entry was kept.
void verifierGPT(Disque* disque, const T_ListePartitions* liste, bool etendreTaille);

// Every field of a refused header with its verdict; autre is the primary
// when entete is a backup, else null. The last line has no newline.
void afficherEnteteGPT(uint32_t tailleSecteur, T_EnteteGPT* entete, const T_EnteteGPT* autre,
                       uint64_t secteurAttendu);
