// Disks and MBR partitions on the simulated machine: tables written by
// sfdisk and fdisk, listed through Disque::creer and compared with the
// tools' own view; damaged chains made by patching those images; disk
// creation refusals; geometry from the options and the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/options.h"
#include <linux/fs.h>

#include "platform/linux/appels_systeme.h"
#include "platform/linux/lock_manager.h"
#include "platform/linux/peripheriques.h"
#include "sim/machine_linux.h"
#include "storage/disque.h"
#include "storage/partition.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"
#include "support/remplacement.h"

namespace {

// One partition as a tool or the listing sees it.
struct Vue {
  int numero;
  uint64_t premier;
  uint64_t nombre;
  unsigned type;
  int principal = 0;    // listing only
  int dansEtendue = 0;  // listing only
  std::string nom;      // listing only: device name
  bool operator<(const Vue& b) const { return numero < b.numero; }
};

uint64_t champ(const std::string& objet, const std::string& cle, int base) {
  size_t p = objet.find("\"" + cle + "\":");
  if (p == std::string::npos) return 0;
  p = objet.find_first_not_of(" \"", p + cle.size() + 3);
  return strtoull(objet.c_str() + p, nullptr, base);
}

// The partitions of `sfdisk --json`, by number.
std::vector<Vue> lireJson(const std::string& json) {
  std::vector<Vue> vues;
  size_t p = json.find("\"partitions\"");
  while (p != std::string::npos && (p = json.find('{', p)) != std::string::npos) {
    size_t fin = json.find('}', p);
    std::string objet = json.substr(p, fin - p);
    size_t noeud = objet.find("\"node\":");
    size_t guillemet = objet.find('"', objet.find('"', noeud + 7) + 1);
    size_t chiffres = guillemet;
    while (isdigit(static_cast<unsigned char>(objet[chiffres - 1]))) --chiffres;
    Vue v;
    v.numero = atoi(objet.c_str() + chiffres);
    v.premier = champ(objet, "start", 10);
    v.nombre = champ(objet, "size", 10);
    v.type = static_cast<unsigned>(champ(objet, "type", 16));
    vues.push_back(v);
    p = fin;
  }
  std::sort(vues.begin(), vues.end());
  return vues;
}

// The partitions of `fdisk -l -o Device,Start,Sectors,Id`, by number.
std::vector<Vue> lireFdisk(const std::string& texte, const std::string& image) {
  std::vector<Vue> vues;
  std::istringstream lignes(texte);
  std::string ligne;
  while (std::getline(lignes, ligne)) {
    if (ligne.compare(0, image.size(), image) != 0) continue;
    std::istringstream mots(ligne.substr(image.size()));
    Vue v;
    std::string type;
    mots >> v.numero >> v.premier >> v.nombre >> type;
    v.type = static_cast<unsigned>(strtoul(type.c_str(), nullptr, 16));
    vues.push_back(v);
  }
  std::sort(vues.begin(), vues.end());
  return vues;
}

class Disques : public testing::Test {
 public:
  void SetUp() override {
    initialiserTransferts();
    m_.ecrire("machine", "");
    oublierComptesPeripheriques();
    Disque::libererCacheGeometrie();
  }
  void TearDown() override {
    delete options_;
    options_ = nullptr;
    SupportBlocManager::releaseAll();
    EXPECT_EQ(LockManager::physicalLocks().count(), 0u);
    Disque::libererCacheGeometrie();
    retirerMachine();
    oublierComptesPeripheriques();
  }

  // An image of `octets` bytes partitioned by an sfdisk script.
  void sfdisk(const std::string& script, uint64_t octets = 64 << 20,
              const std::string& image = "d.img") {
    m_.image(image, octets);
    m_.ecrire("script", script);
    ASSERT_EQ(m_.commande("sfdisk -q " + image + " < script >/dev/null 2>&1"), 0) << script;
  }
  std::vector<Vue> vueSfdisk(const std::string& image = "d.img") {
    EXPECT_EQ(m_.commande("sfdisk --json " + image + " > vue.json"), 0);
    return lireJson(m_.lire("vue.json"));
  }

