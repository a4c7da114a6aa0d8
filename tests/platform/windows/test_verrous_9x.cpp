// The 9x road of the locks, drive letters and the open-file list, through
// the DOS calls of the simulated VWIN32 device (wine has no 9x family of
// its own).
#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <string>

#include "core/format.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/erreurs_systeme.h"
#include "platform/windows/lecteurs.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/vwin32.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"

namespace {

// Runs the body on a Windows 98 machine with drive 0 and two volumes (D
// busy), in a child; its output and status.
ResultatEnfant sur98(const std::string& lignes, void (*corps)()) {
  return executerEnfant([lignes, corps] {
    MachineTemporaire m;
    m.image("d.img", 64 << 20);
    m.machine("windows 98\ndrive 0 d.img\nvolume C 0 1M 16M\nvolume D 0 20M 8M busy\n" + lignes);
    if (!m.installer()) {
      afficherMessage("machine: %s\n", m.erreur().c_str());
      return;
    }
    ouvrirVwin32();
    corps();
    afficherMessage("[%s]", m.lire("volumes.log").c_str());
  });
}

TEST(Verrous9x, LettresVerrouilleesParLesAppelsDOS) {
  ResultatEnfant r = sur98("", [] {
    T_AccesDisque cle;
    bool f32, lectureSeule;
    const char* a = LockManager::lockVolume('C', &cle, &f32, &lectureSeule);
    const char* b = LockManager::lockVolume('C', &cle, &f32, &lectureSeule);
    afficherMessage("%d %d %x %d %d %u\n", a == nullptr, b == nullptr,
                    static_cast<unsigned>(cle.lecteur), cle.handle == INVALID_HANDLE_VALUE, f32,
                    static_cast<unsigned>(LockManager::volumeLocks()[0].count));
    LockManager::unlockVolumeLetter('C');
    LockManager::unlockVolumeLetter('C');
    const char* d = LockManager::lockVolume('D', &cle, &f32, &lectureSeule);
    memoriserErreurDOS();
    afficherMessage("%d %u %u\n", d == MESSAGE_ECHEC_VERROU, static_cast<unsigned>(erreurSysteme()),
                    static_cast<unsigned>(LockManager::volumeLocks().count()));
    afficherErreurSysteme();
    afficherFichiersOuverts('D', d);
    afficherFichiersOuverts('C', d);
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie,
            "1 1 43 1 1 2\n"
            "1 5 0\n"
            "Error number: 5.\nError message: access denied.\n"
            "List of opened files:\nD:\\WIN386.SWP\n"
            "List of opened files:\n"
            "[lock C:\nlock C:\nunlock C:\nunlock C:\n]");
}

// The 08h form when the FAT32 one is refused; a refused second call gives
// the first lock back and leaves no entry.
TEST(Verrous9x, FormesDesAppelsDeVerrou) {
  ResultatEnfant r = sur98(
      "volume E 0 30M 8M\nfail INT21_440D_4A E 1 count=1\n"
      "volume F 0 40M 8M\nfail INT21_440D_4A F 5 after=1 count=1\n",
      [] {
        T_AccesDisque cle;
        bool f32 = true, lectureSeule;
        const char* e = LockManager::lockVolume('E', &cle, &f32, &lectureSeule);
        afficherMessage("%d %d %u\n", e == nullptr, f32,
                        static_cast<unsigned>(LockManager::volumeLocks().count()));
        const char* f = LockManager::lockVolume('F', &cle, &f32, &lectureSeule);
        memoriserErreurDOS();
        afficherMessage("%d %u %u\n", f == MESSAGE_ECHEC_VERROU, static_cast<unsigned>(erreurSysteme()),
                        static_cast<unsigned>(LockManager::volumeLocks().count()));
      });
  EXPECT_EQ(r.sortie, "1 0 1\n1 5 1\n[lock E:\nlock E:\nlock F:\nunlock F:\n]");
}

TEST(Verrous9x, VerrouPhysique) {
  ResultatEnfant r = sur98("drive 1 d.img busy\n", [] {
    T_AccesDisque disque = {0x80, INVALID_HANDLE_VALUE};
    T_AccesDisque occupe = {0x81, INVALID_HANDLE_VALUE};
    afficherMessage("%d ", LockManager::lockPhysical(&disque, true) == nullptr);
    afficherMessage("%d ", LockManager::lockPhysical(&disque, true) == nullptr);
    afficherMessage("%u ", static_cast<unsigned>(LockManager::physicalLocks()[0].count));
    afficherMessage("%d ", LockManager::lockPhysical(&occupe, false) == MESSAGE_ECHEC_VERROU);
    LockManager::unlockPhysical(&disque);
    LockManager::unlockPhysical(&disque);
    afficherMessage("%u\n", static_cast<unsigned>(LockManager::physicalLocks().count()));
  });
  EXPECT_EQ(r.sortie, "1 1 2 1 0\n[]");
}

TEST(Verrous9x, Lettres) {
  ResultatEnfant r = sur98("", [] {
    bool amovible = true;
    bool verifiee = verifierLettreLecteur('c', &amovible);
    afficherMessage("%d %d ", verifiee, amovible);
    afficherMessage("%d ", estLettreRemappee('C'));
    afficherMessage("%d\n", errno);
  });
  EXPECT_EQ(r.sortie, "1 0 0 19\n[]");
}

}  // namespace
