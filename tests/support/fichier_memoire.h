// A backup file held in memory for archlens' shared report and checks: the
// tests and the fuzz target run them without a file system. Reads follow a
// position as a file's would; nothing is printed as a system error report.
#pragma once
#include <cstring>
#include <string>
#include <utility>

#include "core/format.h"
#include "programs/archlens/archlens.h"

class FichierMemoire : public FichierArchlens {
 public:
  explicit FichierMemoire(std::string octets) : octets_(std::move(octets)) {}

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
    if (position_ >= octets_.size()) return true;
    uint64_t reste = octets_.size() - position_;
    *lus = reste < nombre ? static_cast<uint32_t>(reste) : nombre;
    memcpy(tampon, octets_.data() + position_, *lus);
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
  uint64_t position_ = 0;
  bool ferme_ = false;
  int fermetures_ = 0;
  int lectures_ = 0;
};
