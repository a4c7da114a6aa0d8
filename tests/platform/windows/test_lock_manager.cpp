// The Windows LockManager on the simulated machine (NT family): counted
// volume locks by letter, the retry of a volume locked before in the run,
// read-only volumes, path locks, physical locks that NT does not take, and
// the release of every lock by the exit functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/erreurs.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/lock_manager.h"
#include "sim/machine_windows.h"
#include "storage/plateforme.h"
#include "support/enfant.h"

namespace {

const char* const VOLUME_D = "\\\\?\\Volume{6c656e73-0000-0000-0000-00000000a000}";

class VerrousWindows : public testing::Test {
 protected:
  void SetUp() override {
    m_.image("d.img", 64 << 20);
    m_.machine("drive 0 d.img\n");
    m_.machine("volume C 0 1M 16M\nvolume - 0 20M 8M\n");
  }
  void TearDown() override { LockManager::libererTout(); }
  bool installer(const std::string& lignes = "") {
    m_.machine(lignes);
    return m_.installer();
  }
  std::string journal() const { return m_.lire("volumes.log"); }

  MachineTemporaire m_;
};

TEST_F(VerrousWindows, LettreVerrouilleeDeuxFois) {
  ASSERT_TRUE(installer()) << m_.erreur();
  T_AccesDisque a, b;
  bool f32, lectureSeule;
  ASSERT_EQ(LockManager::lockVolume('C', &a, &f32, &lectureSeule), nullptr);
  EXPECT_EQ(a.lecteur, static_cast<uint64_t>('C'));
  EXPECT_NE(a.handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(f32);
  EXPECT_FALSE(lectureSeule);
  ASSERT_EQ(LockManager::lockVolume('C', &b, &f32, &lectureSeule), nullptr);
  EXPECT_EQ(b.handle, a.handle);
  ASSERT_EQ(LockManager::volumeLocks().count(), 1u);
  EXPECT_EQ(LockManager::volumeLocks()[0].count, 2u);
  T_AccesDisque emprunt;
  LockManager::handleOfVolumeLetter(&emprunt, 'C');
  EXPECT_EQ(emprunt.handle, a.handle);
  EXPECT_EQ(LockManager::findVolume(&a), 0u);
  LockManager::unlockVolumeLetter('C');
  EXPECT_EQ(journal(), "lock \\\\.\\C:\n");
  LockManager::unlockVolume(&a);
  EXPECT_EQ(journal(), "lock \\\\.\\C:\ndismount \\\\.\\C:\nunlock \\\\.\\C:\n");
  EXPECT_EQ(LockManager::volumeLocks().count(), 0u);
  LockManager::unlockVolumeLetter('C');
  LockManager::handleOfVolumeLetter(&emprunt, 'C');
  EXPECT_EQ(emprunt.lecteur, 0u);
  EXPECT_EQ(emprunt.handle, INVALID_HANDLE_VALUE);
}

TEST_F(VerrousWindows, RefusEtNouvelEssai) {
  // One letter a case: the letters locked before are those of the whole run.
  const struct {
    const char* nom;
    char lettre;
    const char* lignes;
    bool deuxiemeTour;  // lock, unlock, then lock again
    bool pris;
    DWORD erreur;
    const char* journal;
  } cas[] = {
      {"occupe", 'E', "busy", false, false, ERROR_ACCESS_DENIED, ""},
      {"premier refus: pas de nouvel essai", 'F',
       "\nfail FSCTL_LOCK_VOLUME \\\\.\\F: ERROR_SHARING_VIOLATION count=1", false, false,
       ERROR_SHARING_VIOLATION, ""},
      {"deja verrouille: 3 s puis refuse", 'G',
       "\nfail FSCTL_LOCK_VOLUME \\\\.\\G: ERROR_ACCESS_DENIED after=1 count=2", true, false,
       ERROR_ACCESS_DENIED, "lock \\\\.\\G:\ndismount \\\\.\\G:\nunlock \\\\.\\G:\nsleep 3000\n"},
      {"deja verrouille: 3 s puis pris", 'H',
       "\nfail FSCTL_LOCK_VOLUME \\\\.\\H: ERROR_ACCESS_DENIED after=1 count=1", true, true, 0,
       "lock \\\\.\\H:\ndismount \\\\.\\H:\nunlock \\\\.\\H:\nsleep 3000\nlock \\\\.\\H:\n"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    MachineTemporaire m;
    m.image("d.img", 64 << 20);
    m.machine(std::string("drive 0 d.img\nvolume ") + c.lettre + " 0 1M 16M " + c.lignes + "\n");
    ASSERT_TRUE(m.installer()) << m.erreur();
    char lettre = c.lettre;
    T_AccesDisque cle;
    bool f32, lectureSeule;
    if (c.deuxiemeTour) {
      ASSERT_EQ(LockManager::lockVolume(lettre, &cle, &f32, &lectureSeule), nullptr);
      LockManager::unlockVolumeLetter(lettre);
    }
    const char* r = LockManager::lockVolume(lettre, &cle, &f32, &lectureSeule);
    DWORD erreur = appelsWindows.GetLastError();
    if (c.pris) {
      EXPECT_EQ(r, nullptr);
    } else {
      EXPECT_EQ(r, MESSAGE_ECHEC_VERROU);
      EXPECT_EQ(cle.handle, INVALID_HANDLE_VALUE);
      EXPECT_EQ(erreur, c.erreur);
    }
    EXPECT_EQ(LockManager::volumeLocks().count(), c.pris ? 1u : 0u);
    EXPECT_EQ(m.lire("volumes.log"), c.journal);
    LockManager::libererTout();
  }
}

TEST_F(VerrousWindows, OuvertureImpossibleOuLectureSeule) {
  ASSERT_TRUE(installer("volume R 0 40M 8M ro\nfail CreateFileA \\\\.\\Q: ERROR_NOT_READY\n"))
      << m_.erreur();
  T_AccesDisque cle;
  bool f32, lectureSeule;
  EXPECT_EQ(LockManager::lockVolume('Z', &cle, &f32, &lectureSeule), MESSAGE_LECTURE_IMPOSSIBLE);
  EXPECT_EQ(cle.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(LockManager::lockVolume('R', &cle, &f32, &lectureSeule), nullptr);
  EXPECT_TRUE(lectureSeule);
  EXPECT_TRUE(LockManager::volumeLocks()[0].readOnly);
  EXPECT_EQ(LockManager::volumeLocks().count(), 1u);
}

TEST_F(VerrousWindows, CheminsDeVolumes) {
  ASSERT_TRUE(installer("fail FSCTL_LOCK_VOLUME \\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1 "
                        "ERROR_ACCESS_DENIED\n"))
      << m_.erreur();
  HANDLE h, h2;
  bool lectureSeule;
  ASSERT_EQ(LockManager::lockLogical(VOLUME_D, &h, &lectureSeule), nullptr);
  ASSERT_EQ(LockManager::lockLogical(VOLUME_D, &h2, &lectureSeule), nullptr);
  EXPECT_EQ(h, h2);
  EXPECT_EQ(LockManager::fdOfLogicalPath(VOLUME_D), h);
  EXPECT_EQ(LockManager::fdOfLogicalPath("\\\\?\\Volume{x}"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(LockManager::lockLogical("\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition1", &h2,
                                     &lectureSeule),
            MESSAGE_ECHEC_VERROU);
  EXPECT_EQ(LockManager::lockLogical("\\\\?\\Volume{absent}", &h2, &lectureSeule),
            MESSAGE_LECTURE_IMPOSSIBLE);
  // The storage model's path locks: drive paths go to the volume locks.
  EXPECT_EQ(verrouillerCheminSupport("C:"), nullptr);
  EXPECT_EQ(LockManager::findVolumeLetter('C'), 0u);
  deverrouillerCheminSupport("C:");
  LockManager::unlockLogicalPath(VOLUME_D);
  EXPECT_EQ(LockManager::logicalLocks().count(), 1u);
  deverrouillerCheminSupport(VOLUME_D);
  EXPECT_EQ(LockManager::logicalLocks().count(), 0u);
  std::string d(VOLUME_D);
  EXPECT_EQ(journal(), "lock " + d + "\nlock \\\\.\\C:\ndismount \\\\.\\C:\nunlock \\\\.\\C:\n" +
                           "dismount " + d + "\nunlock " + d + "\n");
}

TEST_F(VerrousWindows, VerrouPhysiqueSansEffetSurNT) {
  ASSERT_TRUE(installer()) << m_.erreur();
  T_AccesDisque disque = {0, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1234))};
  EXPECT_EQ(LockManager::lockPhysical(&disque, false), nullptr);
  EXPECT_EQ(LockManager::physicalLocks().count(), 0u);
  LockManager::unlockPhysical(&disque);
  EXPECT_TRUE(LockManager::cleValide(&disque));
  T_AccesDisque invalide = {'C', INVALID_HANDLE_VALUE};
  EXPECT_FALSE(LockManager::cleValide(&invalide));
}

// Locks still held when the program ends, normally or by the fatal path,
// are released by the exit functions. The child replays the preparation of
// a folder whose name does not change, so the parent reads its log.
std::string dossierSortie(const char* nom) {
  char t[MAX_PATH + 1];
  GetTempPathA(sizeof t, t);
  std::string d = std::string(t) + "lens_verrous_" + nom;
  CreateDirectoryA(d.c_str(), nullptr);
  std::ofstream(d + "\\machine", std::ios::trunc)
      << "drive 0 d.img\nvolume C 0 1M 16M\nvolume D 0 20M 8M\n";
  std::ofstream(d + "\\d.img", std::ios::trunc | std::ios::binary).close();
  std::filesystem::resize_file(d + "\\d.img", 64 << 20);
  return d;
}

std::string lireJournal(const std::string& dossier) {
  std::ifstream f(dossier + "\\volumes.log", std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(VerrousWindowsSortie, LiberesParLesFonctionsDeSortie) {
  for (bool fatale : {false, true}) {
    std::string dossier = dossierSortie(fatale ? "fatale" : "normale");
    DeleteFileA((dossier + "\\volumes.log").c_str());
    ResultatEnfant r = executerEnfant(
        [dossier, fatale] {
          installerTraitementErreurs();
          std::string erreur;
          if (!installerMachine(dossier, &erreur)) return;
          T_AccesDisque cle;
          bool f32, lectureSeule;
          LockManager::lockVolume('C', &cle, &f32, &lectureSeule);
          LockManager::lockVolume('C', &cle, &f32, &lectureSeule);
          verrouillerCheminSupport("D:");
          if (fatale) erreurFatale("stop", 0, 1);
        },
        "\n\n");
    EXPECT_EQ(r.statut, fatale ? 1 : 0);
    EXPECT_EQ(lireJournal(dossier),
              "lock \\\\.\\C:\nlock \\\\.\\D:\ndismount \\\\.\\D:\nunlock \\\\.\\D:\n"
              "dismount \\\\.\\C:\nunlock \\\\.\\C:\n")
        << fatale;
    std::error_code code;
    std::filesystem::remove_all(dossier, code);
  }
}

}  // namespace
