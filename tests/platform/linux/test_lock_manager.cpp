// LockManager on a simulated machine: exclusive opens, the mount refusal on
// disks, partitions and their links, counted uses, and physical locks.
#include <gtest/gtest.h>
#include <fcntl.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/lock_manager.h"
#include "sim/machine_linux.h"
#include "storage/plateforme.h"
#include "support/remplacement.h"

namespace {

// Record-lock types asked, opens and closes, as they reach the machine.
std::vector<short> types;
std::vector<std::string> ouvertures;
std::vector<int> fermetures;
int erreurFcntl;  // non-zero: every record lock fails with it
T_AppelsSysteme suivant;

void remettreAZero() {
  types.clear();
  ouvertures.clear();
  fermetures.clear();
  erreurFcntl = 0;
}

int fcntlEspion(int fd, int commande, struct flock* v) {
  EXPECT_TRUE(commande == F_SETLK && v->l_whence == SEEK_SET && v->l_start == 0 && v->l_len == 0);
  types.push_back(v->l_type);
  if (erreurFcntl == 0) return suivant.fcntl ? suivant.fcntl(fd, commande, v) : 0;
  errno = erreurFcntl;
  return -1;
}
int openEspion(const char* chemin, int drapeaux) {
  ouvertures.push_back(chemin);
  EXPECT_EQ(drapeaux & (O_EXCL | O_NOCTTY), O_EXCL | O_NOCTTY) << chemin;
  return suivant.open64(chemin, drapeaux);
}
int closeEspion(int fd) {
  fermetures.push_back(fd);
  return suivant.close(fd);
}

class VerrouLogique : public testing::Test {
 protected:
  void SetUp() override {
    machine_.image("a.img", 4 << 20);
    machine_.machine(
        "block /dev/sda 8:0 a.img\n"
        "block /dev/sda1 8:1 a.img offset=1048576 size=1048576\n"
        "block /dev/sda2 8:2 a.img offset=2097152 size=1048576\n"
        "block /dev/sdaa 65:160 a.img\n"
        "block /dev/sdb 8:16 a.img\n"
        "block /dev/sdb1 8:17 a.img offset=512\n"
        "block /dev/sdc 8:32 a.img ro\n"
        "block /dev/sdd 8:48 a.img busy\n"
        "block /dev/mmcblk0 179:0 a.img\n"
        "block /dev/mmcblk0p1 179:1 a.img offset=512\n"
        "chr /dev/watchdog 10:130\n"
        "link /dev/disk/by-uuid/abcd /dev/sda1\n");
    ASSERT_EQ(machine_.commande("mkdir images && mkfifo images/fifo"), 0);
    ASSERT_TRUE(machine_.installer()) << machine_.erreur();
    remettreAZero();
    suivant = appelsSysteme;
    appelsSysteme.fcntl = fcntlEspion;
    appelsSysteme.open64 = openEspion;
    appelsSysteme.close = closeEspion;
  }
  void TearDown() override { EXPECT_EQ(LockManager::logicalLocks().count(), 0u) << "a lock left"; }
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
    const char *table, *chemin;
    bool refuse;
  } cas[] = {
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/sda1", true},
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/sda", true},  // one of its partitions
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/sda2", false},
      {"/dev/sda1 / ext4 rw 0 0\n", "/dev/disk/by-uuid/abcd", true},  // a link to it
      {"/dev/disk/by-uuid/abcd / ext4 rw 0 0\n", "/dev/sda", true},
      {"/dev/sda / ext4 rw 0 0\n", "/dev/sda2", true},  // its whole disk
      {"/dev/sdb /mnt ext4 rw 0 0\n", "/dev/sdb1", true},
      {"/dev/sdaa /mnt ext4 rw 0 0\n", "/dev/sda", false},  // another disk
      {"/dev/sda12 /mnt ext4 rw 0 0\n", "/dev/sda", true},
      {"/dev/sda1x /mnt ext4 rw 0 0\n", "/dev/sda", false},
      {"/dev/mmcblk0p1 / ext4 rw 0 0\n", "/dev/mmcblk0", true},
      {"/dev/mmcblk01 / ext4 rw 0 0\n", "/dev/mmcblk0", false},  // not its prefix
      {"/dev/sda1 /srv nfs rw 0 0\n/dev/sda1 none swap sw 0 0\n", "/dev/sda1", false},
  };
  for (auto& c : cas) {
    montes(c.table);
    remettreAZero();
    T_Resultat r = verrouiller(c.chemin);
    if (c.refuse) {
      EXPECT_STREQ(r.message, MESSAGE_SUPPORT_MONTE) << c.chemin << " with " << c.table;
      EXPECT_EQ(r.fd, -1);
      EXPECT_EQ(r.erreur, EBUSY);
      // Opened, locked, then released and closed: no entry left.
      EXPECT_EQ(types, (std::vector<short>{F_WRLCK, F_UNLCK}));
      EXPECT_EQ(fermetures.size(), 1u);
    } else {
      EXPECT_EQ(r.message, nullptr) << c.chemin << " with " << c.table;
      EXPECT_EQ(LockManager::fdOfLogicalPath(c.chemin), r.fd);
      LockManager::unlockLogical(r.fd);
    }
  }
}

