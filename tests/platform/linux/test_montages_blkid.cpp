// The blkid cache reader: entries, stale and damaged ones, labels and UUIDs
// shared by two entries, and where the cache file is found.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/cache_blkid.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

// Device nodes that stat answers, by device number.
std::map<std::string, uint64_t> noeuds;

int statNoeuds(const char* chemin, struct stat64* etat) {
  auto n = noeuds.find(chemin);
  if (n == noeuds.end()) {
    errno = ENOENT;
    return -1;
  }
  memset(etat, 0, sizeof *etat);
  etat->st_mode = S_IFBLK | 0660;
  etat->st_rdev = n->second;
  return 0;
}

std::map<std::string, std::string> environnement;

char* lireEnvironnement(const char* nom) {
  auto v = environnement.find(nom);
  return v == environnement.end() ? nullptr : const_cast<char*>(v->second.c_str());
}

struct T_Attendu {
  std::string peripherique, etiquette, uuid;
  uint8_t drapeaux;
};

class Blkid : public testing::Test {
 protected:
  void SetUp() override {
    noeuds = {{"/dev/sda1", 0x801},
              {"/dev/sda2", 0x802},
              {"/dev/sdb1", 0x811},
              {"/dev/mapper/vg-racine", 0xfd00},
              {"/dev/nvme0n1p1", (uint64_t(259) << 8) | 1}};
    appelsSysteme.stat64 = statNoeuds;
    appelsSysteme.lstat64 = [](const char*, struct stat64*) { return -1; };  // never the check
    environnement.clear();
    appelsSysteme.getenv = lireEnvironnement;
  }
  // Reads a buffer of exactly the text's bytes: no terminator to lean on.
  void lire(const std::string& texte) {
    std::vector<char> octets(texte.begin(), texte.end());
    cache_.lire(octets.data(), octets.size());
  }
  std::vector<T_Attendu> entrees() const {
    std::vector<T_Attendu> v;
    for (size_t i = 0; i < cache_.nombre(); ++i) {
      v.push_back({cache_.peripherique(i), cache_.etiquette(i) ? cache_.etiquette(i) : "-",
                   cache_.uuid(i) ? cache_.uuid(i) : "-", cache_.drapeaux(i)});
    }
    return v;
  }
  void verifier(const std::vector<T_Attendu>& attendu) {
    auto lu = entrees();
    ASSERT_EQ(lu.size(), attendu.size());
    for (size_t i = 0; i < lu.size(); ++i) {
      EXPECT_EQ(lu[i].peripherique, attendu[i].peripherique) << i;
      EXPECT_EQ(lu[i].etiquette, attendu[i].etiquette) << i;
      EXPECT_EQ(lu[i].uuid, attendu[i].uuid) << i;
      EXPECT_EQ(lu[i].drapeaux, attendu[i].drapeaux) << i;
    }
  }
  CacheBlkid cache_;
  Remplacement<T_AppelsSysteme> seam_{appelsSysteme};
};

TEST_F(Blkid, EntreesEtNumerosDePeripherique) {
  lire("<device DEVNO=\"0x0801\" TIME=\"1.2\" UUID=\"u1\" TYPE=\"ext4\" LABEL=\"racine\">/dev/sda1</device>\n"
       "<device DEVNO=\"2050\" UUID=\"u2\">/dev/sda2</device>\n"
       "<DEVICE\tdevno=0X0811 label=sans\\ guillemets\r\nuuid=\"a\\\"b\" >  /dev/sdb1 </Device>\n"
       "<device DEVNO=\"0xfd00\" LABEL=\"lv\">/dev/mapper/vg-racine</device>"
       "<device DEVNO=\"0x10301\" UUID=\"nv\">/dev/nvme0n1p1</device>"
       "<device UUID=\"sans-numero\">/dev/inconnu</device>");
  verifier({{"/dev/sda1", "racine", "u1", 0},
            {"/dev/sda2", "-", "u2", 0},
            {"/dev/sdb1", "sans guillemets", "a\"b", 0},
            {"/dev/mapper/vg-racine", "lv", "-", 0},
            {"/dev/nvme0n1p1", "-", "nv", 0},
            {"/dev/inconnu", "-", "sans-numero", 0}});
}

TEST_F(Blkid, EntreesPerimeesOuInutilisables) {
  lire("<device DEVNO=\"0x0802\" LABEL=\"a\">/dev/sda1</device>"  // number changed
       "<device DEVNO=\"0x0x801\" LABEL=\"b\">/dev/sda1</device>"
       "<device DEVNO=\"0x\" LABEL=\"c\">/dev/sda1</device>"
       "<device DEVNO=\"huit\" LABEL=\"d\">/dev/sda1</device>"
       "<device DEVNO=\"\" LABEL=\"e\">/dev/sda1</device>"
       "<device DEVNO=\"0x0801\" LABEL=\"f\">/dev/absent</device>"
       "<device DEVNO=\"0x0801\" LABEL=\"g\"></device>"
       "<device LABEL=\"h\">  </device>"
       "<devices><device LABEL=\"i\">/dev/sda2</device></devices>"
       "<device LABEL=\"j\">/dev/sdb1</device>");
  verifier({{"/dev/sda2", "i", "-", 0}, {"/dev/sdb1", "j", "-", 0}});
}

