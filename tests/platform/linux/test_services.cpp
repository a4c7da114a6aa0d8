// Linux system services: error report, memory budget, versions, text files,
// the reboot request, time shifts and the clipboard.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/heure.h"
#include "platform/linux/presse_papier.h"
#include "platform/linux/services.h"
#include "platform/linux/transferts.h"
#include "sim/machine_linux.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

TEST(Services, ErreurSysteme) {
  errno = ENOENT;
  EXPECT_EQ(memoriserErreurSysteme(), ENOENT);
  errno = 0;  // the report shows the saved number, not errno
  SortieCapturee sortie;
  afficherErreurSysteme();
  EXPECT_EQ(sortie.terminer(), "Error number: 2.\nError message: No such file or directory.\n");
}

TEST(Services, LectureDeVersion) {
  struct Cas {
    const char* texte;
    uint32_t a, b, c;
  } cas[] = {
      {"2.6.32-5-amd64", 2, 6, 32}, {"3.2", 3, 2, 0},           {"6", 6, 0, 0},
      {"no digits", 0, 0, 0},       {"", 0, 0, 0},              {"4.x.9", 4, 0, 0},
      {"2.5.", 2, 5, 0},            {"99999999999.1", 0xFFFFFFFF, 1, 0},
      {"1.2.3.4", 1, 2, 3},
  };
  for (const Cas& c : cas) {
    uint32_t a = 7, b = 7, r = 7;
    lireVersion(c.texte, &a, &b, &r);
    EXPECT_EQ(a, c.a) << c.texte;
    EXPECT_EQ(b, c.b) << c.texte;
    EXPECT_EQ(r, c.c) << c.texte;
  }
  uint32_t a = 7, b = 7, r = 7;
  lireVersion(nullptr, &a, &b, &r);
  EXPECT_EQ(a + b + r, 0u);
}

struct sysinfo infoFaux;
int sysinfoFaux(struct sysinfo* i) {
  *i = infoFaux;
  return 0;
}
struct rlimit64 limiteFausse;
int getrlimitFaux(int, struct rlimit64* l) {
  *l = limiteFausse;
  return 0;
}

TEST(Services, BudgetMemoire) {
  Remplacement<decltype(appelsSysteme.sysinfo)> si(appelsSysteme.sysinfo, sysinfoFaux);
  Remplacement<decltype(appelsSysteme.getrlimit64)> rl(appelsSysteme.getrlimit64, getrlimitFaux);
  memset(&infoFaux, 0, sizeof infoFaux);
  infoFaux.freeram = 1000;
  infoFaux.mem_unit = 4096;
  limiteFausse.rlim_cur = RLIM64_INFINITY;
  EXPECT_EQ(memoireDisponible(), 4096000u);
  limiteFausse.rlim_cur = 1000000;
  EXPECT_EQ(memoireDisponible(), 1000000u);
  limiteFausse.rlim_cur = 0;  // 0 is no limit
  fixerLimiteMemoire(300000);
  EXPECT_EQ(memoireDisponible(), 300000u);
  ajouterMemoireUtilisee(100000);
  EXPECT_EQ(memoireDisponible(), 200000u);
  EXPECT_EQ(nombreMaxElements(3), 66666u);
  ajouterMemoireUtilisee(500000);
  EXPECT_EQ(memoireDisponible(), 0u);
  retirerMemoireUtilisee(10000000);  // never below 0
  EXPECT_EQ(memoireDisponible(), 300000u);
  fixerLimiteMemoire(-1);
  EXPECT_EQ(memoireDisponible(), 4096000u);
  infoFaux.mem_unit = 0;
  EXPECT_EQ(memoireDisponible(), 1000u);

  // Plenty of memory: the buffer is 4 MiB rounded to the transfer limit.
  initialiserTransferts();
  infoFaux.freeram = 0x40000000;
  infoFaux.mem_unit = 1;
  EXPECT_EQ(nombreMaxElements(1), 0x40000000u);
  EXPECT_EQ(tailleTampon(1000, 1), 0x400000u);
  EXPECT_EQ(tailleTampon(0x500000, 1), 0x40000000u);  // 4 MiB is too small
  // Little memory: the wanted count rounded up to the limit.
  infoFaux.freeram = 100;
  EXPECT_EQ(tailleTampon(70000, 1), 131072u);
  EXPECT_EQ(tailleTampon(0xFFFFFFFFFFull, 1), 0xFFFFFFFFFFull);
  EXPECT_EQ(nombreMaxElements(0), 100u);  // a size of 0 counts as 1
  infoFaux.freeram = ~0UL;
  infoFaux.mem_unit = 0xFFFFFFFF;
  EXPECT_EQ(nombreMaxElements(1), 0x7FFFFFBFu);
}

