// platlens: its command line and disk loop, shared by the Linux and Windows
// mains, which differ in their start-up routines and in the questions asked
// of each disk.
#pragma once
#include <cstdint>

extern const char* const NOM_VERSION_PLATLENS;
extern const char* const USAGE_PLATLENS;

const uint8_t NUMERO_DISQUE_MAX_PLATLENS = 127;

struct T_LigneCommandePlatlens {
  bool disqueDonne;
  uint8_t disque;
};

// Reads argv[1] to argv[argc - 1]; -p sets the -p switch. A usage error ends
// the run through afficherUsage.
void lireLigneCommandePlatlens(int argc, char* const* argv, T_LigneCommandePlatlens* ligne);

// Everything after the start-up routines: relaunch, banner, command line,
// disk count, each disk's detection, the final pause. Returns the status.
int executerPlatlens(int argc, char* const* argv);

// The platform's questions for disk numero, after "Detection for disk %u".
void detecterDisque(uint8_t numero);