TEST_F(Blkid, TexteEndommageOuCoupe) {
  const std::string bonne = "<device LABEL=\"x\" UUID=\"1\">/dev/sda1</device>";
  // Each text stops the reading at its damaged entry.
  const std::string textes[] = {
      bonne + "<device LABEL=\"y\">/dev/sda2",
      bonne + "<device LABEL=\"y\" UUID=\"2",
      bonne + "<device LABEL=\"y\" UUID=\\",
      bonne + "<device LABEL=\"y\" UUID=2\\",
      bonne + "<device",
      bonne + "<device ",
      bonne + "<device LABEL=\"y>/dev/sda2</device>" + bonne,  // quote runs to the entry's end
      bonne + "<device LABEL=y UUID=2 </device>" + bonne,       // no '>'
  };
  for (const std::string& texte : textes) {
    CacheBlkid cache;
    std::vector<char> octets(texte.begin(), texte.end());
    cache.lire(octets.data(), octets.size());
    EXPECT_EQ(cache.nombre(), 1u) << texte;
  }
  // A NUL inside the text is just another byte; "<dev" is no entry.
  std::string texte = bonne + "<dev";
  texte += '\0';
  texte += "<device LABEL=\"z\">/dev/sda2</device>";
  lire(texte);
  EXPECT_EQ(cache_.nombre(), 2u);
}

TEST_F(Blkid, RechercheParEtiquetteEtUuid) {
  lire("<device LABEL=\"commun\" UUID=\"u1\">/dev/sda1</device>"
       "<device LABEL=\"commun\" UUID=\"u2\">/dev/sda2</device>"
       "<device LABEL=\"mon disque\" UUID=\"clone\">/dev/sdb1</device>"
       "<device LABEL=\"seul\" UUID=\"clone\">/dev/sdb2</device>"
       "<device LABEL=\"commun\">/dev/sdc1</device>");
  verifier({{"/dev/sda1", "commun", "u1", BLKID_ETIQUETTE_DOUBLE},
            {"/dev/sda2", "commun", "u2", BLKID_ETIQUETTE_DOUBLE},
            {"/dev/sdb1", "mon disque", "clone", BLKID_UUID_DOUBLE},
            {"/dev/sdb2", "seul", "clone", BLKID_UUID_DOUBLE},
            {"/dev/sdc1", "commun", "-", BLKID_ETIQUETTE_DOUBLE}});
  const struct {
    const char* source;
    const char* attendu;
  } cas[] = {
      {"LABEL=commun", nullptr},  // three entries carry it
      {"UUID=u1", "/dev/sda1"},   // its label is shared, its UUID is not
      {"UUID=u2", "/dev/sda2"},
      {"UUID=clone", nullptr},
      {"LABEL=mon disque", "/dev/sdb1"},
      {"LABEL=mon\\040disque", "/dev/sdb1"},  // fstab's octal escape
      {"LABEL=seul", "/dev/sdb2"},
      {"LABEL=absent", nullptr},
      {"UUID=", nullptr},
      {"PARTUUID=u1", nullptr},
      {"label=seul", nullptr},
      {"/dev/sda1", nullptr},
      {nullptr, nullptr},
  };
  for (auto& c : cas) {
    EXPECT_STREQ(cache_.peripheriqueDe(c.source), c.attendu) << (c.source ? c.source : "null");
  }
}

TEST(DecodageOctal, Echappements) {
  const struct {
    const char* valeur;
    const char* attendu;
  } cas[] = {{"a\\040b", "a b"},   {"\\011x", "\tx"},  {"\\134", "\\"}, {"\\000", "\\000"},
             {"\\400", "\\400"},   {"\\04", "\\04"},   {"\\08a", "\\08a"}, {"fin\\", "fin\\"},
             {"", ""}};
  for (auto& c : cas) {
    char* t = decoderOctal(c.valeur);
    EXPECT_STREQ(t, c.attendu) << c.valeur;
    free(t);
  }
}

TEST(BlkidConfiguration, EmplacementDuCache) {
  Remplacement<char* (*)(const char*)> env(appelsSysteme.getenv, lireEnvironnement);
  environnement.clear();
  std::string conf = cheminTemporaire("blkid_conf");
  auto ecrire = [&](const char* texte) { std::ofstream(conf.c_str()) << texte; };
  auto chemin = [&]() {
    char* c = cheminCacheBlkid();
    std::string s = c ? c : "(null)";
    free(c);
    return s;
  };
  environnement["BLKID_CONF"] = conf;
  ecrire("  CACHE_FILE= /premier  \n# CACHE_FILE=/commentaire\n\tCACHE_FILE=/var/cache/blkid.tab \r\nEVALUATE=udev\n");
  EXPECT_EQ(chemin(), "/var/cache/blkid.tab");
  ecrire("CACHE_FILE=/premier\nCACHE_FILE=  \n");
  EXPECT_EQ(chemin(), "(null)");  // the last line names none
  ecrire("cache_file=/minuscules\nXCACHE_FILE=/autre");
  EXPECT_EQ(chemin(), "(null)");
  environnement["BLKID_FILE"] = "/explicite";
  EXPECT_EQ(chemin(), "/explicite");
  environnement.erase("BLKID_FILE");
  remove(conf.c_str());
  EXPECT_EQ(chemin(), "(null)");
}

}  // namespace
