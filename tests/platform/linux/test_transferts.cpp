// Transfer limits and the read/write loops, driven through the system-call seam.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/texte.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/transferts.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

// A scripted read or write: each call takes the next step; past the script
// every call meets the end of the file.
struct T_Etape {
  ssize_t resultat;  // -1: fails with erreur
  int erreur;
};
std::vector<T_Etape> script;
size_t etapeSuivante;
std::vector<size_t> demandes;
std::vector<off64_t> positions;

ssize_t jouer(size_t nombre) {
  demandes.push_back(nombre);
  if (etapeSuivante >= script.size()) return 0;
  T_Etape e = script[etapeSuivante++];
  if (e.resultat < 0) errno = e.erreur;
  return e.resultat < 0 ? -1 : std::min<ssize_t>(e.resultat, nombre);
}
ssize_t lectureScriptee(int, void* tampon, size_t nombre) {
  ssize_t n = jouer(nombre);
  if (n > 0) memset(tampon, 0x5A, n);
  return n;
}
ssize_t ecritureScriptee(int, const void*, size_t nombre) { return jouer(nombre); }
off64_t positionEspion(int, off64_t position, int) {
  positions.push_back(position);
  return position;
}

class Transferts : public testing::Test {
 protected:
  void SetUp() override {
    script.clear();
    etapeSuivante = 0;
    demandes.clear();
    positions.clear();
    appelsSysteme.read = lectureScriptee;
    appelsSysteme.write = ecritureScriptee;
    appelsSysteme.lseek64 = positionEspion;
  }
  Remplacement<T_AppelsSysteme> table_{appelsSysteme};
};

