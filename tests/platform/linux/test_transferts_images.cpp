// Sector transfers on real image files, and on a loop device when the test
// runs as root and losetup answers.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "core/texte.h"
#include "platform/linux/transferts.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

// The byte at position i of sector k.
uint8_t motif(uint64_t k, uint32_t i) { return static_cast<uint8_t>(k * 7 + i); }

std::vector<uint8_t> secteurs(uint64_t premier, uint32_t nombre, uint32_t taille) {
  std::vector<uint8_t> v(static_cast<size_t>(nombre) * taille);
  for (uint32_t s = 0; s < nombre; ++s)
    for (uint32_t i = 0; i < taille; ++i) v[s * taille + i] = motif(premier + s, i);
  return v;
}

// A sparse image of `taille` bytes with the pattern written in the sectors listed.
class Image : public testing::Test {
 protected:
  void creer(uint64_t taille, uint32_t tailleSecteur, std::vector<uint64_t> remplis) {
    fd_ = open(chemin_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd_, 0);
    ASSERT_EQ(ftruncate(fd_, taille), 0);
    for (uint64_t k : remplis) {
      auto v = secteurs(k, 1, tailleSecteur);
      ASSERT_EQ(pwrite(fd_, v.data(), v.size(), k * tailleSecteur), ssize_t(v.size()));
    }
  }
  void TearDown() override {
    if (fd_ >= 0) close(fd_);
    unlink(chemin_.c_str());
  }
  std::string chemin_ = cheminTemporaire("image");
  int fd_ = -1;
};

TEST_F(Image, LectureEcritureEtFinDuSupport) {
  // 8 GiB: offsets beyond 32 bits must reach the file on every build.
  const uint64_t loin = 0x200000000ULL / 512 - 3;
  creer(0x200000000ULL, 512, {0, 1, 2, 200, loin, loin + 1, loin + 2});
  std::vector<uint8_t> tampon(3 * 512);
  EXPECT_TRUE(lireSecteursDisque(fd_, loin, 3, 512, tampon.data()));
  EXPECT_EQ(tampon, secteurs(loin, 3, 512));
  EXPECT_TRUE(lireSecteursPeripherique(fd_, 0, 3, 512, tampon.data()));
  EXPECT_EQ(tampon, secteurs(0, 3, 512));

  auto donnees = secteurs(50, 2, 512);
  EXPECT_TRUE(ecrireSecteursDisque(fd_, 201, 2, 512, donnees.data()));
  std::vector<uint8_t> relu(4 * 512);
  ASSERT_EQ(pread(fd_, relu.data(), relu.size(), 200 * 512), ssize_t(relu.size()));
  EXPECT_EQ(std::vector<uint8_t>(relu.begin(), relu.begin() + 512), secteurs(200, 1, 512));
  EXPECT_EQ(std::vector<uint8_t>(relu.begin() + 512, relu.begin() + 1536), donnees);
  EXPECT_EQ(relu[1536], 0);  // sector 203 untouched

  // Across the end: the sectors inside are read, the call fails with errno 0.
  EXPECT_FALSE(lireSecteursDisque(fd_, loin + 2, 2, 512, tampon.data()));
  EXPECT_EQ(errno, 0);
  std::vector<uint8_t> un(512, 0xAA);
  EXPECT_FALSE(lireSecteursDisque(fd_, loin + 3, 1, 512, un.data()));
  EXPECT_EQ(un, std::vector<uint8_t>(512, 0));
}

TEST_F(Image, VidageDesSecteursLus) {
  creer(4 * 512, 512, {1});
  Remplacement vidage(vidageSecteurs, true);
  std::vector<uint8_t> tampon(512);
  SortieCapturee sortie;
  ASSERT_TRUE(lireSecteursDisque(fd_, 1, 1, 512, tampon.data()));
  std::string attendu = "Reading 1 sectors from 1:\n";
  for (uint32_t ligne = 0; ligne < 32; ++ligne) {
    char texte[80];
    snprintf(texte, sizeof texte, "%08X: ", ligne * 16);
    attendu += texte;
    std::string caracteres;
    for (uint32_t i = 0; i < 16; ++i) {
      uint8_t o = motif(1, ligne * 16 + i);
      snprintf(texte, sizeof texte, "%02X ", o);
      attendu += texte;
      caracteres += (o >= 0x20 && o <= 0x7E) ? char(o) : '.';
    }
    attendu += caracteres + "\n";
  }
  EXPECT_EQ(sortie.terminer(), attendu);
}

// A loop device over an image; skipped unless root and losetup works.
class Boucle : public Image {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    creer(2048 * 512, 512, {0, 100, 101, 2047});
    std::string commande = "losetup -f --show " + chemin_ + " 2>/dev/null";
    FILE* f = popen(commande.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char ligne[256] = "";
    if (fgets(ligne, sizeof ligne, f) != nullptr) peripherique_ = ligne;
    pclose(f);
    while (!peripherique_.empty() && peripherique_.back() == '\n') peripherique_.pop_back();
    if (peripherique_.empty()) GTEST_SKIP() << "losetup unavailable";
    boucle_ = open(peripherique_.c_str(), O_RDWR);
    ASSERT_GE(boucle_, 0);
  }
  void TearDown() override {
    if (boucle_ >= 0) close(boucle_);
    if (!peripherique_.empty()) {
      EXPECT_EQ(system(("losetup -d " + peripherique_).c_str()), 0);
    }
    Image::TearDown();
  }
  std::string peripherique_;
  int boucle_ = -1;
};

TEST_F(Boucle, LectureEcritureEtFinDuPeripherique) {
  std::vector<uint8_t> tampon(2 * 512);
  EXPECT_TRUE(lireSecteursDisque(boucle_, 100, 2, 512, tampon.data()));
  EXPECT_EQ(tampon, secteurs(100, 2, 512));
  EXPECT_FALSE(lireSecteursDisque(boucle_, 2047, 2, 512, tampon.data()));
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(std::vector<uint8_t>(tampon.begin(), tampon.begin() + 512), secteurs(2047, 1, 512));
  EXPECT_FALSE(lireSecteursDisque(boucle_, 2048, 1, 512, tampon.data()));
  EXPECT_EQ(errno, 0);

  auto donnees = secteurs(9, 1, 512);
  EXPECT_TRUE(ecrireSecteursPeripherique(boucle_, 5, 1, 512, donnees.data()));
  ASSERT_EQ(fsync(boucle_), 0);
  std::vector<uint8_t> relu(512);
  ASSERT_EQ(pread(fd_, relu.data(), 512, 5 * 512), 512);
  EXPECT_EQ(relu, donnees);
}

}  // namespace
