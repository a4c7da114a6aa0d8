// Whole runs of a program's simulation twin on a simulated machine, and the
// golden outputs of tests/programs/attendu/<program>/<case>.txt (written as
// on Linux x86-64, compared with the banner of the build under test).
#pragma once
#ifdef LENS_ATTENDUS
#include <string>
#include <vector>

#include "sim/machine_linux.h"

struct Execution {
  std::string sortie, erreur;
  int statut;
};

// The twin on the machine m with these arguments, standard input and display
// (null: no DISPLAY).
Execution executerJumeau(const char* jumeau, const MachineTemporaire& m,
                         const std::vector<std::string>& arguments, const std::string& entree,
                         const char* affichage);

std::string attendu(const std::string& programme, const std::string& nom);
// Writes the golden file again when LENS_ECRIRE_ATTENDUS is set.
void ecrireAttenduSiDemande(const std::string& programme, const std::string& nom,
                            std::string texte);
#endif
