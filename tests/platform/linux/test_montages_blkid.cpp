// The blkid cache reader: entries, stale and damaged ones, and labels or
// UUIDs shared by two entries.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/cache_blkid.h"
#include "support/remplacement.h"

namespace {

int statNoeuds(const char* chemin, struct stat64* etat) {
  static const std::map<std::string, uint64_t> noeuds = {
      {"/dev/sda1", 0x801}, {"/dev/sda2", 0x802}, {"/dev/sdb1", 0x811}, {"/dev/nvme0n1p1", 0x10301}};
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

// "device label uuid flags" per entry; a buffer of exactly the text's bytes.
std::vector<std::string> lire(CacheBlkid& cache, const std::string& texte) {
  std::vector<char> octets(texte.begin(), texte.end());
  cache.lire(octets.data(), octets.size());
  std::vector<std::string> v;
  for (size_t i = 0; i < cache.nombre(); ++i) {
    v.push_back(std::string(cache.peripherique(i)) + " " + (cache.etiquette(i) ? cache.etiquette(i) : "-") +
                " " + (cache.uuid(i) ? cache.uuid(i) : "-") + " " + std::to_string(cache.drapeaux(i)));
  }
  return v;
}

class Blkid : public testing::Test {
 protected:
  Remplacement<int (*)(const char*, struct stat64*)> stat_{appelsSysteme.stat64, statNoeuds};
  CacheBlkid cache_;
};

TEST_F(Blkid, EntreesValidesEtPerimees) {
  EXPECT_EQ(lire(cache_,
                 "<device DEVNO=\"0x0801\" TIME=\"1.2\" UUID=\"u1\" LABEL=\"racine\">/dev/sda1</device>\n"
                 "<DEVICE\tdevno=2050 label=sans\\ guillemets\r\nuuid=\"a\\\"b\" >  /dev/sda2 </Device>\n"
                 "<device DEVNO=\"0x10301\">/dev/nvme0n1p1</device>"
                 "<device UUID=\"sans-numero\">/dev/inconnu</device>"
                 "<device DEVNO=\"0x0802\" LABEL=\"a\">/dev/sda1</device>"  // number changed
                 "<device DEVNO=\"0x0x801\">/dev/sda1</device>"
                 "<device DEVNO=\"0x\">/dev/sda1</device>"
                 "<device DEVNO=\"huit\">/dev/sda1</device>"
                 "<device DEVNO=\"0x0801\">/dev/absent</device>"
                 "<device LABEL=\"h\">  </device>"
                 "<devices><device LABEL=\"i\">/dev/sdb1</device></devices>"),
            (std::vector<std::string>{"/dev/sda1 racine u1 0", "/dev/sda2 sans guillemets a\"b 0",
                                      "/dev/nvme0n1p1 - - 0", "/dev/inconnu - sans-numero 0",
                                      "/dev/sdb1 i - 0"}));
}

TEST_F(Blkid, TexteEndommageOuCoupe) {
  const std::string bonne = "<device LABEL=\"x\">/dev/sda1</device>";
  // The reading stops at the damaged entry; nothing past the text is read.
  const std::string textes[] = {
      bonne + "<device LABEL=\"y\">/dev/sda2",
      bonne + "<device LABEL=\"y\" UUID=\"2",
      bonne + "<device LABEL=\"y\" UUID=2\\",
      bonne + "<device",
      bonne + "<device LABEL=\"y>/dev/sda2</device>" + bonne,  // quote never closed
      bonne + "<device LABEL=y UUID=2 </device>" + bonne,       // no '>'
  };
  for (const std::string& texte : textes) {
    CacheBlkid cache;
    EXPECT_EQ(lire(cache, texte).size(), 1u) << texte;
  }
  std::string avecNul = bonne + "<dev";
  avecNul += '\0';
  EXPECT_EQ(lire(cache_, avecNul + "<device LABEL=\"z\">/dev/sda2</device>").size(), 2u);
}

TEST_F(Blkid, RechercheParEtiquetteEtUuid) {
  lire(cache_,
       "<device LABEL=\"commun\" UUID=\"u1\">/dev/sda1</device>"
       "<device LABEL=\"commun\" UUID=\"u2\">/dev/sda2</device>"
       "<device LABEL=\"mon disque\" UUID=\"clone\">/dev/sdb1</device>"
       "<device LABEL=\"seul\" UUID=\"clone\">/dev/sdb2</device>");
  const std::pair<const char*, const char*> cas[] = {
      {"LABEL=commun", nullptr},  // two entries carry it
      {"UUID=u1", "/dev/sda1"},   // its label is shared, its UUID is not
      {"UUID=clone", nullptr},
      {"LABEL=seul", "/dev/sdb2"},
      {"LABEL=mon\\040disque", "/dev/sdb1"},  // an octal escape of fstab
      {"LABEL=absent", nullptr},
      {"PARTUUID=u1", nullptr},
      {"/dev/sda1", nullptr},
  };
  for (auto& c : cas) EXPECT_STREQ(cache_.peripheriqueDe(c.first), c.second) << c.first;
}

}  // namespace