TEST(LimitesTransfert, AvantEtApresDemarrage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: start-up values
  EXPECT_EXIT(
      {
        bool avant = nombreMaxSecteurs(512) == 127 && tailleMaxTransfert() == 65024;
        initialiserTransferts();
        exit(avant && tailleMaxTransfert() == 65536 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  initialiserTransferts();
  const uint32_t cas[][2] = {{0, 1},    {512, 128},   {2048, 32},   {4096, 16}, {32768, 2},
                             {65536, 1}, {100000, 1}, {520, 126}, {1, 128}};
  for (auto& c : cas) EXPECT_EQ(nombreMaxSecteurs(c[0]), c[1]) << c[0];
  EXPECT_EQ(tailleMaxSecteur(), 32768u);
}

TEST_F(Transferts, BouclesRetenteEtFin) {
  struct {
    std::vector<T_Etape> etapes;
    uint64_t nombre;
    bool reussi;
    uint64_t fait;
    std::vector<size_t> demandes;
  } cas[] = {
      {{{-1, EINTR}, {-1, EAGAIN}, {100, 0}}, 100, true, 100, {100, 100, 100}},
      {{{30, 0}, {30, 0}, {40, 0}}, 100, true, 100, {100, 70, 40}},
      {{{60, 0}}, 100, true, 60, {100, 40}},  // end of file: short success
      {{{40, 0}, {-1, EIO}, {60, 0}}, 100, false, 40, {100, 60}},
      {{}, 0, true, 0, {}},
      {{{500, 0}}, 20, true, 20, {20}},  // an answer above the request counts as the request
  };
  for (int ecriture = 0; ecriture < 2; ++ecriture) {
    for (auto& c : cas) {
      script = c.etapes;
      etapeSuivante = 0;
      demandes.clear();
      uint8_t tampon[100];
      uint64_t fait = 99;
      bool r = ecriture ? ecrireTout(3, c.nombre, tampon, &fait)
                        : lireTout(3, c.nombre, tampon, &fait);
      EXPECT_EQ(r, c.reussi) << c.nombre;
      EXPECT_EQ(fait, c.fait);
      EXPECT_EQ(demandes, c.demandes);
      if (!c.reussi) {
        EXPECT_EQ(errno, EIO);
      }
    }
  }
}

TEST_F(Transferts, LimiteDePositionEtRefusSansDeplacement) {
  const uint64_t L = 0x7FFFFFFFFFFFFFFFULL / 512;  // 18014398509481983
  uint8_t tampon[512];
  script = {{512, 0}};
  EXPECT_TRUE(lireSecteursPosition(3, L - 1, 1, 512, tampon));
  EXPECT_EQ(positions, std::vector<off64_t>{static_cast<off64_t>((L - 1) * 512)});

  struct {
    int fd;
    uint64_t premier;
    uint32_t nombre, taille;
    bool tampon;
  } refus[] = {
      {3, L, 1, 512, true},     {3, L - 1, 2, 512, true},  {-1, 0, 1, 512, true},
      {3, 0, 1, 0, true},       {3, 0, 0x800000, 512, true},  // exactly 4 GiB
      {3, 0, 0xFFFFFFFF, 0xFFFFFFFF, true},                 // count beyond the limit
      {3, 0, 1, 512, false},
  };
  for (auto& c : refus) {
    positions.clear();
    void* t = c.tampon ? tampon : nullptr;
    errno = 0;
    EXPECT_FALSE(lireSecteursPosition(c.fd, c.premier, c.nombre, c.taille, t)) << c.premier;
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_FALSE(ecrireSecteursPosition(c.fd, c.premier, c.nombre, c.taille, t));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(positions.empty());
  }
}

TEST_F(Transferts, DeplacementEchoue) {
  uint8_t tampon[512];
  appelsSysteme.lseek64 = [](int, off64_t, int) -> off64_t { errno = EIO; return -1; };
  EXPECT_FALSE(lireSecteursPosition(3, 1, 1, 512, tampon));
  EXPECT_EQ(errno, EIO);
  appelsSysteme.lseek64 = [](int, off64_t p, int) -> off64_t { return p - 1; };
  EXPECT_FALSE(ecrireSecteursPosition(3, 1, 1, 512, tampon));
  EXPECT_TRUE(demandes.empty());
}

TEST_F(Transferts, EchecDUnSecteurEfface) {
  bool (*lectures[])(int, uint64_t, uint32_t, uint32_t, void*) = {
      lireSecteursDisque, lireSecteursPeripherique, lireSecteursSansTrace};
  for (auto lire : lectures) {
    uint8_t tampon[1024];
    memset(tampon, 0xAA, sizeof tampon);
    script = {{-1, EIO}};
    etapeSuivante = 0;
    EXPECT_FALSE(lire(3, 0, 2, 512, tampon));
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(tampon[0], 0xAA);  // several sectors: left as the read left them
    script = {{100, 0}};  // then the end of the device
    etapeSuivante = 0;
    EXPECT_FALSE(lire(3, 0, 1, 512, tampon));
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(std::vector<uint8_t>(tampon, tampon + 512), std::vector<uint8_t>(512, 0));
    EXPECT_EQ(tampon[512], 0xAA);
  }
  uint8_t disquette[512];
  memset(disquette, 0xAA, sizeof disquette);
  EXPECT_FALSE(lireSecteursDisquette(0, 0, 0, 1, 1, 512, disquette));
  EXPECT_EQ(std::vector<uint8_t>(disquette, disquette + 512), std::vector<uint8_t>(512, 0));
  EXPECT_FALSE(ecrireSecteursDisquette(0, 0, 0, 1, 1, 512, disquette));
}

TEST_F(Transferts, TraceDesLecturesEnEchec) {
  Remplacement vidage(vidageSecteurs, true);
  uint8_t tampon[512];
  SortieCapturee sortie;
  EXPECT_TRUE(lireSecteursDisque(3, 7, 0, 512, tampon));
  EXPECT_FALSE(lireSecteursDisque(-1, 5000000000ULL, 1, 512, tampon));
  script = {{100, 0}};
  EXPECT_FALSE(lireSecteursDisque(3, 2, 1, 512, tampon));
  EXPECT_FALSE(lireSecteursSansTrace(-1, 1, 1, 512, tampon));
  EXPECT_EQ(sortie.terminer(),
            "Reading 0 sectors from 7:\n"
            "Reading 1 sectors from 5000000000:\nError reading sectors: error code 0x16\n"
            "Reading 1 sectors from 2:\nError reading sectors: error code 0x0\n");
}

}  // namespace
