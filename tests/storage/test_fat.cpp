#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_outils.h"
#include "storage/fat.h"

namespace {

struct Champs {
  uint16_t octetsParSecteur = 512;
  uint8_t secteursParCluster = 4;
  uint16_t reserves = 1;
  uint8_t fats = 2;
  uint16_t racine = 512;
  uint16_t total16 = 0;
  uint16_t parFAT16 = 256;
  uint32_t total32 = 0;
  uint32_t parFAT32 = 0;
  uint16_t drapeaux = 0;
};

Secteur_Boot_FAT secteur(const Champs& c) {
  Secteur_Boot_FAT s;
  memset(&s, 0, sizeof s);
  s.octetsParSecteur.ecrire(c.octetsParSecteur);
  s.secteursParCluster = c.secteursParCluster;
  s.secteursReserves.ecrire(c.reserves);
  s.nombreFATs = c.fats;
  s.entreesRacine.ecrire(c.racine);
  s.totalSecteurs16.ecrire(c.total16);
  s.secteursParFAT16.ecrire(c.parFAT16);
  s.totalSecteurs32.ecrire(c.total32);
  s.secteursParFAT32.ecrire(c.parFAT32);
  s.drapeauxEtendus.ecrire(c.drapeaux);
  return s;
}

}  // namespace

TEST(FAT, SommeControleNomCourt) {
  EXPECT_EQ(sommeControleNomCourt(reinterpret_cast<const uint8_t*>("           ")), 0xF7);
  EXPECT_EQ(sommeControleNomCourt(reinterpret_cast<const uint8_t*>("README  TXT")), 0x73);
}

