#include "programs/platlens/platlens.h"

#include "core/arbre_appel.h"
#include "core/texte.h"
#include "programs/commun/frontal.h"

const char* const NOM_VERSION_PLATLENS = "PlatLens V1.16";

const char* const USAGE_PLATLENS =
    "Usage: platlens.exe [-noterm] [-p] [<disk number>]\n"
    "This program detects all your disk and outputs their format.\n"
    "If you provide <disk number> parameter, it will outputs format\n"
    "for this disk only (first disk has disk number equal to 0).\n"
    "If you use the -noterm option, program will not try to launch\n"
    "a terminal if it finds it is not running into one (Linux version).\n"
    "If you use the -p option, it waits for you to type enter after each disk.\n";

void lireLigneCommandePlatlens(int argc, char* const* argv, T_LigneCommandePlatlens* ligne) {
  TRACER_APPEL();
  *ligne = T_LigneCommandePlatlens();
  for (int i = 1; i < argc; ++i) {
    if (lireOptionCommune(argv[i])) continue;
    // Any other argument, an unknown option too, is a disk number.
    if (ligne->disqueDonne) afficherUsage("Bad number of arguments.");
    bool erreur;
    uint64_t numero = lireNombre(argv[i], &erreur);
    if (erreur || numero > NUMERO_DISQUE_MAX_PLATLENS) afficherUsage("Bad disk number argument.");
    ligne->disqueDonne = true;
    ligne->disque = static_cast<uint8_t>(numero);
  }
}
