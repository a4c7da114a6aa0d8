#ifndef _WIN32
#include "image_outils.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "support/flux_rediriges.h"

ImageOutils::ImageOutils(uint64_t taille) : chemin_(cheminTemporaire("image")) {
  std::ofstream(chemin_, std::ios::binary).close();
  commande("truncate -s " + std::to_string(taille) + " IMG");
}

ImageOutils::~ImageOutils() { remove(chemin_.c_str()); }

int ImageOutils::commande(const std::string& ligne, std::string* sortie) const {
  std::string complete;
  for (size_t i = 0; i < ligne.size();) {
    if (ligne.compare(i, 3, "IMG") == 0) {
      complete += "'" + chemin_ + "'";
      i += 3;
    } else {
      complete += ligne[i++];
    }
  }
  FILE* p = popen((complete + " 2>&1").c_str(), "r");
  if (p == nullptr) return -1;
  std::string texte;
  char morceau[512];
  while (size_t n = fread(morceau, 1, sizeof morceau, p)) texte.append(morceau, n);
  int statut = pclose(p);
  if (sortie) *sortie = texte;
  return WIFEXITED(statut) ? WEXITSTATUS(statut) : -1;
}

std::vector<uint8_t> ImageOutils::lire(uint64_t position, size_t taille) const {
  std::vector<uint8_t> octets(taille);
  std::ifstream f(chemin_, std::ios::binary);
  f.seekg(static_cast<std::streamoff>(position));
  f.read(reinterpret_cast<char*>(octets.data()), static_cast<std::streamsize>(taille));
  octets.resize(static_cast<size_t>(f.gcount()));
  return octets;
}

void ImageOutils::ecrire(uint64_t position, const void* octets, size_t taille) const {
  std::fstream f(chemin_, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(static_cast<std::streamoff>(position));
  f.write(static_cast<const char*>(octets), static_cast<std::streamsize>(taille));
}

uint64_t ImageOutils::taille() const {
  std::ifstream f(chemin_, std::ios::binary | std::ios::ate);
  return static_cast<uint64_t>(f.tellg());
}

std::string valeurApres(const std::string& sortie, const std::string& cle) {
  size_t debut = sortie.find(cle);
  if (debut == std::string::npos) return "";
  debut += cle.size();
  return sortie.substr(debut, sortie.find('\n', debut) - debut);
}
#endif
