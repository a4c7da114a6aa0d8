#include "support/flux_rediriges.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define identifiantProcessus _getpid
#else
#include <unistd.h>
#define identifiantProcessus getpid
#define O_BINARY 0
#endif

std::string dossierTemporaire() {
#ifdef _WIN32
  const char* dossier = getenv("TEMP");
  if (!dossier || !*dossier) dossier = getenv("TMP");
  return std::string(dossier && *dossier ? dossier : ".") + "\\";
#else
  const char* dossier = getenv("TMPDIR");
  return std::string(dossier && *dossier ? dossier : "/tmp") + "/";
#endif
}

std::string cheminTemporaire(const char* nature) {
  static unsigned compteur;
  return dossierTemporaire() + "lens_" + nature + "_" + std::to_string(identifiantProcessus()) + "_" +
         std::to_string(compteur++) + ".tmp";
}

std::string contenuFichier(const std::string& chemin) {
  std::string texte;
  FILE* f = fopen(chemin.c_str(), "rb");
  if (f == nullptr) return texte;
  char morceau[4096];
  size_t n;
  while ((n = fread(morceau, 1, sizeof morceau, f)) != 0) texte.append(morceau, n);
  fclose(f);
  return texte;
}

SortieCapturee::SortieCapturee() : chemin_(cheminTemporaire("sortie")) {
  fflush(stdout);
  int fd = open(chemin_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_BINARY, 0600);
  if (fd < 0) return;
  sauvegarde_ = dup(1);
  dup2(fd, 1);
  close(fd);
}

SortieCapturee::~SortieCapturee() {
  terminer();
  remove(chemin_.c_str());
}

std::string SortieCapturee::contenu() const { return contenuFichier(chemin_); }

std::string SortieCapturee::terminer() {
  if (sauvegarde_ >= 0) {
    fflush(stdout);
    dup2(sauvegarde_, 1);
    close(sauvegarde_);
    sauvegarde_ = -1;
  }
  return contenu();
}

EntreeRedirigee::EntreeRedirigee(const std::string& texte) : chemin_(cheminTemporaire("entree")) {
  FILE* f = fopen(chemin_.c_str(), "wb");
  if (f == nullptr) return;
  fwrite(texte.data(), 1, texte.size(), f);
  fclose(f);
  int fd = open(chemin_.c_str(), O_RDONLY | O_BINARY);
  if (fd < 0) return;
  sauvegarde_ = dup(0);
  dup2(fd, 0);
  close(fd);
  clearerr(stdin);
}

EntreeRedirigee::EntreeRedirigee() {
  sauvegarde_ = dup(0);
  close(0);
  clearerr(stdin);
}

EntreeRedirigee::~EntreeRedirigee() {
  if (sauvegarde_ >= 0) {
    // Leave nothing of this input in stdin's buffer for the next reader.
    while (getchar() != EOF) {
    }
    dup2(sauvegarde_, 0);
    close(sauvegarde_);
    clearerr(stdin);
  }
  if (!chemin_.empty()) remove(chemin_.c_str());
}