  Disque* creer(const std::string& options = "") {
    m_.machine("block /dev/sda 8:0 d.img " + options + "\n");
    if (!m_.installer()) {
      ADD_FAILURE() << m_.erreur();
      return nullptr;
    }
    return Disque::creer(0);
  }

  std::vector<Vue> lister(Disque* d, bool* valide = nullptr, bool* gpt = nullptr,
                          std::vector<uint64_t>* tables = nullptr) {
    BasicArray<uint64_t, const uint64_t> secteurs;
    bool lu = false;
    T_ListePartitions l = d->listePartitions(&lu, valide, gpt, &secteurs, false);
    std::vector<Vue> vues;
    uint64_t precedent = 0;
    for (size_t i = 0; i < l.count(); ++i) {
      Partition* p = l[i];
      EXPECT_GE(p->entree().premierSecteur.lire(), precedent) << "sorted by first sector";
      precedent = p->entree().premierSecteur.lire();
      Vue v{p->numero(), precedent, p->entree().nombreSecteurs.lire(), p->entree().typePartition,
            p->numeroPrincipal(), p->numeroDansEtendue(),
            p->nomPeripherique() ? p->nomPeripherique() : ""};
      vues.push_back(v);
      p->liberer(0);
    }
    if (tables) tables->assign(secteurs.items(), secteurs.items() + secteurs.count());
    std::sort(vues.begin(), vues.end());
    return vues;
  }

  std::vector<uint8_t> octets(uint64_t position, size_t n) {
    std::string v = m_.octets("d.img", position, n);
    return std::vector<uint8_t>(v.begin(), v.end());
  }
  void ecrire(uint64_t position, const std::vector<uint8_t>& v) {
    m_.remplacer("d.img", position, std::string(v.begin(), v.end()));
  }
  void ecrire32(uint64_t position, uint32_t valeur) {
    ecrire(position, {uint8_t(valeur), uint8_t(valeur >> 8), uint8_t(valeur >> 16),
                      uint8_t(valeur >> 24)});
  }

