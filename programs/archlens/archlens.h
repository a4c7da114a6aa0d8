// archlens: the report and the checks of one backup file, shared by the
// Linux and Windows mains, which differ only in how they open and read it.
#pragma once
#include <cstdint>

#include "storage/file_header.h"

extern const char* const NOM_VERSION_ARCHLENS;
extern const char* const USAGE_ARCHLENS;

// Bytes read at a time during the data check.
const uint32_t TAILLE_BLOC_DONNEES = 32768;
// Length taken for a file whose type or size cannot be known.
const uint64_t LONGUEUR_INCONNUE = 124;

struct T_LigneCommandeArchlens {
  bool verifier;           // -t
  const char* nomFichier;  // never null after the parse
};

// Reads argv[1] to argv[argc - 1]; -p sets pauseDemandee. A usage error ends
// the run through afficherUsage.
void lireLigneCommandeArchlens(int argc, char* const* argv, T_LigneCommandeArchlens* ligne);

// The opened backup file, one body per platform.
class FichierArchlens {
 public:
  // Exactly nombre bytes at the current position; otherwise the message, the
  // system error report, the file closed and false.
  virtual bool lire(void* tampon, uint32_t nombre, const char* message) = 0;
  // To an absolute offset; failures are warnings only.
  virtual void positionner(uint64_t position) = 0;
  // At most nombre bytes into *lus; false when the read fails. The error of
  // every read is saved for afficherErreur.
  virtual bool lireDonnees(void* tampon, uint32_t nombre, uint32_t* lus) = 0;
  // The system error report of the saved error.
  virtual void afficherErreur() = 0;
  virtual void fermer() = 0;

 protected:
  ~FichierArchlens() = default;
};

// "header" lines: its first part, then (after the -p wait) the disk and
// partition blocks, then the wait again.
void afficherEnteteSauvegarde(const T_FileHeader& entete);
void afficherSousEnteteSauvegarde(const T_FileHeader& entete, const T_FileSubHeader& sousEntete);

// Dots due after octetsLus of taille data bytes: 200 for a whole file, never
// more, and no division by a size of 0.
uint64_t ciblePoints(uint64_t octetsLus, uint32_t taille);

// Everything after the open: the size test (longueurConnue: the file is
// regular and longueur its size), the report and, with -t, the checks; the
// final pause after a normal end. The file is closed on every path. Returns
// the exit status.
int examinerSauvegarde(FichierArchlens* fichier, uint64_t longueur, bool longueurConnue,
                       bool verifier, bool sansTerminal);