// Paths that reach open, and what the machine would have answered.
std::vector<std::string> ouverts;
int (*ouvrirSuivant)(const char*, int);
int ouvrirNote(const char* chemin, int drapeaux) {
  ouverts.push_back(chemin);
  return ouvrirSuivant(chemin, drapeaux);
}

class FichierTexte : public testing::Test {
 protected:
  std::string lire(const char* chemin, uint64_t* taille = nullptr) {
    char* t = lireFichierTexte(chemin, taille);
    if (t == nullptr) return "<null>";
    std::string r = t;
    free(t);
    return r;
  }
  MachineTemporaire m_;
};

TEST_F(FichierTexte, FichiersLiensTubesEtAbsents) {
  m_.ecrire("etc/blkid.conf", "CACHE_FILE=/etc/b.tab\n");
  m_.ecrire("etc/vide", "");
  m_.ecrire("proc/mounts", "");
  ASSERT_EQ(symlink("blkid.conf", m_.chemin("etc/lien").c_str()), 0);
  ASSERT_EQ(mkfifo(m_.chemin("etc/tube").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(m_.chemin("etc/dossier").c_str(), 0700), 0);
  m_.image("d.img", 4096);
  m_.machine("block /dev/sda 8:0 d.img\nlink /etc/vers-dev /dev/sda\nchr /dev/zero 1:5\n");
  ASSERT_TRUE(m_.installer()) << m_.erreur();
  ouverts.clear();
  ouvrirSuivant = appelsSysteme.open64;
  Remplacement<decltype(appelsSysteme.open64)> note(appelsSysteme.open64, ouvrirNote);

  uint64_t taille = 99;
  EXPECT_EQ(lire("/etc/blkid.conf", &taille), "CACHE_FILE=/etc/b.tab\n");
  EXPECT_EQ(taille, 22u);
  // A link is read whole, through to its target.
  taille = 99;
  EXPECT_EQ(lire("/etc/lien", &taille), "CACHE_FILE=/etc/b.tab\n");
  EXPECT_EQ(taille, 22u);
  EXPECT_EQ(lire("/etc/vide"), "");
  EXPECT_EQ(lire("/proc/mounts"), "");
  // A FIFO without a writer would block a blocking open: refused at once.
  EXPECT_EQ(lire("/etc/tube"), "<null>");
  EXPECT_EQ(lire("/etc/dossier"), "<null>");
  EXPECT_EQ(lire("/dev/sda"), "<null>");
  EXPECT_EQ(lire("/etc/vers-dev"), "<null>");
  EXPECT_EQ(lire("/dev/zero"), "<null>");
  EXPECT_EQ(lire("/etc/absent"), "<null>");
  EXPECT_EQ(lire(nullptr), "<null>");
  // Only the regular files were opened, never a device, FIFO or folder.
  EXPECT_EQ(ouverts, (std::vector<std::string>{"/etc/blkid.conf", "/etc/lien", "/etc/vide",
                                                "/proc/mounts"}));
  // A FIFO swapped in after the check: the open does not wait for a writer.
  Remplacement<decltype(appelsSysteme.stat64)> regulier(
      appelsSysteme.stat64, [](const char*, struct stat64* e) {
        memset(e, 0, sizeof *e);
        e->st_mode = S_IFREG | 0644;
        return 0;
      });
  EXPECT_EQ(lire("/etc/tube"), "<null>");
  EXPECT_EQ(ouverts.back(), "/etc/tube");
}

ssize_t lectureEchouee(int, void*, size_t) {
  errno = EIO;
  return -1;
}
// Four bytes, then the end of the file.
ssize_t lectureCourte(int fd, void* b, size_t n) {
  static int appels = 0;
  return appels++ == 0 ? read(fd, b, n > 4 ? 4 : n) : 0;
}

TEST_F(FichierTexte, LectureEchoueeOuCourte) {
  m_.ecrire("etc/fstab", "/dev/sda1 / ext4 rw 0 1\n");
  ASSERT_TRUE(m_.installer()) << m_.erreur();
  {
    Remplacement<decltype(appelsSysteme.read)> r(appelsSysteme.read, lectureEchouee);
    EXPECT_EQ(lire("/etc/fstab"), "<null>");
  }
  {
    Remplacement<decltype(appelsSysteme.read)> r(appelsSysteme.read, lectureCourte);
    EXPECT_EQ(lire("/etc/fstab"), "<null>");
  }
  EXPECT_EQ(lire("/etc/fstab"), "/dev/sda1 / ext4 rw 0 1\n");
}

// Reboot tests run in a child: the waits are written to standard error,
// where the report goes too, and the machine's init never answers.
int attenteNotee(int, fd_set*, fd_set*, fd_set*, struct timeval* d) {
  fprintf(stderr, "wait %ld.%06ld\n", static_cast<long>(d->tv_sec), static_cast<long>(d->tv_usec));
  return 0;
}

void preparerRedemarrage() {
  static MachineTemporaire machine;
  if (!machine.installer()) exit(9);
  appelsSysteme.select = attenteNotee;
  fflush(stdout);
  dup2(2, 1);
  static EntreeRedirigee entree;  // closed: the pause ends at once
}

TEST(Redemarrage, SansReponseDuSysteme) {
  EXPECT_EXIT(
      {
        preparerRedemarrage();
        redemarrerOrdinateur(false);
      },
      testing::ExitedWithCode(3),
      "wait 0.500000\nwait 10.000000\nError: Program cannot reboot computer, you have to do it "
      "yourself.");
  EXPECT_EXIT(
      {
        preparerRedemarrage();
        redemarrerOrdinateur(true);
      },
      testing::ExitedWithCode(0), "you have to do it yourself");
}

int killArret(pid_t p, int numero) {
  if (p == 1 && numero == SIGINT) appelsSysteme.raise(SIGTERM);
  return 0;
}

TEST(Redemarrage, ArretDuSysteme) {
  // SIGTERM while waiting: the process ends by that signal, as the system
  // shuts down.
  EXPECT_EXIT(
      {
        preparerRedemarrage();
        appelsSysteme.kill = killArret;
        redemarrerOrdinateur(true);
      },
      testing::KilledBySignal(SIGTERM), "^wait 0.500000\n$");
  // The stop flag seen after the request: no wait and no message.
  EXPECT_EXIT(
      {
        preparerRedemarrage();
        appelsSysteme.kill = [](pid_t, int) {
          signalArret(SIGTERM);
          return 0;
        };
        appelsSysteme.raise = [](int numero) {
          if (numero == SIGTERM) return 0;
          return raise(numero);
        };
        redemarrerOrdinateur(false);
      },
      testing::ExitedWithCode(3), "^wait 0.500000\n$");
  // A SIGTERM that the parent made the process ignore stays ignored.
  EXPECT_EXIT(
      {
        preparerRedemarrage();
        signal(SIGTERM, SIG_IGN);
        appelsSysteme.kill = killArret;
        redemarrerOrdinateur(false);
      },
      testing::ExitedWithCode(3), "^wait 0.500000\nwait 10.000000\nError: ");
  signalArret(SIGUSR1);  // other signals do nothing
}

TEST(Heure, DecalagesAuxBornes) {
  struct Cas {
    int32_t decalage;
    uint64_t t, local, universel;
  } cas[] = {
      {3600, 0xFFFFFF00, 0xFFFFFF00, 0xFFFFFF00 - 3600},
      {3600, 0xFFFFF000, 0xFFFFFE10, 0xFFFFF000 - 3600},
      {3600, 100, 3700, 100},
      {3600, 3600, 7200, 0},
      {3600, 0xFFFFFFFF - 3600, 0xFFFFFFFF, 0xFFFFFFFF - 7200},
      {3600, 0x100000000ULL, 0x100000000ULL, 0x100000000ULL - 3600},
      {-3600, 100, 100, 3700},
      {-3600, 3600, 0, 7200},
      {-3600, 0xFFFFFFFF, 0xFFFFFFFF - 3600, 0xFFFFFFFF},
      {-3600, 0x100000000ULL, 0x100000000ULL - 3600, 0x100000000ULL},
      {-18000, 10000, 10000, 28000},
      {0, 0xFFFFFFFFFFULL, 0xFFFFFFFFFFULL, 0xFFFFFFFFFFULL},
      {INT32_MIN, 0x80000000ULL, 0, 0x80000000ULL},
      {INT32_MAX, 0x7FFFFFFFULL, 0xFFFFFFFEULL, 0},
  };
  for (const Cas& c : cas) {
    fixerDecalageHoraire(c.decalage);
    EXPECT_EQ(versHeureLocale(c.t), c.local) << c.decalage << " " << c.t;
    EXPECT_EQ(versHeureUniverselle(c.t), c.universel) << c.decalage << " " << c.t;
  }
  fixerDecalageHoraire(0);
}

struct tm heureLocale;
struct tm* localtimeFaux(const time_t*) { return &heureLocale; }

TEST(Heure, DecalageDuSystemeEtHorloges) {
  Remplacement<decltype(appelsSysteme.localtime)> lt(appelsSysteme.localtime, localtimeFaux);
  heureLocale.tm_gmtoff = 7200;
  initialiserDecalageHoraire();
  EXPECT_EQ(versHeureLocale(0), 7200u);
  {
    Remplacement<decltype(appelsSysteme.localtime)> nul(
        appelsSysteme.localtime, [](const time_t*) -> struct tm* { return nullptr; });
    initialiserDecalageHoraire();
    EXPECT_EQ(versHeureLocale(0), 0u);
  }
  heureLocale.tm_gmtoff = -3600;
  {
    Remplacement<decltype(appelsSysteme.time)> t(appelsSysteme.time,
                                                 [](time_t*) { return static_cast<time_t>(-1); });
    initialiserDecalageHoraire();
    EXPECT_EQ(versHeureUniverselle(0), 0u);
    EXPECT_EQ(heureCourante(), -1);
  }
  Remplacement<decltype(appelsSysteme.gettimeofday)> g(appelsSysteme.gettimeofday,
                                                       [](struct timeval* i) {
                                                         i->tv_sec = 5000000;
                                                         i->tv_usec = 123999;
                                                         return 0;
                                                       });
  EXPECT_EQ(millisecondes(), 5000000123ULL);
  fixerDecalageHoraire(0);
}

TEST(PressePapier, TexteDonneesEtVidage) {
  EXPECT_FALSE(pressePapierNonVide());
  copierTextePressePapier("abc");
  EXPECT_TRUE(pressePapierContientTexte());
  EXPECT_EQ(longueurPressePapier(), 3u);
  const char* garde = static_cast<const char*>(contenuPressePapier());
  EXPECT_STREQ(garde, "abc");
  copierTextePressePapier(garde);  // the current content onto itself
  EXPECT_EQ(contenuPressePapier(), garde);
  // A text inside the current content is copied before the old one goes.
  copierTextePressePapier(garde + 1);
  EXPECT_STREQ(static_cast<const char*>(contenuPressePapier()), "bc");

  const unsigned char octets[] = {0, 1, 2};
  copierDonneesPressePapier(octets, 3);
  EXPECT_TRUE(pressePapierNonVide());
  EXPECT_FALSE(pressePapierContientTexte());
  EXPECT_EQ(memcmp(contenuPressePapier(), octets, 3), 0);
  copierDonneesPressePapier(octets, 0);
  EXPECT_FALSE(pressePapierNonVide());
  copierDonneesPressePapier(octets, 3);
  copierDonneesPressePapier(nullptr, 3);  // no bytes: emptied, nothing read
  EXPECT_FALSE(pressePapierNonVide());
  EXPECT_EQ(longueurPressePapier(), 0u);
  copierTextePressePapier("x");
  copierTextePressePapier(nullptr);
  EXPECT_FALSE(pressePapierNonVide());
  EXPECT_EQ(longueurPressePapier(), 0u);
  copierTextePressePapier("y");
  nettoyerPressePapier();
  EXPECT_FALSE(pressePapierNonVide());
}

}  // namespace