TEST_F(VerrouLogique, OuverturesRefusees) {
  const struct {
    const char *chemin, *message;
    int erreur;
  } cas[] = {
      {"/dev/sdd", MESSAGE_ECHEC_VERROU, EBUSY},  // held exclusively elsewhere
      {"/dev/watchdog", MESSAGE_LECTURE_IMPOSSIBLE, ENOTBLK},
      {"/images/fifo", MESSAGE_LECTURE_IMPOSSIBLE, ENOTBLK},  // an open could wait
      {"/images", MESSAGE_LECTURE_IMPOSSIBLE, ENOTBLK},
      {"/dev/absent", MESSAGE_LECTURE_IMPOSSIBLE, ENOENT},
      {"", MESSAGE_LECTURE_IMPOSSIBLE, ENOENT},
  };
  for (auto& c : cas) {
    remettreAZero();
    T_Resultat r = verrouiller(c.chemin);
    EXPECT_STREQ(r.message, c.message) << c.chemin;
    EXPECT_EQ(r.erreur, c.erreur) << c.chemin;
    EXPECT_EQ(r.fd, -1);
    // Only a block device is ever opened.
    EXPECT_EQ(ouvertures.empty(), c.erreur != EBUSY) << c.chemin;
  }
  remettreAZero();
  erreurFcntl = EAGAIN;
  T_Resultat r = verrouiller("/dev/sda2");
  EXPECT_STREQ(r.message, MESSAGE_ECHEC_VERROU);
  EXPECT_EQ(r.erreur, EAGAIN);  // the record lock's own reason
  EXPECT_EQ(fermetures.size(), 1u);
}

TEST_F(VerrouLogique, FichierImageOuvertCommeUnPeripherique) {
  machine_.ecrire("images/disque.img", std::string(4096, '\0'));
  T_Resultat r = verrouiller("/images/disque.img");
  ASSERT_EQ(r.message, nullptr);
  EXPECT_GE(r.fd, 0);
  EXPECT_FALSE(r.readOnly);
  EXPECT_EQ(ouvertures, (std::vector<std::string>{"/images/disque.img"}));
  EXPECT_EQ(types, (std::vector<short>{F_WRLCK}));
  LockManager::unlockLogical(r.fd);
  EXPECT_EQ(fermetures, (std::vector<int>{r.fd}));
}

TEST_F(VerrouLogique, UsesComptesEtLectureSeule) {
  T_Resultat premier = verrouiller("/dev/sda2");
  ASSERT_EQ(premier.message, nullptr);
  T_Resultat second = verrouiller("/dev/sda2");
  EXPECT_EQ(second.message, nullptr);
  EXPECT_EQ(second.fd, premier.fd);
  EXPECT_FALSE(second.readOnly);
  EXPECT_EQ(ouvertures.size(), 1u);  // no second open

  T_Resultat seul = verrouiller("/dev/sdc");  // opens only for reading
  ASSERT_EQ(seul.message, nullptr);
  EXPECT_TRUE(seul.readOnly);
  EXPECT_EQ(LockManager::findLogical(seul.fd), 1u);

  LockManager::unlockLogicalPath("/dev/sda2");
  EXPECT_TRUE(fermetures.empty());
  LockManager::unlockLogicalPath("/dev/sda2");
  EXPECT_EQ(fermetures, (std::vector<int>{premier.fd}));
  EXPECT_EQ(LockManager::findLogicalPath("/dev/sdc"), 0u);
  LockManager::unlockLogicalPath("/dev/sda2");  // no entry: nothing
  LockManager::unlockLogicalIndex(5);
  LockManager::unlockLogical(seul.fd);
  EXPECT_EQ(types, (std::vector<short>{F_WRLCK, F_RDLCK, F_UNLCK, F_UNLCK}));

  // The storage model's path locks are these logical locks.
  montes("/dev/sda1 / ext4 rw 0 0\n");
  EXPECT_EQ(verrouillerCheminSupport("/dev/sda2"), nullptr);
  EXPECT_STREQ(verrouillerCheminSupport("/dev/sda1"), MESSAGE_SUPPORT_MONTE);
  deverrouillerCheminSupport("/dev/sda2");
}