  MachineTemporaire m_;
  OptionsTablens* options_ = nullptr;
};

void comparer(const std::vector<Vue>& liste, const std::vector<Vue>& outil) {
  ASSERT_EQ(liste.size(), outil.size());
  for (size_t i = 0; i < liste.size(); ++i) {
    EXPECT_EQ(liste[i].numero, outil[i].numero);
    EXPECT_EQ(liste[i].premier, outil[i].premier) << liste[i].numero;
    EXPECT_EQ(liste[i].nombre, outil[i].nombre) << liste[i].numero;
    EXPECT_EQ(liste[i].type, outil[i].type) << liste[i].numero;
  }
}

// Logical partitions of one extended partition: main number and rank.
void verifierLogiques(const std::vector<Vue>& liste, int etendue, int premierLogique, int dernier) {
  for (const Vue& v : liste) {
    if (v.numero < premierLogique || v.numero > dernier) continue;
    EXPECT_EQ(v.principal, etendue) << v.numero;
    EXPECT_EQ(v.dansEtendue, v.numero - premierLogique + 1) << v.numero;
  }
}

std::string logiques(int n, uint64_t debut, uint64_t taille) {
  std::string s;
  for (int i = 0; i < n; ++i)
    s += "start=" + std::to_string(debut + i * (taille + 2048)) + ", size=" +
         std::to_string(taille) + ", type=83\n";
  return s;
}

TEST_F(Disques, TablesEcritesParSfdisk) {
  struct Cas {
    const char* nom;
    std::string script;
    int etendue;  // main number of the extended partition, 0 for none
  };
  const Cas cas[] = {
      {"quatre principales",
       "label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=8192, type=7\n"
       "start=18432, size=8192, type=c\nstart=26624, size=8192, type=82\n",
       0},
      {"etendue en 2 avec trois logiques",
       "label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=40960, type=f\n"
       "start=51200, size=8192, type=7\nstart=59392, size=8192, type=82\n" +
           logiques(3, 12288, 4096),
       2},
      {"cinquante logiques", "label: dos\nstart=2048, size=120000, type=5\n" + logiques(50, 4096, 100),
       1},
      {"MBR protecteur", "label: dos\nstart=1, size=131071, type=ee\n", 0},
      {"entree 3 avant l'entree 1",
       "label: dos\nd.img1 : start=40960, size=4096, type=83\nd.img3 : start=2048, size=4096, type=7\n",
       0},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    SetUp();
    sfdisk(c.script);
    std::vector<Vue> outil = vueSfdisk();
    ASSERT_FALSE(outil.empty());
    Disque* d = creer();
    ASSERT_NE(d, nullptr);
    bool valide = false, gpt = true;
    std::vector<uint64_t> tables;
    std::vector<Vue> liste = lister(d, &valide, &gpt, &tables);
    EXPECT_TRUE(valide);
    EXPECT_FALSE(gpt);
    comparer(liste, outil);
    int nombreLogiques = 0;
    for (const Vue& v : liste) {
      if (v.numero <= 4) {
        EXPECT_EQ(v.principal, v.numero);
        EXPECT_EQ(v.dansEtendue, 0);
      } else {
        ++nombreLogiques;
      }
    }
    if (c.etendue) verifierLogiques(liste, c.etendue, 5, 4 + nombreLogiques);
    // The MBR, then one EBR per logical partition.
    EXPECT_EQ(tables.size(), 1u + nombreLogiques);
    if (!tables.empty()) {
      EXPECT_EQ(tables[0], 0u);
    }
    TearDown();
  }
}

TEST_F(Disques, NomsDesPeripheriques) {
  sfdisk("label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=40960, type=5\n" +
         logiques(2, 12288, 4096));
  m_.machine(
      "block /dev/sda1 8:1 d.img offset=1M size=4M\nblock /dev/sda5 8:5 d.img\n"
      "block /dev/sda10 8:10 d.img\n");
  options_ = new OptionsTablens(false, false, 0, 0, 0, 0, 0);
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  // The disk's own device first, then every partition name from the glob.
  std::vector<std::string> chemins;
  for (size_t i = 0; i < d->chemins().count(); ++i) chemins.push_back(d->chemins()[i]);
  ASSERT_GE(chemins.size(), 4u);
  EXPECT_EQ(chemins[0], "/dev/sda");
  EXPECT_TRUE(d->cheminsPeripherique()[0]);
  std::sort(chemins.begin() + 1, chemins.end());
  EXPECT_EQ(chemins, (std::vector<std::string>{"/dev/sda", "/dev/sda1", "/dev/sda10", "/dev/sda5"}));
  std::vector<Vue> liste = lister(d);
  ASSERT_EQ(liste.size(), 4u);
  EXPECT_EQ(liste[0].nom, "sda1");
  EXPECT_EQ(liste[1].nom, "");  // no /dev/sda2
  EXPECT_EQ(liste[2].nom, "sda5");
  EXPECT_EQ(liste[3].nom, "");
}

TEST_F(Disques, SecteursDe4096Octets) {
  m_.image("d.img", 64 << 20);
  ASSERT_EQ(m_.commande("printf 'o\\nn\\np\\n1\\n256\\n+2047\\nn\\ne\\n2\\n2304\\n+7999\\n"
                        "n\\nl\\n2560\\n+511\\nn\\nl\\n3328\\n+511\\nt\\n6\\n7\\nw\\n'"
                        " | fdisk -b 4096 d.img >/dev/null 2>&1"),
            0);
  ASSERT_EQ(m_.commande("fdisk -b 4096 -l -o Device,Start,Sectors,Id d.img > vue.txt"), 0);
  std::vector<Vue> outil = lireFdisk(m_.lire("vue.txt"), "d.img");
  ASSERT_EQ(outil.size(), 4u);
  Disque* d = creer("ssz=4096");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->tailleSecteur(), 4096);
  EXPECT_EQ(d->nombreSecteurs(), 16384u);
  std::vector<Vue> liste = lister(d);
  comparer(liste, outil);
  verifierLogiques(liste, 2, 5, 6);
}

