#include <cstring>

#include "core/arbre_appel.h"
#include "core/options.h"
#include "core/texte.h"
#include "programs/commun/frontal.h"
#include "programs/tablens/tablens.h"

const char* const NOM_VERSION_TABLENS = "TabLens V1.18";

const char* const USAGE_TABLENS =
    "Usage: tablens.exe [-d] [-s] [-tds] [-hs parttable|heads/sectors] \\\n"
    "                    [-c parttable|[+]cylinders] [-noterm] [-p] [<disk number>]\n"
    "This program prints partitions table for all your disks.\n"
    "If you provide \"-d\" parameter, it will output content of each sector it\n"
    "reads.\n"
    "If you provide \"-s\" parameter, it will try to use standard access instead of\n"
    "extended one for disk allowing both.\n"
    "If you provide \"-tds\" parameter, it will try to increase disk size by using\n"
    "partitions table information or reading hidden cylinders (this option is\n"
    "equivalent to \"-tds\" option of Talvermoss).\n"
    "If you provide \"-hs\" option, you can either gives \"parttable\" or\n"
    "\"heads number/sectors number\" to provide the way to retrieve number of\n"
    "heads and sectors of disk (this option is equivalent to using \"heads_sectors=\"\n"
    "option in Talvermoss option file).\n"
    "If you provide \"-c\" option, you can either gives \"parttable\" or\n"
    "\"cylinders number\" to provide the way to retrieve number of cylinders of\n"
    "disk. If \"cylinders number\" is prefixed with \"+\", the default found\n"
    "cylinders number will be incremented by given value (this option is equivalent\n"
    "to using \"cylinders=\" option in Talvermoss option file).\n"
    "If you provide <disk number> parameter, it will output partitions table for\n"
    "this disk only (first disk has disk number equal to 0).\n"
    "If you use the -noterm option, program will not try to launch a terminal if\n"
    "it finds it is not running into one (Linux version).\n"
    "If you use the -p option, it waits for you to type enter after each partition.\n";

namespace {

const int TETES_MAX = 256;
const int SECTEURS_MAX = 63;
const int CYLINDRES_MAX = 1024;

// A switch given a second time is a usage error.
void marquer(bool* option, const char* messageDouble) {
  TRACER_APPEL();
  if (*option) afficherUsage(messageDouble);
  *option = true;
}

void lireGeometrie(const char* valeur, T_LigneCommandeTablens* ligne) {
  TRACER_APPEL();
  if (strcmp(valeur, "parttable") == 0) {
    ligne->modeHs = GEOMETRIE_TABLE;
    return;
  }
  if (!(valeur[0] >= '0' && valeur[0] <= '9') || strchr(valeur, '/') == nullptr) {
    afficherUsage(
        "-hs option not followed with \"parttable\" or \"heads number/sectors number\".");
  }
  bool erreur;
  uint64_t tetes = lireNombreJusqua(valeur, '/', &erreur);
  if (erreur || tetes == 0 || tetes > TETES_MAX) {
    afficherUsage("Bad heads number (shall be between 1 and 256).");
  }
  uint64_t secteurs = lireNombre(strchr(valeur, '/') + 1, &erreur);
  if (erreur || secteurs == 0 || secteurs > SECTEURS_MAX) {
    afficherUsage("Bad sectors number (shall be between 1 and 63).");
  }
  ligne->modeHs = GEOMETRIE_NOMBRES;
  ligne->tetesHs = static_cast<int>(tetes);
  ligne->secteursHs = static_cast<int>(secteurs);
}

void lireCylindres(const char* valeur, T_LigneCommandeTablens* ligne) {
  TRACER_APPEL();
  if (strcmp(valeur, "parttable") == 0) {
    ligne->modeC = CYLINDRES_TABLE;
    return;
  }
  int mode;
  if (valeur[0] >= '0' && valeur[0] <= '9') {
    mode = CYLINDRES_NOMBRE;
  } else if (valeur[0] == '+') {
    mode = CYLINDRES_AJOUT;
    ++valeur;
  } else {
    afficherUsage("-c option not followed with \"parttable\" or \"[+]cylinders number\".");
  }
  bool erreur;
  uint64_t cylindres = lireNombre(valeur, &erreur);
  if (erreur || cylindres == 0 || cylindres > CYLINDRES_MAX) {
    afficherUsage("Bad cylinders number (shall be between 1 and 1024).");
  }
  ligne->modeC = mode;
  ligne->cylindresC = static_cast<int>(cylindres);
}

void lireNumeroDisque(const char* argument, T_LigneCommandeTablens* ligne) {
  TRACER_APPEL();
  if (ligne->disqueDonne) afficherUsage("Bad number of arguments.");
  bool erreur;
  uint64_t numero = lireNombre(argument, &erreur);
  if (erreur || numero > NUMERO_DISQUE_MAX) afficherUsage("Bad disk number.");
  ligne->disqueDonne = true;
  ligne->disque = static_cast<uint8_t>(numero);
}

}  // namespace

void lireLigneCommandeTablens(int argc, char* const* argv, T_LigneCommandeTablens* ligne) {
  TRACER_APPEL();
  *ligne = T_LigneCommandeTablens();
  bool pause = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    const char* option = nomOption(argument);
    if (option == nullptr) {
      lireNumeroDisque(argument, ligne);
      continue;
    }
    if (estDemandeAide(argument)) afficherUsage(nullptr);
    if (strcmp(option, "d") == 0) {
      marquer(&ligne->vidage, "-d argument given twice.");
      vidageSecteurs = true;
    } else if (strcmp(option, "s") == 0) {
      marquer(&ligne->accesStandard, "-s argument given twice.");
    } else if (strcmp(option, "tds") == 0) {
      marquer(&ligne->etendreTaille, "-tds argument given twice.");
    } else if (strcmp(option, "p") == 0) {
      marquer(&pause, "-p argument given twice.");
      pauseDemandee = true;
    } else if (strcmp(option, "hs") == 0) {
      if (ligne->modeHs != GEOMETRIE_LIBRE) afficherUsage("-hs option given twice.");
      if (i + 1 >= argc) afficherUsage("-hs option not followed with option value.");
      lireGeometrie(argv[++i], ligne);
    } else if (strcmp(option, "c") == 0) {
      if (ligne->modeC != CYLINDRES_LIBRES) afficherUsage("-c option given twice.");
      if (i + 1 >= argc) afficherUsage("-c option not followed with option value.");
      lireCylindres(argv[++i], ligne);
    } else if (strcmp(option, "noterm") != 0) {
      // An unknown option, or a known one with more letters, is a disk number.
      lireNumeroDisque(argument, ligne);
    }
  }
}
