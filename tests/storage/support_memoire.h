// A medium in memory for the storage tests: every sector reads as a pattern
// that names it (or as what was written), each physical transfer is logged,
// and chosen sectors fail.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "storage/support_bloc.h"
#include "storage/support_bloc_manager.h"

struct T_Transfert {
  bool ecriture;
  uint64_t premier;
  uint32_t nombre;
  bool operator==(const T_Transfert& autre) const {
    return ecriture == autre.ecriture && premier == autre.premier && nombre == autre.nombre;
  }
};

class SupportMemoire : public Support_Bloc {
 public:
  SupportMemoire(uint64_t nombreSecteurs, uint16_t tailleSecteur = 512, int32_t acces = 0,
                 uint64_t secteursParPiste = 63, uint64_t tetes = 255);
  ~SupportMemoire() override;

  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage rappel) override;
  bool ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                      T_RappelMessage rappel) override;
  bool accesDirect() const override { return direct; }
  const char* ouvrir() override;
  void fermer() override { ++fermetures; }

  void fixerIdentifiant(const T_Identifiant& id) { identifiant_ = id; }
  void fixerModifiable(bool valeur) { modifiable_ = valeur; }
  uint64_t redirectionLongueur() const { return redirectionLongueur_; }
  void ajouterCheminNul() {
    chemins_.add(nullptr);
    cheminsPeripherique_.add(true);
  }

  // The byte a never-written sector holds at an offset; bytes 0-7 carry
  // the sector number.
  static uint8_t motif(uint64_t secteur, size_t octet);
  // The sector number stored at the start of a sector image.
  static uint64_t secteurLu(const uint8_t* image);

  std::vector<T_Transfert> journal;
  std::set<uint64_t> echecs;  // a transfer touching one of these fails
  std::map<uint64_t, std::vector<uint8_t>> ecrits;
  bool direct = true;
  int ouvertures = 0;
  int fermetures = 0;
  const char* refusOuvrir = nullptr;  // answer of ouvrir
  std::string nom;                    // for the deletion log
  static std::vector<std::string> supprimes;
};

// Records the messages handed to a transfer callback.
extern std::vector<std::string> messagesRecus;
void rappelTest(const char* message);

// Every test starts with no message and leaves no medium registered.
class TestSupports : public ::testing::Test {
 protected:
  void SetUp() override {
    messagesRecus.clear();
    SupportMemoire::supprimes.clear();
  }
  void TearDown() override { SupportBlocManager::releaseAll(); }
};
