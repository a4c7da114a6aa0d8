#include "core/arbre_appel.h"
#include "programs/archlens/archlens.h"
#include "programs/commun/frontal.h"

const char* const NOM_VERSION_ARCHLENS = "ArchLens V1.27";

const char* const USAGE_ARCHLENS =
    "Usage: archlens.exe [-t] [-noterm] [-p] <file name>\n"
    "Print header of file <file name> created with Talvermoss.\n"
    "If -t is given, it checks that header and data are valid\n"
    "else it does not check anything.\n"
    "If you use the -noterm option, program will not try to launch\n"
    "a terminal if it finds it is not running into one (Linux version).\n"
    "If you use the -p option, it waits for you to type enter after first\n"
    "part of header.\n";

void lireLigneCommandeArchlens(int argc, char* const* argv, T_LigneCommandeArchlens* ligne) {
  TRACER_APPEL();
  *ligne = T_LigneCommandeArchlens();
  bool pause = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (estDemandeAide(argument)) afficherUsage(nullptr);
    if (estOption(argument, "t")) {
      if (ligne->verifier) afficherUsage("-t argument given twice.");
      ligne->verifier = true;
    } else if (estOption(argument, "p")) {
      if (pause) afficherUsage("-p argument given twice.");
      pause = true;
      pauseDemandee = true;
    } else if (!estOption(argument, "noterm")) {
      // Any other argument, an unknown option included, names the file.
      if (ligne->nomFichier != nullptr) afficherUsage("Bad number of arguments.");
      ligne->nomFichier = argument;
    }
  }
  if (ligne->nomFichier == nullptr) afficherUsage("Bad number of arguments.");
}
