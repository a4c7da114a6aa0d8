#include "programs/commun/frontal.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"

namespace {

const char* nomVersionProgramme = "";
const char* usageProgramme = "";

}  // namespace

bool pauseDemandee = false;

void definirProgramme(const char* nomVersion, const char* usage) {
  nomVersionProgramme = nomVersion;
  usageProgramme = usage;
}

const char* textePlateforme() {
#if defined(_WIN32) && (defined(_WIN64) || defined(__x86_64__))
  return "(Windows 64 bits)";
#elif defined(_WIN32)
  return "(Windows 32 bits)";
#elif defined(__x86_64__)
  return "(Linux 64 bits)";
#else
  return "(Linux 32 bits)";
#endif
}

const char* nomOption(const char* argument) {
  TRACER_APPEL();
  if (argument == nullptr || (argument[0] != '-' && argument[0] != '/')) return nullptr;
  return argument + 1;
}

bool estOption(const char* argument, const char* nom) {
  TRACER_APPEL();
  const char* option = nomOption(argument);
  return option != nullptr && strcmp(option, nom) == 0;
}

bool estDemandeAide(const char* argument) {
  TRACER_APPEL();
  const char* option = nomOption(argument);
  return option != nullptr && (option[0] == 'h' || option[0] == '?') && option[1] == '\0';
}

bool lireOptionCommune(const char* argument) {
  TRACER_APPEL();
  if (estDemandeAide(argument)) afficherUsage(nullptr);
  if (estOption(argument, "p")) {
    if (pauseDemandee) afficherUsage("-p argument given twice.");
    pauseDemandee = true;
    return true;
  }
  return estOption(argument, "noterm");
}

bool contientSansTerminal(int argc, char* const* argv) {
  TRACER_APPEL();
  for (int i = 1; i < argc; ++i) {
    if (estOption(argv[i], "noterm")) return true;
  }
  return false;
}

void afficherBanniere() {
  TRACER_APPEL();
  const char* plateforme = textePlateforme();
  size_t taille = strlen(nomVersionProgramme) + strlen(plateforme) + 2;
  char* ligne = static_cast<char*>(xmalloc(taille));
  formaterMessage(ligne, taille, "%s %s", nomVersionProgramme, plateforme);
  afficherMessage("%-80s\n", ligne);
  free(ligne);
}

bool ouvrirLigneCommande(int argc, char* const* argv) {
  TRACER_APPEL();
  bool sansTerminal = contientSansTerminal(argc, argv);
  if (!sansTerminal) relancerDansTerminal(argc, argv);
  afficherBanniere();
  return sansTerminal;
}

void afficherUsage(const char* message) {
  TRACER_APPEL();
  if (message != nullptr) afficherMessage("%s\n", message);
  afficherMessage("%s", usageProgramme);
  exit(1);
}

void pauseEcran(bool drapeau) {
  TRACER_APPEL();
  if (pauseDemandee && drapeau) attendreRetour();
}

void pauseFinale(bool sansTerminal) {
  TRACER_APPEL();
  if (sansTerminal && entreeSortieTerminaux()) attendreRetour();
}
