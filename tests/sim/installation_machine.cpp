// Linked into every simulation twin: installs the machine named by
// LENS_MACHINE before main runs.
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include "sim/machine_windows.h"
#else
#include "sim/machine_linux.h"
#endif

namespace {

struct Installation {
  Installation() {
    const char* racine = getenv("LENS_MACHINE");
    if (racine == nullptr || *racine == '\0') {
      fputs("simulation: LENS_MACHINE is not set\n", stderr);
      exit(2);
    }
    std::string erreur;
    if (!installerMachine(racine, &erreur)) {
      fprintf(stderr, "simulation: %s\n", erreur.c_str());
      exit(2);
    }
  }
};

Installation installation;

}  // namespace
