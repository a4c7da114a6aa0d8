// The Windows side of the partitions on the simulated machine: the one drive
// path, the paths locked by volume or logical lock with a refusal leaving
// none held, and the extended main partition refused before XP.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/format.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/transferts.h"
#include "sim/machine_windows.h"
#include "storage/disque.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "support/enfant.h"

namespace {

T_InfoPartition entree(uint64_t premier, uint64_t nombre, uint8_t type) {
  T_InfoPartition e;
  memset(&e, 0, sizeof e);
  e.numeroPrincipal = 1;
  e.typePartition = type;
  e.premierSecteur.ecrire(premier);
  e.nombreSecteurs.ecrire(nombre);
  return e;
}

class SupportsWindows : public testing::Test {
 protected:
  void SetUp() override {
    oublierNombreDisques();
    initialiserTransferts();
    Disque::libererCacheGeometrie();
  }
  void TearDown() override {
    SupportBlocManager::releaseAll();
    Disque::libererCacheGeometrie();
    oublierNombreDisques();
  }
  // Disk 0 of an 8 MiB drive with volume E over its first MiB, on that
  // version of Windows.
  Disque* disque(MachineTemporaire& m, const std::string& version) {
    m.image("d.img", 8 << 20);
    m.machine("windows " + version + "\ndrive 0 d.img\nvolume E 0 1M 1M\n");
    if (!m.installer()) {
      ADD_FAILURE() << m.erreur();
      return nullptr;
    }
    oublierNombreDisques();
    return Disque::creer(0);
  }
};

TEST_F(SupportsWindows, UnSeulCheminDeLecteur) {
  const char* const VOLUME = "\\\\?\\Volume{6c656e73-0000-0000-0000-000000000800}\\";
  const struct {
    const char* nom;
    uint8_t type;
    std::vector<std::pair<const char*, bool>> chemins;
    const char* attendu;
  } cas[] = {
      {"lettre et volume", 0x07, {{"E:", true}, {VOLUME, true}}, "E:"},
      {"volume puis lettre", 0x07, {{VOLUME, true}, {"F:", true}}, "F:"},
      {"deux lettres", 0x07, {{"E:", true}, {"F:", true}}, nullptr},
      {"un chemin hors peripherique", 0x07, {{"E:", true}, {"C:\\mnt\\x\\", false}}, nullptr},
      {"volume seul", 0x07, {{VOLUME, true}}, nullptr},
      {"aucun chemin", 0x07, {}, nullptr},
      {"etendue", 0x05, {{"E:", true}}, nullptr},
  };
  MachineTemporaire m;
  Disque* d = disque(m, "xp");
  ASSERT_NE(d, nullptr);
  int numero = 1;
  for (const auto& c : cas) {
    Partition_MBR* p = Partition_MBR::creer(d, numero++, entree(2048, 2048, c.type), nullptr);
    ASSERT_NE(p, nullptr);
    for (const auto& chemin : c.chemins) p->ajouterChemin(chemin.first, chemin.second);
    const char* trouve = p->cheminLecteur();
    EXPECT_STREQ(trouve, c.attendu) << c.nom;
    p->liberer(0);
  }
  d->liberer(0);
}

// A drive path then a volume that cannot be opened: the volume lock of E is
// given back and the logical lock's text is the answer.
TEST_F(SupportsWindows, RefusDuVerrouLogiqueRendLeVolume) {
  MachineTemporaire m;
  Disque* d = disque(m, "xp");
  ASSERT_NE(d, nullptr);
  Partition_MBR* p = Partition_MBR::creer(d, 1, entree(2048, 2048, 0x07), nullptr);
  ASSERT_NE(p, nullptr);
  p->ajouterChemin("E:", true);
  p->ajouterChemin("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}", true);
  EXPECT_EQ(p->ouvrir(), MESSAGE_LECTURE_IMPOSSIBLE);
  EXPECT_EQ(LockManager::volumeLocks().count(), 0u);
  EXPECT_EQ(LockManager::logicalLocks().count(), 0u);
  EXPECT_EQ(m.lire("volumes.log"), "lock \\\\.\\E:\ndismount \\\\.\\E:\nunlock \\\\.\\E:\n");
  p->liberer(0);
  d->liberer(0);
}

// An extended main partition: refused before XP, with nothing locked nor
// unlocked; from XP its paths are locked and given back. A child per
// version: the version is asked once per run.
std::string etenduePrincipale(const char* version) {
  ResultatEnfant r = executerEnfant([version] {
    MachineTemporaire m;
    m.image("d.img", 8 << 20);
    m.machine(std::string("windows ") + version + "\ndrive 0 d.img\nvolume E 0 1M 1M\n");
    if (!m.installer()) return;
    initialiserTransferts();
    oublierNombreDisques();
    Disque* d = Disque::creer(0);
    if (!d) return;
    Partition_MBR* etendue = Partition_MBR::creer(d, 1, entree(2048, 4096, 0x05), nullptr);
    etendue->ajouterChemin("E:", false);
    const char* refus = etendue->ouvrir();
    afficherMessage("%s|%u|", refus ? refus : "opened",
                    static_cast<unsigned>(LockManager::volumeLocks().count()));
    etendue->fermer();
    afficherMessage("%u|%s", static_cast<unsigned>(LockManager::volumeLocks().count()),
                    m.lire("volumes.log").c_str());
    etendue->liberer(0);
    d->liberer(0);
    SupportBlocManager::releaseAll();
  });
  EXPECT_EQ(r.statut, 0) << r.sortie;
  return r.sortie;
}

TEST(SupportsWindowsVersions, EtenduePrincipaleAvantXP) {
  EXPECT_EQ(etenduePrincipale("2000"),
            "Program cannot access main partition of extended type.|0|0|");
  EXPECT_EQ(etenduePrincipale("xp"),
            "opened|1|0|lock \\\\.\\E:\ndismount \\\\.\\E:\nunlock \\\\.\\E:\n");
}

}  // namespace