TEST_F(Disques, DeuxPartitionsEtendues) {
  // sfdisk writes one extended partition per table: the second chain comes
  // from another image, its sectors and MBR entry 3 copied over.
  sfdisk("label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=20480, type=5\n" +
         logiques(2, 12288, 4096));
  sfdisk("label: dos\nstart=40960, size=20480, type=85\n" + logiques(2, 43008, 4096), 64 << 20,
         "e.img");
  std::vector<Vue> premiere = vueSfdisk("d.img");
  std::vector<Vue> seconde = vueSfdisk("e.img");
  ASSERT_EQ(m_.commande("dd if=e.img of=d.img bs=512 skip=40960 seek=40960 count=20480 "
                        "conv=notrunc status=none && "
                        "dd if=e.img of=d.img bs=1 skip=446 seek=478 count=16 conv=notrunc status=none"),
            0);
  std::vector<Vue> attendu = premiere;
  for (Vue v : seconde) {
    v.numero = v.numero == 1 ? 3 : v.numero + 2;
    attendu.push_back(v);
  }
  std::sort(attendu.begin(), attendu.end());
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  std::vector<Vue> liste = lister(d);
  comparer(liste, attendu);
  verifierLogiques(liste, 2, 5, 6);
  verifierLogiques(liste, 3, 7, 8);
}

// Damaged chains made from one sfdisk image: an extended partition in
// entry 2 holding three logical partitions, one EBR each.
class ChainesAbimees : public Disques {
 public:
  void preparer() {
    sfdisk("label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=40960, type=5\n" +
           logiques(3, 12288, 4096));
    Disque* d = creer();
    ASSERT_NE(d, nullptr);
    std::vector<uint64_t> tables;
    propre_ = lister(d, nullptr, nullptr, &tables);
    ASSERT_EQ(tables.size(), 4u);
    ebr_.assign(tables.begin() + 1, tables.end());
    SupportBlocManager::releaseAll();
    retirerMachine();
    oublierComptesPeripheriques();
    Disque::libererCacheGeometrie();
    m_.ecrire("machine", "");
  }
  uint64_t entree(int ebr, int n) { return ebr_[ebr] * 512 + 446 + 16 * (n - 1); }
  // Entry 2 of EBR k links to this sector, counted from the extended partition.
  void lier(int ebr, uint64_t relatif) {
    ecrire(entree(ebr, 2) + 4, {0x05});
    ecrire32(entree(ebr, 2) + 8, static_cast<uint32_t>(relatif));
    ecrire32(entree(ebr, 2) + 12, 8192);
  }

  std::vector<Vue> propre_;
  std::vector<uint64_t> ebr_;
  const uint64_t base_ = 10240;
};

