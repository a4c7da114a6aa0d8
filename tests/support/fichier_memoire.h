// A backup file held in memory for archlens' shared report and checks: the
// tests and the fuzz target run them without a file system. Reads follow a
// position as a file's would; nothing is printed as a system error report.
// A read gives at most `morceau` bytes (a pipe's data so far), and `zeros`
// bytes of 0 follow the content (a file too long to hold).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "core/format.h"
#include "programs/archlens/archlens.h"

class FichierMemoire : public FichierArchlens {
 public:
  explicit FichierMemoire(std::string octets, uint32_t morceau = UINT32_MAX, uint64_t zeros = 0)
      : octets_(std::move(octets)), morceau_(morceau), zeros_(zeros) {}

  bool lire(void* tampon, uint32_t nombre, const char* message) override {
    uint32_t lus = 0;
    lireDonnees(tampon, nombre, &lus);
    if (lus == nombre) return true;
    afficherMessage("%s\n", message);
    fermer();
    return false;
  }
  void positionner(uint64_t position) override { position_ = position; }
  bool lireDonnees(void* tampon, uint32_t nombre, uint32_t* lus) override {
    *lus = 0;
    if (ferme_) return false;
    const uint64_t longueur = octets_.size() + zeros_;
    if (position_ >= longueur) return true;
    uint64_t reste = longueur - position_;
    if (nombre > morceau_) nombre = morceau_;
    *lus = reste < nombre ? static_cast<uint32_t>(reste) : nombre;
    size_t contenu = position_ < octets_.size() ? octets_.size() - position_ : 0;
    if (contenu > *lus) contenu = *lus;
    if (contenu != 0) memcpy(tampon, octets_.data() + position_, contenu);
    memset(static_cast<char*>(tampon) + contenu, 0, *lus - contenu);
    position_ += *lus;
    ++lectures_;
    return true;
  }
  void afficherErreur() override {}
  void fermer() override {
    ferme_ = true;
    ++fermetures_;
  }

  int fermetures() const { return fermetures_; }
  int lectures() const { return lectures_; }

 private:
  std::string octets_;
  uint32_t morceau_;
  uint64_t zeros_;
  uint64_t position_ = 0;
  bool ferme_ = false;
  int fermetures_ = 0;
  int lectures_ = 0;
};