// Physical locks on a descriptor the caller owns: counted, never closed.
class VerrouPhysique : public testing::Test {
 protected:
  void SetUp() override {
    remettreAZero();
    suivant.fcntl = nullptr;
    appelsSysteme.fcntl = fcntlEspion;
    appelsSysteme.ioctl = [](int, unsigned long, void*) { return 0; };
    appelsSysteme.fsync = [](int) { return 0; };
  }
  void TearDown() override { EXPECT_EQ(LockManager::physicalLocks().count(), 0u); }
  Remplacement<T_AppelsSysteme> seam_{appelsSysteme};
};

TEST_F(VerrouPhysique, CompteEtDernierDeverrouillage) {
  EXPECT_EQ(LockManager::lockPhysical(7, false), nullptr);
  EXPECT_EQ(LockManager::lockPhysical(7, true), nullptr);  // a read under a write: counted
  EXPECT_EQ(LockManager::lockPhysical(7, false), nullptr);
  EXPECT_EQ(LockManager::physicalLocks()[LockManager::findPhysical(7)].count, 3);
  LockManager::unlockPhysical(7);
  LockManager::unlockPhysical(7);
  EXPECT_EQ(types, (std::vector<short>{F_WRLCK}));
  LockManager::unlockPhysical(7);
  LockManager::unlockPhysical(7);
  EXPECT_EQ(types, (std::vector<short>{F_WRLCK, F_UNLCK}));
}

TEST_F(VerrouPhysique, MonteeEnEcritureRefusEtDescripteurNegatif) {
  EXPECT_EQ(LockManager::lockPhysical(-1, false), nullptr);  // no effect
  erreurFcntl = EACCES;
  EXPECT_STREQ(LockManager::lockPhysical(5, false), MESSAGE_ECHEC_VERROU);
  EXPECT_EQ(LockManager::physicalLocks().count(), 0u);

  erreurFcntl = 0;
  EXPECT_EQ(LockManager::lockPhysical(4, true), nullptr);
  erreurFcntl = EAGAIN;
  EXPECT_STREQ(LockManager::lockPhysical(4, false), MESSAGE_ECHEC_VERROU);  // upgrade refused
  EXPECT_EQ(LockManager::physicalLocks()[0].count, 1);
  erreurFcntl = 0;
  EXPECT_EQ(LockManager::lockPhysical(4, false), nullptr);  // taken again as a write lock
  ASSERT_EQ(LockManager::physicalLocks().count(), 1u);
  EXPECT_FALSE(LockManager::physicalLocks()[0].readOnly);
  LockManager::unlockPhysical(4);
  LockManager::unlockPhysical(4);
  EXPECT_EQ(types, (std::vector<short>{F_WRLCK, F_RDLCK, F_WRLCK, F_WRLCK, F_UNLCK}));
}

}  // namespace

namespace {

// The lock tables' arrays come whole from the library: these members link
// only because the layer instantiates them.
template <typename T>
void exercerTableau(T a, T b) {
  BasicArray<T, const T> t;
  t.fill(a, 2, 0);
  t.insert(b, 1);
  t.set(a, 3);
  BasicArray<T, const T> u(t);
  u.moveTo(0, t, 4, 1);
  u.appendRange(t, 1, 2);
  u.moveOneWithin(0, 2);
  u.remove(0);
  t = u;
  ASSERT_EQ(t.count(), 4u);
  EXPECT_EQ(t[0].fd * 1000 + t[1].fd * 100 + t[2].fd * 10 + t[3].fd,
            b.fd * 1010 + a.fd * 101);  // [b, a, b, a]
}

TEST(TableauxDeVerrous, MembresDeLaBibliotheque) {
  exercerTableau(LockManager::T_LogicalLock{1, 3, false, false, nullptr},
                 LockManager::T_LogicalLock{1, 4, false, true, nullptr});
  exercerTableau(LockManager::T_PhysicalLock{1, false, false, 3},
                 LockManager::T_PhysicalLock{2, false, true, 4});
}

}  // namespace