TEST_F(ChainesAbimees, ChaqueChaineSeTermine) {
  struct Cas {
    const char* nom;
    void (*abimer)(ChainesAbimees&);
    std::vector<std::pair<uint64_t, int>> logiques;  // first sector (index of the clean
                                                     // logical partition) per number 5, 6...
  };
  const Cas cas[] = {
      {"lien sur lui-meme", [](ChainesAbimees& t) { t.lier(1, t.ebr_[1] - t.base_); }, {{0, 0}, {1, 0}}},
      {"lien 0", [](ChainesAbimees& t) { t.lier(2, 0); }, {{0, 0}, {1, 0}, {2, 0}}},
      {"cycle avec partitions", [](ChainesAbimees& t) { t.lier(2, t.ebr_[0] - t.base_); },
       {{0, 0}, {1, 0}, {2, 0}}},
      {"cycle sans partitions",
       [](ChainesAbimees& t) {
         t.ecrire(t.entree(1, 1), std::vector<uint8_t>(16, 0));
         t.ecrire(t.entree(2, 1), std::vector<uint8_t>(16, 0));
         t.lier(2, t.ebr_[1] - t.base_);
       },
       {{0, 0}}},
      {"EBR sans signature", [](ChainesAbimees& t) { t.ecrire(t.ebr_[1] * 512 + 510, {0, 0}); },
       {{0, 0}}},
      {"lien au-dela du disque", [](ChainesAbimees& t) { t.lier(1, 200000); }, {{0, 0}, {1, 0}}},
      {"entree 1 etendue",
       [](ChainesAbimees& t) {
         t.ecrire(t.entree(1, 1) + 4, {0x05});
         t.ecrire32(t.entree(1, 1) + 8, static_cast<uint32_t>(t.ebr_[2] - t.base_));
       },
       {{0, 0}, {2, 0}}},
      {"entree de longueur nulle", [](ChainesAbimees& t) { t.ecrire32(t.entree(1, 1) + 12, 0); },
       {{0, 0}, {2, 0}}},
      {"chaine hors de l'etendue",
       [](ChainesAbimees& t) {
         // The last EBR moved past the extended partition's end.
         t.ecrire(60000 * 512, t.octets(t.ebr_[2] * 512, 512));
         t.lier(1, 60000 - t.base_);
       },
       {{0, 0}, {1, 0}, {2, 60000}}},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    SetUp();
    preparer();
    c.abimer(*this);
    Disque* d = creer();
    ASSERT_NE(d, nullptr);
    auto debut = std::chrono::steady_clock::now();
    std::vector<Vue> liste = lister(d);
    EXPECT_LT(std::chrono::steady_clock::now() - debut, std::chrono::seconds(1));
    std::vector<Vue> attendu(propre_.begin(), propre_.begin() + 2);
    for (size_t i = 0; i < c.logiques.size(); ++i) {
      Vue v = propre_[2 + c.logiques[i].first];
      if (c.logiques[i].second) v.premier = v.premier - ebr_[2] + c.logiques[i].second;
      v.numero = static_cast<int>(5 + i);
      attendu.push_back(v);
    }
    comparer(liste, attendu);
    verifierLogiques(liste, 2, 5, 4 + static_cast<int>(c.logiques.size()));
    TearDown();
  }
}

TEST_F(ChainesAbimees, EntreePrincipaleAuDelaDuDisque) {
  preparer();
  // Entry 4 past the disk's end is listed as the table says.
  ecrire(446 + 48 + 4, {0x83});
  ecrire32(446 + 48 + 8, 200000);
  ecrire32(446 + 48 + 12, 1000);
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  std::vector<Vue> liste = lister(d);
  ASSERT_EQ(liste.size(), 6u);
  EXPECT_EQ(liste[2].numero, 4);
  EXPECT_EQ(liste[2].premier, 200000u);
  EXPECT_EQ(liste[2].nombre, 1000u);
}

TEST_F(ChainesAbimees, LectureEnEchecAuMilieuDeLaChaine) {
  preparer();
  // Creation reads the MBR and three EBRs; the listing's second EBR fails,
  // and so does its retry.
  m_.machine("fail read /dev/sda EIO after=6\n");
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  std::vector<Vue> liste = lister(d);
  std::vector<Vue> attendu(propre_.begin(), propre_.begin() + 3);
  comparer(liste, attendu);
}

