// tablens' names on Windows: a drive path takes a volume lock, any other
// name a logical lock; a refusal prints the message, the error report and,
// on the 9x family, the open files of that drive. In a child per machine:
// the family and version are asked once per run.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>

#include "core/format.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/vwin32.h"
#include "programs/tablens/verrous_noms.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"

namespace {

ResultatEnfant surMachine(const std::string& lignes, void (*corps)()) {
  return executerEnfant([lignes, corps] {
    MachineTemporaire m;
    m.image("d.img", 64 << 20);
    m.machine(lignes);
    if (!m.installer()) {
      afficherMessage("machine: %s\n", m.erreur().c_str());
      return;
    }
    ouvrirVwin32();
    corps();
    afficherMessage("[%s]", m.lire("volumes.log").c_str());
  });
}

// C: by its letter, a volume without a letter by its name; given back in
// the reverse order; busy E refused.
TEST(VerrousNomsWindows, LettreParVolumeNomParChemin) {
  ResultatEnfant r = surMachine(
      "windows xp\ndrive 0 d.img\nvolume C 0 1M 4M\nvolume E 0 5M 4M busy\nvolume - 0 10M 2M\n", [] {
        const char* const VOLUME = "\\\\?\\Volume{6c656e73-0000-0000-0000-000000005000}";
        bool lectureSeule = true;
        const char* c = verrouillerNom("C:", &lectureSeule);
        const char* v = verrouillerNom(VOLUME, &lectureSeule);
        afficherMessage("%d %d %d %u %u\n", c == nullptr, v == nullptr, lectureSeule,
                        static_cast<unsigned>(LockManager::volumeLocks().count()),
                        static_cast<unsigned>(LockManager::logicalLocks().count()));
        deverrouillerNom(VOLUME);
        deverrouillerNom("C:");
        afficherMessage("%u %u\n", static_cast<unsigned>(LockManager::volumeLocks().count()),
                        static_cast<unsigned>(LockManager::logicalLocks().count()));
        const char* e = verrouillerNom("E:", &lectureSeule);
        signalerRefusVerrou("E:", e);
      });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, std::string("1 1 0 1 1\n0 0\ncannot be locked: ") + MESSAGE_ECHEC_VERROU +
                          "\nError number: 5.\nError message: Access denied. \n"
                          "[lock \\\\.\\C:\n"
                          "lock \\\\?\\Volume{6c656e73-0000-0000-0000-000000005000}\n"
                          "dismount \\\\?\\Volume{6c656e73-0000-0000-0000-000000005000}\n"
                          "unlock \\\\?\\Volume{6c656e73-0000-0000-0000-000000005000}\n"
                          "dismount \\\\.\\C:\nunlock \\\\.\\C:\n]");
}

// The 9x road: the DOS lock refused, then the drive's open files.
TEST(VerrousNomsWindows, RefusSur9xAvecFichiersOuverts) {
  ResultatEnfant r = surMachine("windows 98\ndrive 0 d.img\nvolume D 0 20M 8M busy\n", [] {
    bool lectureSeule;
    const char* d = verrouillerNom("D:", &lectureSeule);
    signalerRefusVerrou("D:", d);
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, std::string("cannot be locked: ") + MESSAGE_ECHEC_VERROU +
                          "\nError number: 5.\nError message: access denied.\n"
                          "List of opened files:\nD:\\WIN386.SWP\n[]");
}

}  // namespace
#endif
