// LockManager on a simulated machine: exclusive opens, the mount refusal on
// disks, partitions and their links, counted uses, and physical locks.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/lock_manager.h"
#include "sim/machine_linux.h"
#include "storage/plateforme.h"
#include "support/remplacement.h"

namespace {

// Every record-lock type asked, every open and close that reach the machine.
std::vector<short> typesVerrou;
std::vector<std::string> ouvertures;
std::vector<int> fermetures;
std::vector<unsigned long> ioctls;
int (*fcntlSuivant)(int, int, struct flock*);
int (*openSuivant)(const char*, int);
int (*closeSuivant)(int);
int erreurFcntl = 0;  // non-zero: every lock fails with it

int fcntlEspion(int fd, int commande, struct flock* verrou) {
  EXPECT_EQ(commande, F_SETLK);
  EXPECT_EQ(verrou->l_whence, SEEK_SET);
  EXPECT_EQ(verrou->l_start, 0);
  EXPECT_EQ(verrou->l_len, 0);
  typesVerrou.push_back(verrou->l_type);
  if (erreurFcntl != 0) {
    errno = erreurFcntl;
    return -1;
  }
  return fcntlSuivant ? fcntlSuivant(fd, commande, verrou) : 0;
}
int openEspion(const char* chemin, int drapeaux) {
  ouvertures.push_back(chemin);
  EXPECT_TRUE(drapeaux & O_EXCL) << chemin;
  EXPECT_TRUE(drapeaux & O_NOCTTY) << chemin;
  return openSuivant(chemin, drapeaux);
}
int closeEspion(int fd) {
  fermetures.push_back(fd);
  return closeSuivant(fd);
}
int ioctlEspion(int, unsigned long requete, void*) {
  ioctls.push_back(requete);
  return 0;
}

void remettreAZero() {
  typesVerrou.clear();
  ouvertures.clear();
  fermetures.clear();
  ioctls.clear();
  erreurFcntl = 0;
}

class VerrouLogique : public testing::Test {
 protected:
  void SetUp() override {
    machine_.image("a.img", 4 << 20);
    machine_.image("b.img", 1 << 20);
    machine_.machine(
        "block /dev/sda 8:0 a.img\n"
        "block /dev/sda1 8:1 a.img offset=1048576 size=1048576\n"
        "block /dev/sda2 8:2 a.img offset=2097152 size=1048576\n"
        "block /dev/sdaa 65:160 b.img\n"
        "block /dev/sdb 8:16 b.img\n"
        "block /dev/sdb1 8:17 b.img offset=512\n"
        "block /dev/sdc 8:32 b.img ro\n"
        "block /dev/sdd 8:48 b.img busy\n"
        "block /dev/mmcblk0 179:0 b.img\n"
        "block /dev/mmcblk0p1 179:1 b.img offset=512\n"
        "chr /dev/watchdog 10:130\n"
        "link /dev/disk/by-uuid/abcd /dev/sda1\n");
    ASSERT_TRUE(machine_.installer()) << machine_.erreur();
    remettreAZero();
    fcntlSuivant = appelsSysteme.fcntl;
    openSuivant = appelsSysteme.open64;
    closeSuivant = appelsSysteme.close;
    appelsSysteme.fcntl = fcntlEspion;
    appelsSysteme.open64 = openEspion;
    appelsSysteme.close = closeEspion;
  }
  void TearDown() override {
    EXPECT_EQ(LockManager::logicalLocks().count(), 0u) << "a test left a lock";
    while (LockManager::logicalLocks().count() > 0) LockManager::unlockLogicalIndex(0);
  }
  void montes(const std::string& lignes) { machine_.ecrire("etc/mtab", lignes); }

  struct T_Resultat {
    const char* message;
    int32_t fd;
    bool readOnly;
    int erreur;
  };
  T_Resultat verrouiller(const char* chemin) {
    T_Resultat r;
    bool drapeau = true;
    r.readOnly = true;
    errno = 0;
    r.message = LockManager::lockLogical(chemin, r.fd, drapeau, r.readOnly);
    r.erreur = errno;
    EXPECT_FALSE(drapeau);
    return r;
  }