TEST_F(Disques, CreationSurPeripheriquesSimules) {
  struct Cas {
    const char* options;
    bool cree;
    uint16_t tailleSecteur;
  };
  const Cas cas[] = {
      {"ssz=520", false, 0},        {"ssz=65536", false, 0}, {"ssz=256", false, 0},
      {"ssz=none", true, 512},      {"ssz=4096", true, 4096}, {"geo=none", false, 0},
      {"geo=255/63/8/2048", false, 0}, {"size=1000", false, 0}, {"ro", true, 512},
      // The 32-bit size question counts 512-byte units whatever the sector size.
      {"ssz=4096\nfail BLKGETSIZE64 * EIO", true, 4096},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.options);
    SetUp();
    m_.image("d.img", 8 << 20);
    Disque* d = creer(c.options);
    EXPECT_EQ(d != nullptr, c.cree);
    if (d) {
      EXPECT_EQ(d->tailleSecteur(), c.tailleSecteur);
      EXPECT_EQ(d->nombreSecteurs(), (8u << 20) / c.tailleSecteur);
      EXPECT_EQ(d->estModifiable(), std::string(c.options) != "ro");
      ASSERT_EQ(LockManager::physicalLocks().count(), 1u);
      EXPECT_EQ(LockManager::physicalLocks()[0].readOnly, std::string(c.options) == "ro");
    } else {
      EXPECT_EQ(LockManager::physicalLocks().count(), 0u);
    }
    TearDown();
  }
  const char* echecs[] = {"fail HDIO_GETGEO * EIO\n", "fail BLKGETSIZE64 * ENOTTY\nfail BLKGETSIZE * ENOTTY\n",
                          "fail open /dev/sda EACCES\n"};
  for (const char* echec : echecs) {
    SCOPED_TRACE(echec);
    SetUp();
    m_.image("d.img", 8 << 20);
    m_.machine(echec);
    EXPECT_EQ(creer(), nullptr);
    TearDown();
  }
}

TEST_F(Disques, GeometrieDuSysteme) {
  struct Cas {
    const char* geo;
    uint64_t octets;
    uint64_t tetes, secteurs, cylindres;  // of the disk
    int tetesCandidat;
  };
  const Cas cas[] = {
      {"geo=255/63/16383/0", 1000000ull * 512, 255, 63, 63, 255},
      {"geo=0/0/0/0", 1000000ull * 512, 256, 63, 63, 254},
      {"geo=16/32/100/0", 8 << 20, 16, 32, 32, 16},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.geo);
    SetUp();
    m_.image("d.img", c.octets);
    Disque* d = creer(c.geo);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->nombreTetes(), c.tetes);
    EXPECT_EQ(d->secteursParPiste(), c.secteurs);
    EXPECT_EQ(d->nombreCylindres(), c.cylindres);
    auto g = d->geometriesPossibles();
    ASSERT_EQ(g.count(), 2u);
    EXPECT_EQ(g[1].origine, 1);
    EXPECT_EQ(g[1].tetes, c.tetesCandidat);
    EXPECT_EQ(g[1].secteurs, static_cast<int>(c.secteurs));
    TearDown();
  }
}

// The ioctl requests and pauses of a disk's closing.
std::vector<unsigned long> requetes;
std::vector<unsigned> pauses;
int (*ioctlMachine)(int, unsigned long, void*);
int ioctlNote(int fd, unsigned long requete, void* argument) {
  requetes.push_back(requete);
  return ioctlMachine(fd, requete, argument);
}
unsigned sleepNote(unsigned secondes) {
  pauses.push_back(secondes);
  return 0;
}

TEST_F(Disques, FermetureApresEcriture) {
  for (bool ecrit : {false, true}) {
    SCOPED_TRACE(ecrit);
    SetUp();
    m_.image("d.img", 8 << 20);
    Disque* d = creer();
    ASSERT_NE(d, nullptr);
    std::vector<uint8_t> secteur(512, 0x33);
    if (ecrit) {
      EXPECT_TRUE(d->ecrireControle(100, 1, secteur.data(), nullptr, true));
    }
    requetes.clear();
    pauses.clear();
    ioctlMachine = appelsSysteme.ioctl;
    {
      Remplacement<int (*)(int, unsigned long, void*)> espion(appelsSysteme.ioctl, ioctlNote);
      Remplacement<unsigned (*)(unsigned)> pause(appelsSysteme.sleep, sleepNote);
      EXPECT_TRUE(d->liberer(0));
    }
    std::vector<unsigned long> attendu = {BLKFLSBUF};
    if (ecrit) attendu.push_back(BLKRRPART);
    EXPECT_EQ(requetes, attendu);
    EXPECT_EQ(pauses, ecrit ? std::vector<unsigned>{1} : std::vector<unsigned>{});
    EXPECT_EQ(LockManager::physicalLocks().count(), 0u);
    if (ecrit) {
      EXPECT_EQ(octets(100 * 512, 512), secteur);
    }
    TearDown();
  }
}

