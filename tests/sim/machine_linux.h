// Simulated Linux machine installed on the system-call seam (appelsSysteme):
// device nodes, links and directories declared in ROOT/machine, disk images
// as block devices, and every other absolute path read below ROOT.
// tests/README.md describes the directives.
#pragma once
#include <cstdint>
#include <string>

#include "sim/machine_temporaire.h"

// Reads ROOT/machine and replaces the seam entries; false (nothing changed)
// with the reason in *erreur. One machine at a time.
bool installerMachine(const std::string& racine, std::string* erreur);
// Puts back the entries that were in place before installerMachine.
void retirerMachine();
bool machineInstallee();
