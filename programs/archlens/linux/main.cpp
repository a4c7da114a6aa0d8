#include <cerrno>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/demarrage.h"
#include "platform/linux/peripheriques.h"
#include "platform/linux/services.h"
#include "programs/archlens/archlens.h"
#include "programs/commun/frontal.h"
#include "storage/plateforme.h"

namespace {

// errno saved, then its report.
void signalerErreur() {
  TRACER_APPEL();
  memoriserErreurSysteme();
  afficherErreurSysteme();
}

void fermerFichier(int fd) {
  TRACER_APPEL();
  appelsSysteme.close(fd);
}

// Exactly nombre bytes, else the message, the report, the descriptor closed.
bool lireFichier(int fd, void* tampon, uint32_t nombre, const char* message) {
  TRACER_APPEL();
  errno = 0;
  ssize_t lus = appelsSysteme.read(fd, tampon, nombre);
  if (lus == static_cast<ssize_t>(nombre)) return true;
  memoriserErreurSysteme();
  afficherMessage("%s\n", message);
  afficherErreurSysteme();
  fermerFichier(fd);
  return false;
}

// To an absolute offset; every failure is a warning.
void positionnerFichier(int fd, uint64_t position) {
  TRACER_APPEL();
  errno = 0;
  if (appelsSysteme.fflush(nullptr) != 0) {
    afficherMessage("Warning flushing data:\n");
    signalerErreur();
  }
  errno = 0;
  if (appelsSysteme.fsync(fd) != 0 && errno == EIO) {
    afficherMessage("Warning synchronizing file:\n");
    signalerErreur();
  }
  errno = 0;
  if (appelsSysteme.lseek64(fd, 0, SEEK_CUR) < 0) {
    afficherMessage("Warning seeking file to current position:\n");
    signalerErreur();
  }
  errno = 0;
  struct stat64 etat;
  if (appelsSysteme.fstat64(fd, &etat) != 0) {
    afficherMessage("Warning getting file size:\n");
    signalerErreur();
  } else if (static_cast<uint64_t>(etat.st_size) < position) {
    afficherMessage("Warning trying to go after file size.\n");
  }
  errno = 0;
  if (appelsSysteme.lseek64(fd, static_cast<off64_t>(position), SEEK_SET) < 0) {
    afficherMessage("Warning seeking file to " FMT_U64 ":\n", position);
    signalerErreur();
  }
  errno = 0;
  if (appelsSysteme.lseek64(fd, 0, SEEK_CUR) != static_cast<off64_t>(position)) {
    afficherMessage("Warning getting file position from " FMT_U64 ":\n", position);
    signalerErreur();
  }
}

class FichierLinux : public FichierArchlens {
 public:
  explicit FichierLinux(int fd) : fd_(fd) {}

  bool lire(void* tampon, uint32_t nombre, const char* message) override {
    return lireFichier(fd_, tampon, nombre, message);
  }
  void positionner(uint64_t position) override { positionnerFichier(fd_, position); }
  bool lireDonnees(void* tampon, uint32_t nombre, uint32_t* lus) override {
    TRACER_APPEL();
    errno = 0;
    ssize_t n = appelsSysteme.read(fd_, tampon, nombre);
    memoriserErreurSysteme();
    *lus = n > 0 ? static_cast<uint32_t>(n) : 0;
    return n >= 0;
  }
  void afficherErreur() override { afficherErreurSysteme(); }
  void fermer() override { fermerFichier(fd_); }

 private:
  int fd_;
};

// The warnings of the name's checks; a link is not followed.
void verifierNom(const char* nom) {
  TRACER_APPEL();
  errno = 0;
  if (appelsSysteme.access(nom, F_OK) != 0) {
    afficherMessage("Warning checking file access.\n");
    signalerErreur();
  }
  errno = 0;
  struct stat64 etat;
  if (appelsSysteme.lstat64(nom, &etat) != 0) {
    afficherMessage("Warning checking file type.\n");
    signalerErreur();
  } else if (!S_ISREG(etat.st_mode)) {
    afficherMessage("Warning file type is not regular file.\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  TRACER_APPEL();
  installerTraitementErreurs();
  enregistrerNettoyageMemoire();
  initialiserTransferts();
  enregistrerNettoyagePlateforme();
  verifierSysteme();

  definirProgramme(NOM_VERSION_ARCHLENS, USAGE_ARCHLENS);
  bool sansTerminal = ouvrirLigneCommande(argc, argv);
  T_LigneCommandeArchlens ligne;
  lireLigneCommandeArchlens(argc, argv, &ligne);
  const char* nom = ligne.nomFichier;
  verifierNom(nom);

  // Non-blocking only for the open itself, so a FIFO without a writer cannot
  // hold the program there.
  errno = 0;
  int fd = appelsSysteme.open64(nom, O_RDONLY | O_NONBLOCK);
  if (fd < 0) {
    afficherMessage("Error opening %s.\n", nom);
    signalerErreur();
    afficherUsage(nullptr);
  }
  int drapeaux = appelsSysteme.fcntlDrapeaux(fd, F_GETFL, 0);
  if (drapeaux >= 0) appelsSysteme.fcntlDrapeaux(fd, F_SETFL, drapeaux & ~O_NONBLOCK);

  // The length of what was opened: a link to a backup is sized as the
  // backup; anything else takes the fixed length.
  uint64_t longueur = LONGUEUR_INCONNUE;
  bool regulier = false;
  struct stat64 etat;
  if (appelsSysteme.fstat64(fd, &etat) == 0 && S_ISREG(etat.st_mode)) {
    longueur = static_cast<uint64_t>(etat.st_size);
    regulier = true;
  }
  FichierLinux fichier(fd);
  return examinerSauvegarde(&fichier, longueur, regulier, ligne.verifier, sansTerminal);
}
