#include "jumeau.h"

#ifdef LENS_ATTENDUS
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "programs/commun/frontal.h"
#include "support/flux_rediriges.h"

namespace {

const char* const PLATEFORME_ECRITE = "(Linux 64 bits)";

std::string cheminAttendu(const std::string& programme, const std::string& nom) {
  return LENS_ATTENDUS "/" + programme + "/" + nom + ".txt";
}

void remplacerPremier(std::string* texte, const std::string& ancien, const std::string& nouveau) {
  size_t position = texte->find(ancien);
  if (position != std::string::npos) texte->replace(position, ancien.size(), nouveau);
}

}  // namespace

Execution executerJumeau(const char* jumeau, const MachineTemporaire& m,
                         const std::vector<std::string>& arguments, const std::string& entree,
                         const char* affichage) {
  m.ecrire("entree.txt", entree);
  std::string commande = "env -u DISPLAY ";
  if (affichage != nullptr) commande += std::string("DISPLAY='") + affichage + "' ";
  commande += "LENS_MACHINE='" + m.racine() + "' '" + jumeau + "'";
  for (const std::string& a : arguments) commande += " '" + a + "'";
  commande += " < '" + m.chemin("entree.txt") + "' 2> '" + m.chemin("erreur.txt") + "'";
  Execution e;
  FILE* p = popen(commande.c_str(), "r");
  if (p == nullptr) return {"", "popen failed", -1};
  char tampon[4096];
  while (size_t n = fread(tampon, 1, sizeof tampon, p)) e.sortie.append(tampon, n);
  int brut = pclose(p);
  e.statut = WIFEXITED(brut) ? WEXITSTATUS(brut) : -1;
  e.erreur = m.lire("erreur.txt");
  return e;
}

std::string attendu(const std::string& programme, const std::string& nom) {
  std::string texte = contenuFichier(cheminAttendu(programme, nom));
  remplacerPremier(&texte, PLATEFORME_ECRITE, textePlateforme());
  return texte;
}

void ecrireAttenduSiDemande(const std::string& programme, const std::string& nom,
                            std::string texte) {
  if (getenv("LENS_ECRIRE_ATTENDUS") == nullptr) return;
  remplacerPremier(&texte, textePlateforme(), PLATEFORME_ECRITE);
  std::ofstream(cheminAttendu(programme, nom), std::ios::binary) << texte;
}
#endif
