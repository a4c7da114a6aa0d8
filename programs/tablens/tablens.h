// tablens: its command line and run, shared by the Linux and Windows mains,
// which differ only in their start-up routines.
#pragma once
#include <cstdint>

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