  MachineTemporaire machine_;
  Remplacement<T_AppelsSysteme> seam_{appelsSysteme};
};

TEST_F(VerrouLogique, RefusDesSupportsMontes) {
  const struct {
    const char* table;
    const char* chemin;
    bool refuse;
  } cas[] = {
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/sda1", true},
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/sda", true},   // one of its partitions
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/sda2", false},
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/disk/by-uuid/abcd", true},  // a link to it
      {"/dev/disk/by-uuid/abcd / ext4 rw 0 0\n", "/dev/sda", true},
      {"/dev/sda / ext4 rw 0 0\n", "/dev/sda2", true},   // its whole disk
      {"/dev/sdb /mnt ext4 rw 0 0\n", "/dev/sdb1", true},
      {"/dev/sdb /mnt ext4 rw 0 0\n", "/dev/sda", false},
      {"/dev/sdaa /mnt ext4 rw 0 0\n", "/dev/sda", false},  // another disk, not a partition
      {"/dev/sda12 /mnt ext4 rw 0 0\n", "/dev/sda", true},  // P followed by digits
      {"/dev/sda1x /mnt ext4 rw 0 0\n", "/dev/sda", false},
      {"/dev/mmcblk0p1 / ext4 rw 0 0\n", "/dev/mmcblk0", true},
      {"/dev/mmcblk0p1 / ext4 rw 0 0\n", "/dev/mmcblk0p1", true},
      {"/dev/mmcblk01 / ext4 rw 0 0\n", "/dev/mmcblk0", false},  // not its prefix
      {"/dev/sda1 /srv nfs rw 0 0\n/dev/sda1 none swap sw 0 0\n", "/dev/sda1", false},
      {"", "/dev/sda", false},
  };
  for (auto& c : cas) {
    montes(c.table);
    remettreAZero();
    T_Resultat r = verrouiller(c.chemin);
    if (c.refuse) {
      EXPECT_STREQ(r.message, MESSAGE_SUPPORT_MONTE) << c.chemin << " with " << c.table;
      EXPECT_EQ(r.fd, -1);
      EXPECT_EQ(r.erreur, EBUSY);
      EXPECT_EQ(LockManager::findLogicalPath(c.chemin), LockManager::logicalLocks().count());
      // The descriptor was opened, locked, released and closed.
      EXPECT_EQ(typesVerrou, (std::vector<short>{F_WRLCK, F_UNLCK}));
      EXPECT_EQ(fermetures.size(), 1u);
    } else {
      EXPECT_EQ(r.message, nullptr) << c.chemin << " with " << c.table;
      EXPECT_GE(r.fd, 0);
      EXPECT_FALSE(r.readOnly);
      EXPECT_EQ(LockManager::fdOfLogicalPath(c.chemin), r.fd);
      LockManager::unlockLogical(r.fd);
    }
  }
}

TEST_F(VerrouLogique, OuverturesRefusees) {
  montes("");
  const struct {
    const char* chemin;
    const char* message;
    int erreur;
    bool ouvert;
  } cas[] = {
      {"/dev/sdd", MESSAGE_ECHEC_VERROU, EBUSY, true},  // held exclusively elsewhere
      {"/dev/watchdog", MESSAGE_LECTURE_IMPOSSIBLE, ENOTBLK, false},
      {"/dev/absent", MESSAGE_LECTURE_IMPOSSIBLE, ENOENT, false},
      {"", MESSAGE_LECTURE_IMPOSSIBLE, ENOENT, false},
      {nullptr, MESSAGE_LECTURE_IMPOSSIBLE, ENOENT, false},
  };
  for (auto& c : cas) {
    remettreAZero();
    T_Resultat r = verrouiller(c.chemin);
    const char* nom = c.chemin ? c.chemin : "null";
    EXPECT_STREQ(r.message, c.message) << nom;
    EXPECT_EQ(r.erreur, c.erreur) << nom;
    EXPECT_EQ(r.fd, -1) << nom;
    EXPECT_EQ(ouvertures.empty(), !c.ouvert) << nom;  // a character device is never opened
    EXPECT_TRUE(typesVerrou.empty()) << nom;
  }
  EXPECT_EQ(LockManager::logicalLocks().count(), 0u);
}

TEST_F(VerrouLogique, LectureSeuleEtVerrouRefuse) {
  montes("");
  T_Resultat r = verrouiller("/dev/sdc");
  EXPECT_EQ(r.message, nullptr);
  EXPECT_TRUE(r.readOnly);
  EXPECT_EQ(ouvertures, (std::vector<std::string>{"/dev/sdc", "/dev/sdc"}));
  EXPECT_EQ(typesVerrou, (std::vector<short>{F_RDLCK}));
  LockManager::unlockLogicalPath("/dev/sdc");

  remettreAZero();
  erreurFcntl = EAGAIN;
  r = verrouiller("/dev/sda2");
  EXPECT_STREQ(r.message, MESSAGE_ECHEC_VERROU);
  EXPECT_EQ(r.erreur, EAGAIN);  // the record lock's own reason
  EXPECT_EQ(r.fd, -1);
  EXPECT_EQ(fermetures.size(), 1u);
  EXPECT_EQ(LockManager::logicalLocks().count(), 0u);
}

TEST_F(VerrouLogique, UsesComptes) {
  montes("");
  T_Resultat premier = verrouiller("/dev/sda2");
  ASSERT_EQ(premier.message, nullptr);
  T_Resultat second = verrouiller("/dev/sda2");
  EXPECT_EQ(second.message, nullptr);
  EXPECT_EQ(second.fd, premier.fd);
  EXPECT_FALSE(second.readOnly);
  EXPECT_EQ(ouvertures.size(), 1u);  // no second open, no second mount test

  T_Resultat autre = verrouiller("/dev/sdc");
  ASSERT_EQ(autre.message, nullptr);
  EXPECT_EQ(LockManager::findLogical(autre.fd), 1u);
  EXPECT_EQ(LockManager::findLogicalPath("/dev/sda2"), 0u);

  LockManager::unlockLogicalPath("/dev/sda2");
  EXPECT_EQ(LockManager::fdOfLogicalPath("/dev/sda2"), premier.fd);
  EXPECT_TRUE(fermetures.empty());
  LockManager::unlockLogicalPath("/dev/sda2");
  EXPECT_EQ(LockManager::fdOfLogicalPath("/dev/sda2"), -1);
  EXPECT_EQ(fermetures, (std::vector<int>{premier.fd}));
  EXPECT_EQ(LockManager::findLogicalPath("/dev/sdc"), 0u);

  // What has no entry unlocks nothing.
  LockManager::unlockLogicalPath("/dev/sda2");
  LockManager::unlockLogicalPath("");
  LockManager::unlockLogical(-1);
  LockManager::unlockLogicalIndex(5);
  EXPECT_EQ(LockManager::logicalLocks().count(), 1u);
  LockManager::unlockLogical(autre.fd);
  EXPECT_EQ(fermetures.size(), 2u);
  EXPECT_EQ(typesVerrou, (std::vector<short>{F_WRLCK, F_RDLCK, F_UNLCK, F_UNLCK}));
}

TEST_F(VerrouLogique, CheminsDuStockage) {
  montes("/dev/sda1 / ext4 rw 0 0\n");
  EXPECT_EQ(verrouillerCheminSupport("/dev/sda2"), nullptr);
  EXPECT_STREQ(verrouillerCheminSupport("/dev/sda1"), MESSAGE_SUPPORT_MONTE);
  EXPECT_GE(LockManager::fdOfLogicalPath("/dev/sda2"), 0);
  deverrouillerCheminSupport("/dev/sda2");
  EXPECT_EQ(LockManager::fdOfLogicalPath("/dev/sda2"), -1);
}

// Physical locks on a descriptor the caller owns: counted, never closed.
class VerrouPhysique : public testing::Test {
 protected:
  void SetUp() override {
    remettreAZero();
    fcntlSuivant = nullptr;
    appelsSysteme.fcntl = fcntlEspion;
    appelsSysteme.ioctl = ioctlEspion;
    appelsSysteme.fsync = [](int) { return 0; };
  }
  void TearDown() override { EXPECT_EQ(LockManager::physicalLocks().count(), 0u); }
  Remplacement<T_AppelsSysteme> seam_{appelsSysteme};
};

TEST_F(VerrouPhysique, CompteEtDernierDeverrouillage) {
  EXPECT_EQ(LockManager::lockPhysical(7, false), nullptr);
  EXPECT_EQ(LockManager::lockPhysical(7, true), nullptr);   // a read under a write: counted
  EXPECT_EQ(LockManager::lockPhysical(7, false), nullptr);
  EXPECT_EQ(typesVerrou, (std::vector<short>{F_WRLCK}));
  EXPECT_EQ(ioctls, (std::vector<unsigned long>{BLKFLSBUF}));
  ASSERT_EQ(LockManager::findPhysical(7), 0u);
  EXPECT_EQ(LockManager::physicalLocks()[0].count, 3);
  LockManager::unlockPhysical(7);
  LockManager::unlockPhysical(7);
  EXPECT_EQ(typesVerrou.size(), 1u);
  LockManager::unlockPhysical(7);
  EXPECT_EQ(typesVerrou, (std::vector<short>{F_WRLCK, F_UNLCK}));
  EXPECT_EQ(LockManager::findPhysical(7), 0u);  // the empty table's count
  LockManager::unlockPhysical(7);
  EXPECT_EQ(typesVerrou.size(), 2u);
}

TEST_F(VerrouPhysique, LectureSeulePuisEcriture) {
  EXPECT_EQ(LockManager::lockPhysical(4, true), nullptr);
  EXPECT_EQ(LockManager::lockPhysical(4, true), nullptr);
  EXPECT_EQ(LockManager::lockPhysical(4, false), nullptr);  // taken again as a write lock
  EXPECT_EQ(typesVerrou, (std::vector<short>{F_RDLCK, F_WRLCK}));
  ASSERT_EQ(LockManager::physicalLocks().count(), 1u);
  EXPECT_FALSE(LockManager::physicalLocks()[0].readOnly);
  EXPECT_EQ(LockManager::physicalLocks()[0].count, 3);
  for (int i = 0; i < 3; ++i) LockManager::unlockPhysical(4);
  EXPECT_EQ(typesVerrou.back(), F_UNLCK);
}

TEST_F(VerrouPhysique, RefusEtDescripteurNegatif) {
  EXPECT_EQ(LockManager::lockPhysical(-1, false), nullptr);
  EXPECT_TRUE(typesVerrou.empty());
  EXPECT_EQ(LockManager::physicalLocks().count(), 0u);
  LockManager::unlockPhysical(-1);

  erreurFcntl = EACCES;
  EXPECT_STREQ(LockManager::lockPhysical(5, false), MESSAGE_ECHEC_VERROU);
  EXPECT_EQ(LockManager::physicalLocks().count(), 0u);
  EXPECT_TRUE(ioctls.empty());

  erreurFcntl = 0;
  EXPECT_EQ(LockManager::lockPhysical(5, true), nullptr);
  erreurFcntl = EAGAIN;
  EXPECT_STREQ(LockManager::lockPhysical(5, false), MESSAGE_ECHEC_VERROU);  // upgrade refused
  EXPECT_TRUE(LockManager::physicalLocks()[0].readOnly);
  EXPECT_EQ(LockManager::physicalLocks()[0].count, 1);
  erreurFcntl = 0;
  LockManager::unlockPhysical(5);
  EXPECT_TRUE(LockManager::cleValide(0));
  EXPECT_FALSE(LockManager::cleValide(-1));
}

TEST(MessageVerrou, SixLignesSansFinDeLigne) {
  std::string texte = MESSAGE_ECHEC_VERROU;
  EXPECT_EQ(std::count(texte.begin(), texte.end(), '\n'), 5);
  EXPECT_NE(texte.find("device through the \"umount\" command"), std::string::npos);
  EXPECT_NE(texte.back(), '\n');
}

}  // namespace
