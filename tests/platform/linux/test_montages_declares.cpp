// Declared devices on a simulated machine: /etc/fstab with LABEL= and UUID=
// through the blkid cache, the automounter's maps, and the FUSE case.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/peripheriques_declares.h"
#include "sim/machine_linux.h"
#include "support/remplacement.h"

namespace {

std::map<std::string, std::string> environnement;

char* lireEnvironnement(const char* nom) {
  auto v = environnement.find(nom);
  return v == environnement.end() ? nullptr : const_cast<char*>(v->second.c_str());
}

const char CACHE[] =
    "<device DEVNO=\"0xfd00\" LABEL=\"donnees\" UUID=\"u-donnees\">/dev/mapper/vg-racine</device>\n"
    "<device DEVNO=\"0x0802\" UUID=\"u-boot\">/dev/sda2</device>\n"
    "<device DEVNO=\"0x0811\" LABEL=\"mon disque\">/dev/sdb1</device>\n"
    "<device DEVNO=\"0x0811\" UUID=\"u-swap\">/dev/sdb1</device>\n"
    "<device LABEL=\"commun\">/dev/sda1</device>\n"
    "<device LABEL=\"commun\">/dev/sdc</device>\n"
    "<device DEVNO=\"0x0801\" LABEL=\"perime\">/dev/sdb</device>\n";

class Declares : public testing::Test {
 protected:
  void SetUp() override {
    machine_.image("a.img", 4 << 20);
    machine_.machine(
        "block /dev/sda 8:0 a.img\n"
        "block /dev/sda1 8:1 a.img offset=512 size=1048576\n"
        "block /dev/sda2 8:2 a.img offset=1049088 size=1048576\n"
        "block /dev/sdb 8:16 a.img\n"
        "block /dev/sdb1 8:17 a.img offset=512\n"
        "block /dev/sdc 8:32 a.img\n"
        "block /dev/sdd 8:48 a.img\n"
        "block /dev/sde 8:64 a.img\n"
        "block /dev/sdf 8:80 a.img\n"
        "block /dev/dm-0 253:0 a.img\n"
        "link /dev/mapper/vg-racine ../dm-0\n"
        "link /dev/disk/by-label/x /dev/sda2\n"
        "link /etc/auto.lien /etc/auto.vrai\n");
    environnement.clear();
    viderPeripheriquesDeclares();
  }
  void TearDown() override { viderPeripheriquesDeclares(); }
  void installer() {
    ASSERT_TRUE(machine_.installer()) << machine_.erreur();
    appelsSysteme.getenv = lireEnvironnement;
  }
  std::vector<std::string> liste() {
    std::vector<std::string> v;
    uint32_t n = listerPeripheriquesDeclares();
    for (uint32_t i = 0; i < n; ++i) v.push_back(peripheriqueDeclare(i));
    EXPECT_EQ(peripheriqueDeclare(n), nullptr);
    return v;
  }
  MachineTemporaire machine_;
  Remplacement<T_AppelsSysteme> seam_{appelsSysteme};
};

TEST_F(Declares, FstabEtCartesDeLAutomonteur) {
  machine_.ecrire("etc/fstab",
                  "# commentaire\n"
                  "/dev/sda1 / ext4 defaults 0 1\n"
                  "LABEL=donnees /home ext4 defaults 0 2\n"
                  "UUID=u-swap none swap sw 0 0\n"
                  "UUID=u-boot /boot ext4 defaults 0 0\n"
                  "LABEL=mon\\040disque /media ext4 defaults 0 0\n"
                  "LABEL=commun /c ext4 defaults 0 0\n"
                  "LABEL=perime /p ext4 defaults 0 0\n"
                  "/dev/disk/by-label/x /x ext4 defaults 0 0\n"
                  "/dev/absent /y ext4 defaults 0 0\n"
                  "proc /proc proc defaults 0 0\n"
                  "/dev/sdb1 relatif ext4 defaults 0 0\n"
                  "/dev/sdc /ignore ext4 xx 0 0\n"
                  "/dev/sdc /echange ext4 sw 0 0\n"
                  "UUID=inconnu /z ext4 defaults 0 0\n"
                  "PARTUUID=p1 /q ext4 defaults 0 0\n"
                  "ligne-seule\n");
  machine_.ecrire("run/blkid/blkid.tab", CACHE);
  machine_.ecrire("etc/auto.master",
                  "# cartes\n"
                  "/misc file:/etc/auto.misc --timeout=60\n"
                  "/net -hosts\n"
                  "+auto.master\n"
                  "/prog /etc/auto.prog\n"
                  "/sun file,sun:/etc/auto.sun\n"
                  "/lien /etc/auto.lien\n"
                  "/absent /etc/auto.absent\n"
                  "/seul\n"
                  "/misc2 file:/etc/auto.misc\n");
  machine_.ecrire("etc/auto.misc",
                  "cd -fstype=iso9660,ro :/dev/sdb1\n"
                  "usb -fstype=auto :/dev/sdb1\n"
                  "distant serveur:/export\n"
                  // a trailing '/' after a device names nothing: not declared
                  "multi -rw / :/dev/mapper/vg-racine/ /w :/dev/sdf/ /x :/dev/sdc \\\n"
                  "    /y -ro :/dev/sdb\n"
                  "amp :/dev/&\n"
                  "dollar :/dev/$KEY\n"
                  "double ://dev/sdf\n"
                  "# cd :/dev/sdf\n"
                  "fin :/dev/absent\n"
                  "dernier :/dev/sda\\");
  machine_.ecrire("etc/auto.sun", "k -fstype=auto \\\r\n  :/dev/sdd\r\n");
  machine_.ecrire("etc/auto.vrai", "k :/dev/sde\n");
  machine_.ecrire("etc/auto.prog", "k :/dev/sdf\n");
  machine_.machine("block /dev/fuse 7:0 a.img\n");  // not the FUSE character device
  ASSERT_EQ(machine_.commande("chmod 755 etc/auto.prog"), 0);
  installer();
  EXPECT_EQ(liste(), (std::vector<std::string>{"/dev/sda1", "/dev/dm-0", "/dev/sda2", "/dev/sdb1",
                                               "/dev/sda2", "/dev/sdc", "/dev/sdb", "/dev/sda",
                                               "/dev/sdd", "/dev/sde"}));

  // Built once: a changed fstab is seen only after the list is emptied.
  machine_.ecrire("etc/fstab", "/dev/sdf /f ext4 defaults 0 0\n");
  machine_.ecrire("etc/auto.master", "");
  EXPECT_EQ(listerPeripheriquesDeclares(), 10u);
  viderPeripheriquesDeclares();
  EXPECT_EQ(liste(), (std::vector<std::string>{"/dev/sdf"}));
}

TEST_F(Declares, EmplacementDuCacheBlkid) {
  const struct {
    std::map<std::string, std::string> fichiers;
    std::map<std::string, std::string> variables;
    bool resolu;
  } cas[] = {
      {{{"etc/blkid.tab", CACHE}}, {}, true},
      {{{"run/blkid/blkid.tab", "<device>"}, {"etc/blkid.tab", CACHE}}, {}, false},
      {{{"run/blkid/blkid.tab", CACHE}}, {{"BLKID_FILE", "/absent"}}, false},  // no fall-back
      {{{"etc/conf2", "CACHE_FILE=/var/c.tab\n"}, {"var/c.tab", CACHE}}, {{"BLKID_CONF", "/etc/conf2"}}, true},
      {{{"etc/blkid.conf", "CACHE_FILE=/absent\n"}, {"run/blkid/blkid.tab", CACHE}}, {}, false},
      {{{"etc/blkid.conf", " CACHE_FILE=/a\nCACHE_FILE= \n"}, {"run/blkid/blkid.tab", CACHE}}, {}, true},
  };
  machine_.ecrire("etc/fstab", "LABEL=donnees /home ext4 defaults 0 0\n");
  installer();
  for (auto& c : cas) {
    for (const char* f : {"run/blkid/blkid.tab", "etc/blkid.tab", "etc/blkid.conf"}) {
      machine_.commande(std::string("rm -f ") + f);
    }
    for (auto& f : c.fichiers) machine_.ecrire(f.first, f.second);
    environnement = c.variables;
    viderPeripheriquesDeclares();
    auto attendu = c.resolu ? std::vector<std::string>{"/dev/dm-0"} : std::vector<std::string>{};
    EXPECT_EQ(liste(), attendu) << (c.fichiers.empty() ? "none" : c.fichiers.begin()->first);
  }
}

TEST_F(Declares, FuseDeclareToutesLesPartitions) {
  machine_.machine("chr /dev/fuse 10:229\n");
  machine_.ecrire("etc/fstab", "/dev/sda1 / ext4 defaults 0 1\n");
  installer();
  std::vector<std::string> v = liste();
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(v[0], "/dev/sda1");
  EXPECT_EQ(std::count(v.begin(), v.end(), "/dev/sda1"), 1);  // not listed twice
  EXPECT_EQ(std::count(v.begin(), v.end(), "/dev/sda2"), 1);
  EXPECT_EQ(std::count(v.begin(), v.end(), "/dev/sdb1"), 1);
}

}  // namespace