// Crafted parameter blocks, zero fields and values that overflow 32 bits.
TEST(FAT, SecteursFabriques) {
  struct Cas {
    const char* nom;
    Champs c;
    uint32_t racine;
    uint64_t donnees;
    uint32_t clusters, reste;
  };
  auto avec = [](void (*f)(Champs*)) {
    Champs c;
    f(&c);
    return c;
  };
  const Cas cas[] = {
      {"FAT16 of the layout rules", avec([](Champs* c) { c->total16 = 60000; }), 32, 545,
       (60000 - 545) / 4, (60000 - 545) % 4},
      {"32-bit total", avec([](Champs* c) { c->total32 = 1000000; }), 32, 545,
       (1000000 - 545) / 4, (1000000 - 545) % 4},
      {"bytes per sector 0", avec([](Champs* c) {
         c->octetsParSecteur = 0;
         c->total16 = 60000;
       }),
       0, 513, (60000 - 513) / 4, (60000 - 513) % 4},
      {"sectors per cluster 0", avec([](Champs* c) {
         c->secteursParCluster = 0;
         c->total16 = 60000;
       }),
       32, 545, 0, 0},
      {"data area past the end", avec([](Champs* c) { c->total16 = 544; }), 32, 545, 0, 0},
      {"data area at the end", avec([](Champs* c) { c->total16 = 545; }), 32, 545, 0, 0},
      {"root entries not a sector's worth", avec([](Champs* c) {
         c->racine = 17;
         c->total16 = 600;
       }),
       2, 515, (600 - 515) / 4, (600 - 515) % 4},
      {"255 FATs of 2^32 - 1 sectors", avec([](Champs* c) {
         c->fats = 255;
         c->parFAT16 = 0;
         c->parFAT32 = 0xFFFFFFFF;
         c->total32 = 0xFFFFFFFF;
       }),
       32, 33 + 255 * uint64_t{0xFFFFFFFF}, 0, 0},
      {"everything 0", Champs{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 0, 0},
  };
  for (const Cas& k : cas) {
    Secteur_Boot_FAT s = secteur(k.c);
    EXPECT_EQ(s.secteursRepertoireRacine(), k.racine) << k.nom;
    EXPECT_EQ(s.premierSecteurDonnees(), k.donnees) << k.nom;
    uint32_t reste = 99;
    EXPECT_EQ(s.nombreClusters(&reste), k.clusters) << k.nom;
    EXPECT_EQ(reste, k.reste) << k.nom;
  }
  EXPECT_EQ(secteur(Champs{}).octetsParCluster(), 2048u);
  EXPECT_EQ(secteur(Champs{0xFFFF, 0xFF}).octetsParCluster(), 0xFFFFu * 0xFF);
}

TEST(FAT, MiroirDesFAT32) {
  const struct {
    uint16_t drapeaux;
    uint8_t type;
    uint8_t active, nombre;
  } cas[] = {
      {0x0000, 32, 0, 2}, {0x0081, 32, 1, 1}, {0x008F, 32, 15, 1}, {0x0003, 32, 0, 2},
      {0x0100, 32, 0, 1},  // a reserved bit above 7 also counts as mirroring off
      {0x0081, 16, 0, 2}, {0x0081, 12, 0, 2},
  };
  for (const auto& c : cas) {
    Champs champs;
    champs.drapeaux = c.drapeaux;
    Secteur_Boot_FAT s = secteur(champs);
    EXPECT_EQ(s.fatActive(c.type), c.active) << std::hex << c.drapeaux;
    EXPECT_EQ(s.nombreFAT(c.type), c.nombre) << std::hex << c.drapeaux;
  }
  Champs c;
  c.parFAT16 = 0;
  c.parFAT32 = 0x12345678;
  EXPECT_EQ(secteur(c).secteursParFAT(), 0x12345678u);
  c.parFAT16 = 9;
  EXPECT_EQ(secteur(c).secteursParFAT(), 9u);
}

#ifndef _WIN32
namespace {

uint64_t nombreAvant(const std::string& sortie, const std::string& suite) {
  size_t fin = sortie.find(suite);
  if (fin == std::string::npos) return ~uint64_t{0};
  size_t debut = sortie.find_last_not_of("0123456789", fin - 1);
  debut = debut == std::string::npos ? 0 : debut + 1;
  return std::stoull(sortie.substr(debut, fin - debut));
}

}  // namespace

// File systems made by mkfs.fat, their geometry as fsck.fat reads it.
TEST(FAT, SecteursDeMkfs) {
  const struct {
    const char* options;
    uint64_t kio;
    uint8_t type;
  } cas[] = {
      {"-F 12", 1440, 12},
      {"-F 16", 32768, 16},
      {"-F 16 -S 2048 -s 1", 65536, 16},
      {"-F 32", 65536, 32},
      {"-F 32 -s 8 -f 1", 262144, 32},
  };
  for (const auto& c : cas) {
    ImageOutils image(c.kio * 1024);
    std::string sortie;
    if (image.commande(std::string("mkfs.fat -I ") + c.options + " IMG") != 0)
      GTEST_SKIP() << "mkfs.fat not available";
    ASSERT_EQ(image.commande("fsck.fat -v -n IMG", &sortie), 0) << sortie;
    std::vector<uint8_t> octets = image.lire(0, 512);
    ASSERT_EQ(octets.size(), 512u);
    Secteur_Boot_FAT s;
    memcpy(&s, octets.data(), sizeof s);
    SCOPED_TRACE(c.options);
    EXPECT_EQ(s.octetsParCluster(), nombreAvant(sortie, " bytes per cluster"));
    EXPECT_EQ(s.nombreFAT(c.type), nombreAvant(sortie, " FATs, "));
    EXPECT_EQ(s.fatActive(c.type), 0u);
    EXPECT_EQ(s.secteursParFAT(), nombreAvant(sortie, " sectors)"));
    EXPECT_EQ(s.premierSecteurDonnees() * s.octetsParSecteur.lire(),
              nombreAvant(sortie.substr(sortie.find("Data area starts at byte ")), " ("));
    uint32_t reste = 0;
    EXPECT_EQ(s.nombreClusters(&reste), nombreAvant(sortie, " data clusters"));
    if (c.type != 32) {
      EXPECT_EQ(s.secteursRepertoireRacine() * uint64_t{s.octetsParSecteur.lire()},
                nombreAvant(sortie, " root directory entries") * 32);
    }
  }
}

// The checksum that mtools writes in the long-name entries of a file.
TEST(FAT, SommeControleDeMtools) {
  ImageOutils image(1440 * 1024);
  if (image.commande("mkfs.fat -I -F 12 IMG && printf x > IMG.src && "
                     "mcopy -i IMG IMG.src '::Un nom assez long.txt'; r=$?; rm -f IMG.src; exit $r") != 0)
    GTEST_SKIP() << "mkfs.fat or mtools not available";
  std::vector<uint8_t> racine = image.lire(19 * 512, 14 * 512);
  int longues = 0, chaines = 0;
  for (size_t e = 0; e + 32 <= racine.size(); e += 32) {
    const uint8_t* entree = racine.data() + e;
    if (entree[0] == 0) break;
    if (entree[11] != 0x0F) {
      // The short entry closes the chain of long entries above it.
      ASSERT_GT(longues, 0);
      for (size_t l = e - 32 * longues; l < e; l += 32)
        EXPECT_EQ(racine[l + 13], sommeControleNomCourt(entree));
      longues = 0;
      ++chaines;
      continue;
    }
    ++longues;
  }
  EXPECT_EQ(chaines, 1);
}
#endif
