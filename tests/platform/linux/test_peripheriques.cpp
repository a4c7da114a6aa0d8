// Disk and device enumeration: the classification table row by row, the
// partition naming rule, and scans of simulated and of this real machine.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/peripheriques.h"
#include "sim/machine_linux.h"
#include "support/remplacement.h"

namespace {

const int K0 = PERIPHERIQUES_DISQUETTES, K1 = PERIPHERIQUES_DISQUES, K2 = PERIPHERIQUES_PARTITIONS;
const int DEV = 0, MAPPER = 6, MD = 7, SOUS = -1;

struct Cas {
  int genre;
  uint32_t majeur, mineur;
  int repertoire;
  const char* chemin;
  T_ClassePeripherique classe;
  uint32_t cle;
};

TEST(Classement, ChaqueLigneDeLaTable) {
  const T_ClassePeripherique A = CLASSE_AUCUNE, D = CLASSE_DISQUE, P = CLASSE_PARTITION,
                             C = CLASSE_CANDIDAT, N = CLASSE_NOMME;
  const Cas cas[] = {
      // IDE: hda, hdb, hdc... two disks a major.
      {K1, 3, 0, DEV, "/dev/hda", D, 0},
      {K1, 3, 64, DEV, "/dev/hdb", D, 1},
      {K1, 22, 0, DEV, "/dev/hdc", D, 2},
      {K1, 33, 64, DEV, "/dev/hdf", D, 5},
      {K1, 57, 0, DEV, "/dev/hdk", D, 10},
      {K1, 88, 0, DEV, "/dev/hdm", D, 12},
      {K1, 91, 64, DEV, "/dev/hdt", D, 19},
      {K1, 3, 1, DEV, "/dev/hda1", A, 0},
      {K1, 3, 128, DEV, "/dev/x", A, 0},
      {K2, 3, 1, DEV, "/dev/hda1", P, 0},
      {K2, 3, 0, DEV, "/dev/hda", C, 0},
      {K2, 3, 128, DEV, "/dev/x", A, 0},
      // SCSI: sixteen disks a major.
      {K1, 8, 0, DEV, "/dev/sda", D, 20},
      {K1, 8, 16, DEV, "/dev/sdb", D, 21},
      {K1, 8, 240, DEV, "/dev/sdp", D, 35},
      {K1, 65, 0, DEV, "/dev/sdq", D, 36},
      {K1, 71, 240, DEV, "/dev/sddx", D, 147},
      {K1, 128, 0, DEV, "/dev/sddy", D, 148},
      {K1, 135, 240, DEV, "/dev/sdiv", D, 275},
      {K1, 8, 5, DEV, "/dev/sda5", A, 0},
      {K2, 8, 5, DEV, "/dev/sda5", P, 0},
      {K2, 8, 16, DEV, "/dev/sdb", C, 0},
      {K2, 66, 0, SOUS, "/dev/x/y", C, 0},
      // Major 13.
      {K1, 13, 0, DEV, "/dev/xda", D, 276},
      {K1, 13, 64, DEV, "/dev/xdb", D, 277},
      {K1, 13, 32, DEV, "/dev/x", A, 0},
      {K2, 13, 1, DEV, "/dev/xda1", P, 0},
      {K2, 13, 0, DEV, "/dev/xda", A, 0},
      // Software RAID of major 9: partitions only.
      {K1, 9, 0, DEV, "/dev/md0", A, 0},
      {K2, 9, 0, DEV, "/dev/md0", P, 0},
      {K2, 9, 255, MD, "/dev/md/255", P, 0},
      {K2, 9, 256, DEV, "/dev/md256", A, 0},
      // An md name directly in /dev, whatever its major.
      {K1, 254, 0, DEV, "/dev/md_d0", D, 1030},
      {K1, 254, 64, DEV, "/dev/md_d1", D, 1031},
      {K1, 254, 16320, DEV, "/dev/md_d255", D, 1285},
      {K1, 254, 16384, DEV, "/dev/md_d256", A, 0},
      {K1, 254, 1, DEV, "/dev/md_d0p1", A, 0},
      {K2, 254, 1, DEV, "/dev/md_d0p1", P, 0},
      {K2, 254, 0, DEV, "/dev/md_d0", A, 0},
      {K1, 254, 0, SOUS, "/dev/md_d0", N, 0},   // not the /dev folder itself
      {K1, 254, 0, DEV, "/dev/xmd0", N, 0},
      {K1, 8, 0, DEV, "/dev/md_x", D, 20},      // the major rows come first
      // Controller families.
      {K1, 48, 0, SOUS, "/dev/rd/c0d0", D, 278},
      {K1, 48, 8, SOUS, "/dev/rd/c0d1", D, 279},
      {K1, 48, 64, SOUS, "/dev/rd/c0d8", D, 286},
      {K1, 49, 0, SOUS, "/dev/rd/c1d0", D, 286},
      {K1, 55, 248, SOUS, "/dev/rd/c7d31", D, 365},
      {K1, 48, 4, SOUS, "/dev/rd/c0d0p4", A, 0},
      {K2, 48, 4, SOUS, "/dev/rd/c0d0p4", P, 0},
      {K2, 48, 0, SOUS, "/dev/rd/c0d0", A, 0},
      {K1, 136, 0, SOUS, "/dev/x", D, 342},
      {K1, 143, 248, SOUS, "/dev/x", D, 429},
      {K2, 137, 3, SOUS, "/dev/x", P, 0},
      {K1, 104, 0, SOUS, "/dev/cciss/c0d0", D, 790},
      {K1, 111, 240, SOUS, "/dev/x", D, 917},
      {K1, 104, 8, SOUS, "/dev/x", A, 0},
      {K2, 104, 1, SOUS, "/dev/cciss/c0d0p1", P, 0},
      {K2, 104, 0, SOUS, "/dev/cciss/c0d0", A, 0},
      {K1, 114, 0, SOUS, "/dev/ataraid/d0", D, 918},
      {K1, 114, 240, SOUS, "/dev/x", D, 933},
      {K2, 114, 1, SOUS, "/dev/x", P, 0},
      {K1, 112, 0, SOUS, "/dev/iseries/vda", D, 934},
      {K1, 112, 248, SOUS, "/dev/x", D, 965},
      {K2, 112, 7, SOUS, "/dev/x", P, 0},
      {K1, 160, 0, SOUS, "/dev/sx8/0", D, 966},
      {K1, 161, 224, SOUS, "/dev/x", D, 1005},
      {K1, 160, 16, SOUS, "/dev/x", A, 0},
      {K2, 160, 31, SOUS, "/dev/x", P, 0},
      {K2, 160, 0, SOUS, "/dev/x", A, 0},
      // Device mapper: partition-like devices only.
      {K1, 253, 0, MAPPER, "/dev/mapper/vg-root", A, 0},
      {K2, 253, 0, MAPPER, "/dev/mapper/vg-root", P, 0},
      {K2, 7, 0, MAPPER, "/dev/mapper/loop", A, 0},
      {K2, 1, 0, MAPPER, "/dev/mapper/ram", A, 0},
      {K2, 253, 0, SOUS, "/dev/mapper/x/y", N, 0},
      // The /dev/md folder.
      {K1, 254, 0, MD, "/dev/md/d0", D, 1030},
      {K2, 254, 3, MD, "/dev/md/d0p3", P, 0},
      {K2, 254, 0, MD, "/dev/md/d0", A, 0},
      // Majors never listed, and the named devices.
      {K1, 1, 0, DEV, "/dev/ram0", A, 0},
      {K1, 7, 0, DEV, "/dev/loop0", A, 0},
      {K2, 11, 0, DEV, "/dev/sr0", A, 0},
      {K2, 43, 0, DEV, "/dev/nbd0", A, 0},
      {K1, 2, 0, DEV, "/dev/fd0", A, 0},
      {K1, 259, 0, DEV, "/dev/nvme0n1", N, 0},
      {K2, 259, 1, DEV, "/dev/nvme0n1p1", N, 0},
      {K1, 179, 0, DEV, "/dev/mmcblk0", N, 0},
      {K2, 252, 0, SOUS, "/dev/x/vda", N, 0},
      // Floppies: majors 2 with minors 0-3 and 128-131.
      {K0, 2, 0, DEV, "/dev/fd0", D, 0},
      {K0, 2, 3, DEV, "/dev/fd3", D, 3},
      {K0, 2, 128, DEV, "/dev/fd4", D, 4},
      {K0, 2, 131, DEV, "/dev/fd7", D, 7},
      {K0, 2, 4, DEV, "/dev/fd0d360", A, 0},
      {K0, 2, 0x100, DEV, "/dev/x", A, 0},
      {K0, 8, 0, DEV, "/dev/sda", A, 0},
      {3, 8, 0, DEV, "/dev/sda", A, 0},
  };
  for (const Cas& c : cas) {
    T_Classement r = classerPeripherique(c.genre, c.majeur, c.mineur, c.repertoire, c.chemin);
    EXPECT_EQ(r.classe, c.classe) << c.genre << " " << c.majeur << ":" << c.mineur << " " << c.chemin;
    if (r.classe == CLASSE_DISQUE) {
      EXPECT_EQ(r.cle, c.cle) << c.genre << " " << c.majeur << ":" << c.mineur;
    }
  }
}

std::string texte(char* t) {
  std::string r = t ? t : "<null>";
  free(t);
  return r;
}

TEST(NomsDePartitions, Prefixes) {
  const char* cas[][2] = {
      {"/dev/sda", "/dev/sda"},           {"/dev/mmcblk0", "/dev/mmcblk0p"},
      {"/dev/nvme0n1", "/dev/nvme0n1p"},  {"/dev/mapper/x", "/dev/mapper/x"},
      {"/dev/mapper/x1", "/dev/mapper/x1"}, {"/dev/iseries/vda", "/dev/iseries/vda"},
      {"/dev/cciss/c0d0", "/dev/cciss/c0d0p"}, {"/dev/md0", "/dev/md0p"},
      {"/dev/md/d0", "/dev/md/d0p"},      {"/dev/rd/c0d0", "/dev/rd/c0d0p"},
      {"/dev/loop0", "/dev/loop0p"},      {"/devx", "/devx"},
      {"sda1", "sda1p"},                  {"", ""},
  };
  for (auto& c : cas) EXPECT_EQ(texte(prefixePartitions(c[0])), c[1]) << c[0];
  EXPECT_EQ(prefixePartitions(nullptr), nullptr);
}

TEST(NomsDePartitions, DisqueDUnePartition) {
  MachineTemporaire m;
  m.image("d.img", 4096);
  m.machine(
      "block /dev/sda 8:0 d.img\nblock /dev/mmcblk0 179:0 d.img\nblock /dev/nvme0n1 259:0 d.img\n"
      "block /dev/mapper/vg-root 253:0 d.img\nblock /dev/md/d0 254:0 d.img\n"
      "block /dev/cciss/c0d0 104:0 d.img\nchr /dev/tty 5:0\nlink /dev/disk0 sda\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  struct {
    const char* chemin;
    const char* disque;
    bool partition;
  } cas[] = {
      {"/dev/sda1", "/dev/sda", true},
      {"/dev/sda15", "/dev/sda", true},
      {"/dev/sda", "/dev/sda", false},
      {"/dev/sdb1", "/dev/sdb1", false},          // no such disk
      {"/dev/mmcblk0p1", "/dev/mmcblk0", true},
      {"/dev/mmcblk0", "/dev/mmcblk0", false},
      {"/dev/nvme0n1p2", "/dev/nvme0n1", true},
      {"/dev/nvme0n1", "/dev/nvme0n1", false},    // 'n', not 'p', before the 1
      {"/dev/md0", "/dev/md0", false},
      {"/dev/md/d0p3", "/dev/md/d0", true},
      {"/dev/mapper/vg-root1", "/dev/mapper/vg-root", true},
      {"/dev/cciss/c0d0p1", "/dev/cciss/c0d0", true},
      {"/dev/cciss/c0d01", "/dev/cciss/c0d01", false},
      {"/dev/tty1", "/dev/tty1", false},          // a character device
      {"/dev/disk01", "/dev/disk01", false},      // a link
      {"/dev/p1", "/dev/p1", false},
      {"/dev/nvme1", "/dev/nvme1", false},
      {"1", "1", false},
      {"", "", false},
  };
  for (auto& c : cas) {
    bool partition = !c.partition;
    EXPECT_EQ(texte(separerNumeroPartition(c.chemin, &partition)), c.disque) << c.chemin;
    EXPECT_EQ(partition, c.partition) << c.chemin;
  }
}

std::vector<std::string> lister(int genre) {
  StringArray l;
  listerPeripheriques(genre, l);
  std::vector<std::string> r;
  for (size_t i = 0; i < l.count(); ++i) r.push_back(l[i] ? l[i] : "<null>");
  return r;
}

typedef std::vector<std::string> Liste;

class Enumeration : public testing::Test {
 protected:
  void SetUp() override { m_.image("d.img", 1 << 20); }
  void installer(const std::string& directives) {
    m_.machine(directives);
    ASSERT_TRUE(m_.installer()) << m_.erreur();
  }
  MachineTemporaire m_;
};

// SATA, NVMe, md and mmc disks with partitions, a by-id link tree, a second
// node of sda in a subfolder, device-mapper, CD and loop devices.
const char* const MACHINE_COURANTE =
    "block /dev/block/8:0 8:0 d.img\n"  // declared first, but in a subfolder
    "block /dev/sda 8:0 d.img\n"
    "block /dev/sda1 8:1 d.img offset=512\n"
    "block /dev/sda2 8:2 d.img offset=1024\n"
    "block /dev/sdb 8:16 d.img\n"
    "block /dev/nvme0n1 259:0 d.img\n"
    "block /dev/nvme0n1p1 259:1 d.img offset=512\n"
    "block /dev/nvme0n1p2 259:2 d.img offset=1024\n"
    "block /dev/md_d0 254:0 d.img\n"
    "block /dev/md_d0p1 254:1 d.img offset=512\n"
    "block /dev/md0 9:0 d.img\n"
    "block /dev/mmcblk0 179:0 d.img\n"
    "block /dev/mmcblk0p1 179:1 d.img offset=512\n"
    "block /dev/sr0 11:0 d.img ro geo=none\n"
    "block /dev/loop0 7:0 d.img geo=none\n"
    "block /dev/dm-0 253:0 d.img\n"
    "link /dev/mapper/vg-root ../dm-0\n"
    "block /dev/mapper/crypt 253:1 d.img\n"
    "chr /dev/null 1:3\n"
    "link /dev/disk/by-id/ata-DISK ../../sda\n"
    "link /dev/disk/by-id/ata-DISK-part1 ../../sda1\n"
    "link /dev/disk/by-id/nvme-X ../../nvme0n1\n"
    "link /dev/disk/by-uuid/1234 ../../sda2\n"
    "block /dev/md/d0 254:0 d.img\n";  // the md_d0 node again

TEST_F(Enumeration, MachineCourante) {
  installer(MACHINE_COURANTE);
  EXPECT_EQ(lister(K1), (Liste{"/dev/sda", "/dev/sdb", "/dev/md_d0", "/dev/dm-0", "/dev/mmcblk0",
                               "/dev/nvme0n1"}));
  EXPECT_EQ(lister(K2), (Liste{"/dev/sda1", "/dev/sda2", "/dev/md_d0p1", "/dev/md0",
                               "/dev/mapper/crypt", "/dev/dm-0", "/dev/mmcblk0p1",
                               "/dev/nvme0n1p1", "/dev/nvme0n1p2", "/dev/sdb"}));
  EXPECT_EQ(lister(K0), Liste{});
}

// Folders and devices opened during a scan, with the open flags.
std::vector<std::string> dossiers, ouverts;
std::vector<int> drapeaux;
T_AppelsSysteme machine;
DIR* opendirNote(const char* chemin) {
  dossiers.push_back(chemin);
  return machine.opendir(chemin);
}
int openNote(const char* chemin, int d) {
  ouverts.push_back(chemin);
  drapeaux.push_back(d);
  return machine.open64(chemin, d);
}

TEST_F(Enumeration, UneLiaisonVersDevNeBouclePas) {
  installer(std::string(MACHINE_COURANTE) + "bind /dev/retour /dev\nbind /dev/disk/haut /dev/disk\n");
  Remplacement<T_AppelsSysteme> seam(appelsSysteme);
  machine = appelsSysteme;
  dossiers.clear();
  appelsSysteme.opendir = opendirNote;
  EXPECT_EQ(lister(K1), (Liste{"/dev/sda", "/dev/sdb", "/dev/md_d0", "/dev/dm-0", "/dev/mmcblk0",
                               "/dev/nvme0n1"}));
  // A folder seen again under another name is not read again.
  for (const std::string& d : dossiers) {
    EXPECT_EQ(d.find("retour"), std::string::npos) << d;
    EXPECT_EQ(d.find("haut"), std::string::npos) << d;
  }
  EXPECT_NE(std::find(dossiers.begin(), dossiers.end(), "/dev/disk/by-id"), dossiers.end());
}

TEST_F(Enumeration, LeFiltreNOuvreQueDesBlocsSansAttendre) {
  ASSERT_EQ(mkfifo(m_.chemin("tube").c_str(), 0600), 0);
  installer("block /dev/sda 8:0 d.img\nblock /dev/sda1 8:1 d.img\nchr /dev/watchdog 10:130\n"
            "link /dev/vers-sda1 sda1\n");
  Remplacement<T_AppelsSysteme> seam(appelsSysteme);
  machine = appelsSysteme;
  ouverts.clear();
  drapeaux.clear();
  appelsSysteme.open64 = openNote;
  StringArray l;
  for (const char* p : {"/tube", "/dev/watchdog", "/dev/vers-sda1"}) l.add(p);
  listerPeripheriques(K2, l);
  // Entries that are no block device go without being opened.
  ASSERT_EQ(l.count(), 1u);
  EXPECT_STREQ(l[0], "/dev/sda1");
  EXPECT_EQ(ouverts, (std::vector<std::string>{"/dev/sda1"}));
  for (int d : drapeaux) EXPECT_EQ(d & (O_ACCMODE | O_NONBLOCK), O_RDONLY | O_NONBLOCK);
}

TEST_F(Enumeration, EntreesDejaPresentesEtSousRepertoiresTries) {
  installer(
      "block /dev/sda 8:0 d.img\nblock /dev/sda1 8:1 d.img\n"
      "block /dev/Zed/vdb 252:16 d.img\nblock /dev/a/b/vdc 252:32 d.img\n"
      "block /dev/a/vda 252:0 d.img\nblock /dev/a/b/c/vdd 252:48 d.img\n");
  StringArray l;
  l.add("/dev/sda1");  // already listed: not again
  l.add("/etc/not-a-device");
  listerPeripheriques(K2, l);
  ASSERT_EQ(l.count(), 5u);  // the entry that is no block device goes
  EXPECT_STREQ(l[0], "/dev/sda1");
  EXPECT_STREQ(l[1], "/dev/a/b/c/vdd");
  EXPECT_STREQ(l[2], "/dev/a/b/vdc");
  EXPECT_STREQ(l[3], "/dev/a/vda");
  EXPECT_STREQ(l[4], "/dev/Zed/vdb");
  EXPECT_EQ(lister(K1), (Liste{"/dev/sda", "/dev/a/b/c/vdd", "/dev/a/b/vdc", "/dev/a/vda",
                               "/dev/Zed/vdb"}));
}

TEST_F(Enumeration, FiltreDeGeometrie) {
  installer(
      "block /dev/sda 8:0 d.img geo=255/63/10/2048\n"  // a start: not a whole disk
      "block /dev/sdb 8:16 d.img geo=none\n"
      "block /dev/sdc 8:32 d.img\n"
      "block /dev/sdc1 8:33 d.img geo=none\n"
      "block /dev/sdc2 8:34 d.img geo=1/1/1/99\n"
      "block /dev/sdd 8:48 d.img\n"
      "block /dev/vda 252:0 d.img\n"
      "fail open /dev/sdd EACCES\n");
  EXPECT_EQ(lister(K1), (Liste{"/dev/sdc", "/dev/vda"}));
  EXPECT_EQ(lister(K2), (Liste{"/dev/sdc2", "/dev/vda", "/dev/sda"}));
}

TEST_F(Enumeration, DisquesDeMemeCle) {
  // (48, 64) and (49, 0) share key 286: both disks stay, the later by name.
  installer(
      "block /dev/rd/c1d0 49:0 d.img\nblock /dev/rd/c0d8 48:64 d.img\n"
      "block /dev/rd/c0d0 48:0 d.img\nblock /dev/rd/c1d0p1 49:1 d.img\n"
      "block /dev/vda 252:0 d.img\n");
  EXPECT_EQ(lister(K1), (Liste{"/dev/rd/c0d0", "/dev/rd/c1d0", "/dev/rd/c0d8", "/dev/vda"}));
  EXPECT_EQ(lister(K2), (Liste{"/dev/rd/c1d0p1", "/dev/vda"}));
}

TEST_F(Enumeration, NommesAppariesOuSeuls) {
  installer(
      "block /dev/vdb 252:16 d.img\nblock /dev/vda2 252:2 d.img\nblock /dev/vda 252:0 d.img\n"
      "block /dev/vda1 252:1 d.img\nblock /dev/vdab 252:48 d.img\n"
      "block /dev/nbd0 43:0 d.img\nblock /dev/zram0 251:0 d.img\nblock /dev/zram0p 251:1 d.img\n");
  EXPECT_EQ(lister(K1), (Liste{"/dev/vda", "/dev/vdab", "/dev/vdb", "/dev/zram0"}));
  EXPECT_EQ(lister(K2), (Liste{"/dev/vda1", "/dev/vda2", "/dev/vdab", "/dev/vdb", "/dev/zram0p"}));
}

TEST_F(Enumeration, ComptesEtNoms) {
  std::string machine = "block /dev/fd1 2:1 d.img\nblock /dev/fd0 2:0 d.img geo=none\n"
                        "block /dev/fd4 2:128 d.img\nblock /dev/fd0u1440 2:28 d.img\n";
  for (int i = 0; i < 300; ++i)
    machine += "block /dev/nvme" + std::to_string(i) + "n1 259:" + std::to_string(i) + " d.img\n";
  installer(machine);
  enregistrerNettoyagePlateforme();
  EXPECT_EQ(nombreDisques(), 255);
  EXPECT_EQ(nombreDisques(), 255);
  EXPECT_STREQ(nomDisque(0), "/dev/nvme0n1");
  EXPECT_STREQ(nomDisque(1), "/dev/nvme100n1");
  ASSERT_NE(nomDisque(254), nullptr);
  EXPECT_EQ(nomDisque(255), nullptr);
  EXPECT_EQ(compterDisquettes(), 3);
  EXPECT_STREQ(nomDisquette(0), "/dev/fd0");  // no geometry needed for floppies
  EXPECT_STREQ(nomDisquette(1), "/dev/fd1");
  EXPECT_STREQ(nomDisquette(2), "/dev/fd4");
  EXPECT_EQ(nomDisquette(3), nullptr);
  // Emptied lists name nothing; the counts are not made again.
  nettoyerListesPeripheriques();
  EXPECT_EQ(nomDisque(0), nullptr);
  EXPECT_EQ(nomDisquette(0), nullptr);
}

TEST(EnumerationReelle, CetteMachine) {
  // Whatever this machine holds, the scans end and list block devices only.
  for (int genre : {K0, K1, K2}) {
    Liste l = lister(genre);
    for (const std::string& p : l) EXPECT_EQ(p.compare(0, 5, "/dev/"), 0) << p;
  }
}

}  // namespace
