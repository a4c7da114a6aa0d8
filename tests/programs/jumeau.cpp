#include "programs/jumeau.h"
#ifdef LENS_ATTENDUS
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "programs/commun/frontal.h"
#include "support/flux_rediriges.h"

namespace {

const char* const PLATEFORME_ECRITE = "(Linux 64 bits)";

std::string fichierAttendu(const std::string& programme, const std::string& nom) {
  return std::string(LENS_ATTENDUS) + "/" + programme + "/" + nom + ".txt";
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
  std::string commande =
      "env -u DISPLAY -u BLKID_FILE -u BLKID_CONF -u LC_ALL -u LC_CTYPE LANG=C ";
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

const char* const NOEUDS_DISQUE =
    "block /dev/sda 8:0 images/disque.img\n"
    "block /dev/sda1 8:1 images/disque.img offset=1M size=32M\n"
    "block /dev/sda2 8:2 images/disque.img offset=33M\n";

bool preparerImages(const MachineTemporaire& m) {
  m.image("images/disque.img", 64ULL << 20);
  m.image("images/grand.img", 3ULL << 40);
  m.ecrire("images/disque.sfdisk",
           "label: dos\nlabel-id: 0x4c454e53\nstart=2048, size=65536, type=83\n"
           "start=67584, type=83\n");
  return m.commande("sfdisk -q images/disque.img < images/disque.sfdisk") == 0;
}

std::string attendu(const std::string& programme, const std::string& nom) {
  std::string texte = contenuFichier(fichierAttendu(programme, nom));
  remplacerPremier(&texte, PLATEFORME_ECRITE, textePlateforme());
  return texte;
}

std::string attenduPour(const std::string& programme, const std::string& nom,
                        const std::string& sortie) {
  if (getenv("LENS_ECRIRE_ATTENDUS") != nullptr) {
    std::string texte = sortie;
    remplacerPremier(&texte, textePlateforme(), PLATEFORME_ECRITE);
    std::ofstream(fichierAttendu(programme, nom), std::ios::binary) << texte;
  }
  return attendu(programme, nom);
}
#endif
