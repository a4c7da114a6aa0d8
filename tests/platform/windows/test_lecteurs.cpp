// Drive letters and the mapping of a disk's partitions to the volumes of the
// simulated machine: MBR disks with logical partitions and GPT disks, the
// order of preference of the paths, volumes that lie about their disk, and
// positions that are not whole sectors.
#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/options.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/lecteurs.h"
#include "sim/machine_windows.h"
#include "storage/disque.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "support/enfant.h"
#include "support/geometrie_disque.h"

namespace {

TEST(LettresLecteurs, Lettres) {
  EXPECT_EQ(nombreLettresLecteurs(), 32u);
  EXPECT_EQ(lettreLecteur(0), 'A');
  EXPECT_EQ(lettreLecteur(26), '[');
  EXPECT_EQ(lettreLecteur(31), '`');
  EXPECT_EQ(lettreLecteur(32), 0);
}

TEST(LettresLecteurs, VerifierLettre) {
  MachineTemporaire m;
  m.image("d.img", 64 << 20);
  m.machine("drive 0 d.img\nvolume C 0 1M 16M\nvolume E 0 20M 8M type=cdrom\n"
            "volume F 0 30M 8M type=removable\nvolume N 0 40M 8M type=remote\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  const struct {
    char lettre;
    bool accepte, amovible;
    int erreur;  // -1: not looked at
  } cas[] = {
      {'c', true, false, 0}, {'C', true, false, 0}, {'e', true, true, -1}, {'F', true, true, 0},
      {'N', true, false, 0}, {'G', false, false, ENOENT}, {'{', false, false, -1},
      {'@', false, false, -1}, {'[', false, false, ENOENT},
  };
  for (const auto& c : cas) {
    bool amovible = !c.amovible;
    errno = 12345;
    EXPECT_EQ(verifierLettreLecteur(c.lettre, &amovible), c.accepte) << c.lettre;
    if (c.accepte) {
      EXPECT_EQ(amovible, c.amovible) << c.lettre;
    }
    if (c.erreur >= 0) {
      EXPECT_EQ(errno, c.erreur) << c.lettre;
    }
  }
  EXPECT_TRUE(estLecteurCDROM('e'));
  EXPECT_FALSE(estLecteurCDROM('C'));
  EXPECT_FALSE(estLecteurCDROM('u' + 10));
  EXPECT_FALSE(estLettreRemappee('C'));
  EXPECT_EQ(appelsWindows.GetLogicalDrives(), (1u << 2) | (1u << 4) | (1u << 5) | (1u << 13));
}


T_InfoPartition info(uint64_t premier, uint64_t nombre, uint8_t principal, uint8_t dansEtendue,
                     uint8_t type) {
  T_InfoPartition e;
  memset(&e, 0, sizeof e);
  e.numeroPrincipal = principal;
  e.numeroEtendue = dansEtendue;
  e.typePartition = type;
  e.premierSecteur.ecrire(premier);
  e.nombreSecteurs.ecrire(nombre);
  return e;
}

struct Fenetre {
  uint64_t premier, nombre;
  uint8_t principal, dansEtendue;
};

// The paths each partition of disk `numero` receives, one line per
// partition ("-" for none), then "disk:" and the disk's own paths.
std::string correspondances(const std::string& lignes, unsigned numero,
                            const std::vector<Fenetre>& fenetres, bool gpt, uint16_t taille = 512) {
  MachineTemporaire m;
  m.image("d0.img", 256 << 20);
  m.image("d1.img", 256 << 20);
  m.machine("drive 0 d0.img\ndrive 1 d1.img\ndrive 2 d1.img ssz=4096\n" + lignes);
  if (!m.installer()) return "machine: " + m.erreur();
  OptionsTablens* options = new OptionsTablens(false, false, 0, 0, 0, 0, 0);
  Disque* d = new Disque(static_cast<uint8_t>(numero), geometrieDe(1 << 19, taille));
  T_ListePartitions liste;
  Partition* etendue = nullptr;
  int n = 1;
  for (const Fenetre& f : fenetres) {
    bool estEtendue = !gpt && f.principal == 2 && f.dansEtendue == 0;
    T_InfoPartition e =
        info(f.premier, f.nombre, f.principal, f.dansEtendue, gpt ? 0 : estEtendue ? 0x0F : 0x07);
    Partition* p;
    if (gpt) {
      uint8_t guid[16] = {};
      p = Partition_GPT::creer(d, n++, e, 0, guid, guid);
    } else {
      p = Partition_MBR::creer(d, n++, e, f.dansEtendue ? etendue : nullptr);
      if (estEtendue) etendue = p;
    }
    liste.add(p);
  }
  construireCorrespondances(d, fenetres.empty() ? nullptr : &liste);
  std::string r;
  auto chemins = [&r](const Support_Bloc* s) {
    std::string l;
    for (size_t i = 0; i < s->chemins().count(); ++i) {
      // The disk's own device name is not the mapping's.
      if (std::string(s->chemins()[i]).rfind("\\\\.\\PHYSICALDRIVE", 0) == 0) continue;
      l += std::string(l.empty() ? "" : " ") + s->chemins()[i];
      if (!s->cheminsPeripherique()[i]) l += "(not a device)";
    }
    r += (l.empty() ? "-" : l) + "\n";
  };
  for (size_t i = 0; i < liste.count(); ++i)
    if (liste[i]->estEtendue() == false) chemins(liste[i]);
  if (fenetres.empty()) {
    r += "disk: ";
    chemins(d);
  }
  for (size_t i = 0; i < liste.count(); ++i) liste[i]->liberer(REFERENCE_UTILISATION);
  SupportBlocManager::releaseAll();
  delete options;
  return r;
}

// 1 MiB = 2048 sectors of 512 bytes.
const std::vector<Fenetre> mbrLogiques = {
    {2048, 32768, 1, 0},     // C:, 1 MiB, 16 MiB
    {36864, 131072, 2, 0},   // extended, 18 MiB to 82 MiB
    {38912, 32768, 2, 1},    // logical, 19 MiB
    {73728, 16384, 2, 2},    // logical, 36 MiB
    {204800, 16384, 3, 0},   // 100 MiB
};

TEST(Correspondances, DisqueMBRAvecPartitionsLogiques) {
  std::string lignes =
      "volume C 0 1M 16M mount=C:\\mnt\\data\\\n"
      "volume L 0 19M 16M target=partition partition=5\n"
      "volume - 0 36M 8M name=\\\\?\\Volume{11111111-2222-3333-4444-555555555555}\\\n"
      "volume - 0 100M 8M partition=3\n"
      "volume M 1 19M 16M\n";  // another disk, same place
  EXPECT_EQ(correspondances(lignes, 0, mbrLogiques, false),
            "C:\nL:\n\\\\?\\Volume{11111111-2222-3333-4444-555555555555}\n"
            "\\\\?\\Volume{6c656e73-0000-0000-0000-000000032000}\n");
}

TEST(Correspondances, DisqueGPT) {
  const std::vector<Fenetre> gpt = {{2048, 204800, 1, 0}, {206848, 65536, 2, 0},
                                    {272384, 32768, 3, 0}};
  std::string lignes =
      "volume G 1 1M 100M fs=FAT32\n"
      "volume - 1 101M 32M\n"
      "volume H 1 133M 16M\n"
      "volume J 0 1M 100M\n";
  EXPECT_EQ(correspondances(lignes, 1, gpt, true),
            "G:\n\\\\?\\Volume{6c656e73-0001-0000-0000-000000032800}\nH:\n");
}

// Before Windows 2000 there is no volume enumeration: the partition device
// path is the last resort.
TEST(Correspondances, CheminDePeripheriqueAvant2000) {
  ResultatEnfant r = executerEnfant([] {
    std::string lignes =
        "windows nt4\nvolume C 0 1M 16M\nvolume - 0 19M 16M\nvolume - 0 36M 8M partition=9\n";
    printf("%s", correspondances(lignes, 0, mbrLogiques, false).c_str());
  });
  EXPECT_EQ(r.sortie,
            "C:\n\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition2\n"
            "\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition9\n-\n");
}

TEST(Correspondances, LeDisqueDesCiblesEtDesVolumes) {
  // D names disk 1 in its target: disk 1's, whatever its volume says (its
  // volume name, enumerated, goes where the volume says). E is a
  // HarddiskVolume target: the disk its volume reports. K, a CD-ROM device
  // numbered 0, is on no disk.
  std::string lignes =
      "volume D 1 1M 16M target=partition partition=1 number=0\n"
      "volume E 1 19M 16M number=0\n"
      "volume K 0 36M 8M type=cdrom\n";
  EXPECT_EQ(correspondances(lignes, 0, mbrLogiques, false),
            "\\\\?\\Volume{6c656e73-0001-0000-0000-000000000800}\nE:\n-\n-\n");
  EXPECT_EQ(correspondances(lignes, 1, mbrLogiques, false), "D:\n-\n-\n-\n");
}

TEST(Correspondances, PositionsHorsSecteursEntiers) {
  std::string lignes = "volume K 2 4M 1001K\nvolume - 2 8M 8M\n";
  // 4096-byte sectors: 4 MiB is sector 1024, 1001 KiB is not whole sectors.
  const std::vector<Fenetre> f = {{1024, 250, 1, 0}, {2048, 2048, 3, 0}};
  EXPECT_EQ(correspondances(lignes, 2, f, false, 4096),
            "-\n\\\\?\\Volume{6c656e73-0002-0000-0000-000000004000}\n");
  EXPECT_EQ(correspondances(lignes, 2, {}, false, 4096),
            "disk: K: \\\\?\\Volume{6c656e73-0002-0000-0000-000000004000} "
            "\\\\?\\GLOBALROOT\\Device\\Harddisk2\\Partition1\n");
}

TEST(Correspondances, RienSansOptionsNiListe) {
  MachineTemporaire m;
  m.image("d0.img", 64 << 20);
  m.machine("drive 0 d0.img\nvolume C 0 1M 16M\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  Disque* d = new Disque(0, geometrieDe(1 << 17, 512));
  T_ListePartitions vide;
  size_t propres = d->chemins().count();  // its device name, when it has one
  construireCorrespondances(d, nullptr);
  EXPECT_EQ(d->chemins().count(), propres);
  OptionsTablens* options = new OptionsTablens(false, false, 0, 0, 0, 0, 0);
  construireCorrespondances(d, &vide);
  EXPECT_EQ(d->chemins().count(), propres);
  construireCorrespondances(d, nullptr);
  EXPECT_EQ(d->chemins().count(), propres + 1);
  d->liberer(0);
  SupportBlocManager::releaseAll();
  delete options;
}

// A volume with more mount paths than the first buffer holds, its letter's
// root last: the list is asked again at the size the system gave, and the
// root ("K:\\") matches the drive path the disk already has ("K:"), so the
// volume name is not attached as well (its partition device path is: the
// position, not whole sectors, was never recorded).
TEST(Correspondances, ListeDePointsDeMontageAgrandie) {
  std::string longs;
  for (int i = 0; i < 40; ++i) longs += " mount=D:\\points\\de\\montage\\numero" + std::to_string(i) + "\\";
  EXPECT_EQ(correspondances("volume K 2 4M 1001K" + longs + "\n", 2, {}, false, 4096),
            "disk: K: \\\\?\\GLOBALROOT\\Device\\Harddisk2\\Partition1\n");
}

#ifndef _WIN64
// The i686 build takes the volume functions from kernel32 at run time: a
// missing one skips what it serves (the enumeration, or the mount-path
// check, so the volume name is attached beside the drive path).
TEST(Correspondances, PointsEntreeAbsentsSurI686) {
  const struct {
    const char* absent;
    const char* attendu;
  } cas[] = {
      {"FindNextVolumeA",
       "disk: K: \\\\?\\GLOBALROOT\\Device\\Harddisk2\\Partition1\n"},
      {"GetVolumePathNamesForVolumeNameA",
       "disk: K: \\\\?\\Volume{6c656e73-0002-0000-0000-000000002000} "
       "\\\\?\\GLOBALROOT\\Device\\Harddisk2\\Partition1\n"},
  };
  for (const auto& c : cas) {
    std::string lignes = std::string("windows xp\nmissing ") + c.absent + "\nvolume K 2 4M 1001K\n";
    ResultatEnfant r = executerEnfant([lignes] {
      printf("%s", correspondances(lignes, 2, {}, false, 4096).c_str());
    });
    EXPECT_EQ(r.sortie, c.attendu) << c.absent;
  }
}
#endif

}  // namespace
