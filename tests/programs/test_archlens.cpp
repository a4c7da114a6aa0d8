// archlens' shared checks on backup files held in memory (every target): the
// progress target, and the data CRC against a CRC-32 computed bit by bit here.
// The golden runs of the twin show the rest; the fuzz target checks that
// every road closes the file once.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "programs/archlens/archlens.h"
#include "programs/commun/frontal.h"
#include "support/fichier_memoire.h"
#include "support/fichier_sauvegarde.h"
#include "support/flux_rediriges.h"

namespace {

// CRC-32 (reflected polynomial 0xEDB88320) continued from crc, bit by bit.
uint32_t crc32BitABit(uint32_t crc, const std::string& octets) {
  crc = ~crc;
  for (unsigned char octet : octets) {
    crc ^= octet;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

struct Resultat {
  int statut;
  std::string sortie;
};

Resultat examiner(const std::string& octets, bool verifier = true, uint32_t morceau = UINT32_MAX,
                  uint64_t zeros = 0) {
  FichierMemoire fichier(octets, morceau, zeros);
  SortieCapturee capture;
  pauseDemandee = false;
  int statut = examinerSauvegarde(&fichier, octets.size() + zeros, true, verifier, false);
  return {statut, capture.terminer()};
}

std::string donnees(size_t taille) {
  std::string d(taille, '\0');
  for (size_t i = 0; i < taille; ++i) d[i] = static_cast<char>((i * 131) ^ (i >> 9));
  return d;
}

TEST(Archlens, CiblePoints) {
  struct Cas {
    uint64_t lus;
    uint32_t taille;
    uint64_t cible;
  } cas[] = {
      {0, 0, 200},          {5, 0, 200},                  // no division by 0
      {1, 3, 66},           {32768, 65536, 100},          {65536, 65536, 200},
      {1ULL << 40, 1, 200},  // a size of 1 under a huge file: no more dots
      {0xFFFFFFFEULL, 0xFFFFFFFFu, 199}, {~0ULL, 0xFFFFFFFFu, 200},
  };
  for (const Cas& c : cas)
    EXPECT_EQ(ciblePoints(c.lus, c.taille), c.cible) << c.lus << " / " << c.taille;
}

TEST(Archlens, CrcDonneesContinueDepuisLeFichierPrecedent) {
  ChampsSauvegarde c;
  c.typeElement = 4;  // ext2: a subheader in the first file only
  c.donnees = donnees(100000);
  std::vector<std::string> fichiers = sauvegardeEnPlusieursFichiers(c, {70000, 30000});
  ASSERT_EQ(fichiers.size(), 2u);
  // The second file's data CRC is the CRC of all the data up to its end.
  const std::string& second = fichiers[1];
  uint32_t stocke = static_cast<uint8_t>(second[5]) | static_cast<uint8_t>(second[6]) << 8 |
                    static_cast<uint8_t>(second[7]) << 16 |
                    static_cast<uint32_t>(static_cast<uint8_t>(second[8])) << 24;
  EXPECT_EQ(stocke, crc32BitABit(0, c.donnees));
  for (const std::string& f : fichiers) {
    Resultat r = examiner(f);
    EXPECT_EQ(r.statut, 0) << r.sortie;
    EXPECT_NE(r.sortie.find("File is correct.\n"), std::string::npos);
  }

  // One data byte changed: the computed value is the independent CRC.
  std::string abime = second;
  abime[104 + 12345] ^= 1;
  std::string donneesAbimees = c.donnees;
  donneesAbimees[70000 + 12345] ^= 1;
  char attendu[80];
  snprintf(attendu, sizeof attendu, "Incorrect data CRC (0x%08x != 0x%08x).\n",
           static_cast<unsigned>(stocke),
           static_cast<unsigned>(crc32BitABit(0, donneesAbimees)));
  Resultat r = examiner(abime);
  EXPECT_EQ(r.statut, 1);
  EXPECT_NE(r.sortie.find(attendu), std::string::npos) << r.sortie;
}

// The data check ends at the first short read, as at the end of what a pipe
// holds so far; its byte count is compared in 64 bits, so 4 GiB of zeros
// after a backup without data do not pass for its size of 0.
TEST(Archlens, FinDesDonnees) {
  ChampsSauvegarde c;
  c.donnees = donnees(70000);
  const struct {
    std::string octets;
    uint32_t morceau;
    uint64_t zeros;
    const char* message;
  } cas[] = {
      {octetsSauvegarde(c), 1000, 0, "Incorrect file size (70000 != 1000).\n"},
      {octetsSauvegarde(ChampsSauvegarde()), UINT32_MAX, uint64_t{1} << 32,
       "Incorrect file size (0 != 4294967296).\n"},
  };
  for (const auto& k : cas) {
    Resultat r = examiner(k.octets, true, k.morceau, k.zeros);
    EXPECT_EQ(r.statut, 1);
    EXPECT_NE(r.sortie.find(k.message), std::string::npos) << r.sortie;
  }
}

}  // namespace