TEST_F(Disques, ReutiliseLeDisqueEnregistre) {
  m_.image("d.img", 8 << 20);
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Disque::creer(0), d);
  size_t i = SupportBlocManager::indexOf(d->identifiant());
  ASSERT_LT(i, SupportBlocManager::count());
  EXPECT_EQ(SupportBlocManager::entry(i).references, 2);
  EXPECT_EQ(Disque::creer(1), nullptr);
}

TEST_F(Disques, UnePartitionGardeSonDisque) {
  sfdisk("label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=20480, type=5\n" +
         logiques(1, 12288, 4096));
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  T_ListePartitions l = d->listePartitions(nullptr, nullptr, nullptr, nullptr, false);
  ASSERT_EQ(l.count(), 3u);
  Partition* logique = l[2];
  EXPECT_EQ(logique->etendue(), l[1]);
  l[0]->liberer(0);
  l[1]->liberer(0);
  EXPECT_FALSE(d->liberer(0));  // the logical partition holds the disk
  // Its sectors are the disk's, from its first sector on.
  std::vector<uint8_t> lu(512);
  ecrire(12288ull * 512 + 512 * 3, std::vector<uint8_t>(512, 0x5A));
  EXPECT_TRUE(logique->lire(3, 1, lu.data(), nullptr));
  EXPECT_EQ(lu, std::vector<uint8_t>(512, 0x5A));
  EXPECT_EQ(SupportBlocManager::count(), 3u);  // disk, extended, logical
  // The release at exit leaves nothing behind (the sanitizers check the order).
  SupportBlocManager::releaseAll();
  EXPECT_EQ(SupportBlocManager::count(), 0u);
}

TEST_F(Disques, GeometrieDeLaTable) {
  // Partitions that end on cylinder boundaries of 255 x 63 give a consistent
  // table; the second table's two main partitions end at other heads.
  const std::string coherente =
      "label: dos\nstart=63, size=32067, type=83\nstart=32130, size=48195, type=83\n";
  const std::string incoherente =
      "label: dos\nstart=2048, size=10000, type=83\nstart=20480, size=10001, type=83\n";
  // The second partition ends on head 253, then on sector 62, of a cylinder.
  const std::string autreTete =
      "label: dos\nstart=63, size=32067, type=83\nstart=32130, size=48132, type=83\n";
  const std::string autreSecteur =
      "label: dos\nstart=63, size=32067, type=83\nstart=32130, size=48194, type=83\n";
  const uint64_t n = (64 << 20) / 512;
  struct Cas {
    const char* nom;
    const std::string* script;
    int modeHs, tetesHs, secteursHs, modeC, cylindresC;
    uint64_t tetes, secteurs, cylindres;  // 0 cylinders: the table's highest end + 1
  };
  const Cas cas[] = {
      {"table coherente", &coherente, 0, 0, 0, 0, 0, 255, 63, (n + 16064) / 16065},
      {"coherente malgre -hs", &coherente, 4, 16, 32, 0, 0, 255, 63, (n + 16064) / 16065},
      {"incoherente sans option", &incoherente, 0, 0, 0, 0, 0, 16, 32, 256},
      {"une autre tete de fin", &autreTete, 0, 0, 0, 0, 0, 16, 32, 256},
      {"un autre secteur de fin", &autreSecteur, 0, 0, 0, 0, 0, 16, 32, 256},
      {"incoherente -hs 64 32", &incoherente, 4, 64, 32, 0, 0, 64, 32, 64},
      {"-hs hors limites", &incoherente, 4, 64, 64, 0, 0, 16, 32, 256},
      {"-hs parttable incoherente", &incoherente, 3, 0, 0, 0, 0, 16, 32, 256},
      {"-hs parttable coherente", &coherente, 3, 0, 0, 0, 0, 255, 63, (n + 16064) / 16065},
      {"-c 500", &incoherente, 0, 0, 0, 2, 500, 16, 32, 500},
      {"-c 2000", &incoherente, 0, 0, 0, 2, 2000, 16, 32, 1024},
      {"-c +2", &incoherente, 0, 0, 0, 3, 2, 16, 32, 258},
      {"-c parttable", &coherente, 0, 0, 0, 1, 0, 255, 63, 5},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    SetUp();
    sfdisk(*c.script);
    options_ = new OptionsTablens(false, false, c.modeHs, c.tetesHs, c.secteursHs, c.modeC,
                                  c.cylindresC);
    Disque* d = creer("geo=16/32/2000/0");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->nombreTetes(), c.tetes);
    EXPECT_EQ(d->secteursParPiste(), c.secteurs);
    EXPECT_EQ(d->nombreCylindres(), c.cylindres);
    EXPECT_EQ(d->geometrie().derniereTete.lire(), c.tetes - 1);
    EXPECT_EQ(d->geometrie().dernierCylindre.lire(), c.cylindres - 1);
    // Only the consistent table offers its own candidate.
    auto g = d->geometriesPossibles();
    bool origine3 = false;
    for (size_t i = 0; i < g.count(); ++i) origine3 |= g[i].origine == 3;
    EXPECT_EQ(origine3, c.script == &coherente);
    TearDown();
  }
}

TEST_F(Disques, GeometrieMemoriseeParDisque) {
  sfdisk("label: dos\nstart=2048, size=10000, type=83\nstart=20480, size=10001, type=83\n");
  options_ = new OptionsTablens(false, false, 4, 64, 32, 0, 0);
  Disque* d = creer("geo=16/32/2000/0");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->nombreTetes(), 64u);
  d->liberer(0);
  delete options_;
  options_ = nullptr;
  // Created again without options: the corrected geometry comes back.
  d = Disque::creer(0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->nombreTetes(), 64u);
  d->liberer(0);
  Disque::libererCacheGeometrie();
  d = Disque::creer(0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->nombreTetes(), 16u);
}

TEST_F(Disques, IdentifiantsDuDisque) {
  sfdisk("label: dos\nlabel-id: 0x12345678\nstart=2048, size=8192, type=83\n");
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  uint32_t id = 0;
  EXPECT_TRUE(d->lireIdentifiantWindows(&id));
  EXPECT_EQ(id, 0x12345678u);
  uint8_t guid[16];
  memset(guid, 0xFF, sizeof guid);
  EXPECT_FALSE(d->lireGUIDDisque(guid));
  EXPECT_EQ(std::vector<uint8_t>(guid, guid + 16), std::vector<uint8_t>(16, 0));
  ecrire(510, {0, 0});
  EXPECT_FALSE(d->lireIdentifiantWindows(&id));
  EXPECT_EQ(id, 0u);
}

TEST_F(Disques, GUIDDuDisqueGPT) {
  m_.image("d.img", 8 << 20);
  ASSERT_EQ(m_.commande("sgdisk -U 01234567-89AB-CDEF-0123-456789ABCDEF -n 1:2048:+1M d.img "
                        ">/dev/null 2>&1"),
            0);
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  uint8_t guid[16];
  ASSERT_TRUE(d->lireGUIDDisque(guid));
  // On disk the first three fields are little-endian.
  const std::vector<uint8_t> attendu = {0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD,
                                        0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_EQ(std::vector<uint8_t>(guid, guid + 16), attendu);
  // A header whose CRC no longer matches names no disk.
  ecrire(512 + 56, {0x00});
  EXPECT_FALSE(d->lireGUIDDisque(guid));
  EXPECT_EQ(std::vector<uint8_t>(guid, guid + 16), std::vector<uint8_t>(16, 0));
  // Nor is its GPT read: the protective partition stands alone.
  bool valide = false, gpt = true;
  std::vector<Vue> liste = lister(d, &valide, &gpt);
  ASSERT_EQ(liste.size(), 1u);
  EXPECT_TRUE(valide);
  EXPECT_FALSE(gpt);
  EXPECT_EQ(liste[0].type, 0xEEu);
  EXPECT_EQ(liste[0].premier, 1u);
  EXPECT_EQ(liste[0].nombre, (8u << 20) / 512 - 1);
}

}  // namespace
