// GPT listings on the simulated machine: tables written by sgdisk and by
// fdisk with 4096-byte sectors, compared with the tools' own view; damaged
// tables made by patching those images, with the CRCs made right again
// where the damage is meant to pass them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/lock_manager.h"
#include "platform/linux/peripheriques.h"
#include "sim/machine_linux.h"
#include "storage/disque.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"

namespace {

// One GPT partition as a tool or the listing sees it.
struct VueGPT {
  int numero;
  uint64_t premier;
  uint64_t dernier;
  std::string type;    // type GUID text
  std::string unique;  // unique GUID text
  std::string nom;     // listing only: type text
};

std::string guid(const uint8_t* octets) {
  char* t = texteGUID(octets);
  std::string s(t);
  free(t);
  return s;
}

std::string apres(const std::string& texte, const std::string& cle) {
  size_t p = texte.find(cle);
  if (p == std::string::npos) return "";
  p += cle.size();
  return texte.substr(p, texte.find('\n', p) - p);
}

class ListesGPT : public testing::Test {
 public:
  void SetUp() override {
    initialiserTransferts();
    m_.ecrire("machine", "");
    oublierComptesPeripheriques();
    Disque::libererCacheGeometrie();
  }
  void TearDown() override {
    SupportBlocManager::releaseAll();
    EXPECT_EQ(LockManager::physicalLocks().count(), 0u);
    Disque::libererCacheGeometrie();
    retirerMachine();
    oublierComptesPeripheriques();
  }

  void sgdisk(const std::string& arguments, uint64_t octets = 16 << 20) {
    m_.image("d.img", octets);
    ASSERT_EQ(m_.commande("sgdisk -U 01234567-89AB-CDEF-0123-456789ABCDEF " + arguments +
                          " d.img >/dev/null 2>&1"),
              0)
        << arguments;
  }
  // Numbers from `sgdisk -p`, then each partition's GUIDs and ends from
  // `sgdisk -i N`.
  std::vector<VueGPT> vueSgdisk() {
    EXPECT_EQ(m_.commande("sgdisk -p d.img > vue.txt"), 0);
    std::istringstream lignes(m_.lire("vue.txt"));
    std::string ligne;
    bool table = false;
    std::vector<VueGPT> vues;
    while (std::getline(lignes, ligne)) {
      if (ligne.compare(0, 6, "Number") == 0) {
        table = true;
        continue;
      }
      if (!table) continue;
      std::istringstream mots(ligne);
      VueGPT v{};
      if (!(mots >> v.numero >> v.premier >> v.dernier)) continue;
      EXPECT_EQ(m_.commande("sgdisk -i " + std::to_string(v.numero) + " d.img > part.txt"), 0);
      std::string i = m_.lire("part.txt");
      v.type = apres(i, "Partition GUID code: ").substr(0, 36);
      v.unique = apres(i, "Partition unique GUID: ");
      EXPECT_EQ(strtoull(apres(i, "First sector: ").c_str(), nullptr, 10), v.premier);
      EXPECT_EQ(strtoull(apres(i, "Last sector: ").c_str(), nullptr, 10), v.dernier);
      vues.push_back(v);
    }
    return vues;
  }

  Disque* creer(const std::string& options = "") {
    m_.machine("block /dev/sda 8:0 d.img " + options + "\n");
    if (!m_.installer()) {
      ADD_FAILURE() << m_.erreur();
      return nullptr;
    }
    return Disque::creer(0);
  }

  // The listing by number; the MBR's protective entry shows as number 1
  // with type text "GUID part. table" or the like.
  std::vector<VueGPT> lister(Disque* d, bool* gpt, std::vector<uint64_t>* tables = nullptr,
                             bool agrandir = false) {
    BasicArray<uint64_t, const uint64_t> secteurs;
    bool lu = false, valide = false;
    T_ListePartitions l = d->listePartitions(&lu, &valide, gpt, &secteurs, agrandir);
    EXPECT_TRUE(lu && valide);
    std::vector<VueGPT> vues;
    for (size_t i = 0; i < l.count(); ++i) {
      Partition* p = l[i];
      const T_InfoPartition& e = p->entree();
      VueGPT v{p->numero(), e.premierSecteur.lire(), e.premierSecteur.lire() + e.nombreSecteurs.lire() - 1,
               "", "", ""};
      if (Partition_GPT* g = dynamic_cast<Partition_GPT*>(p)) {
        EXPECT_EQ(p->identifiant().type(), ID_PARTITION_GPT);
        EXPECT_EQ(e.numeroPrincipal, static_cast<uint8_t>(p->numero()));
        v.type = guid(g->guidType());
        v.unique = guid(g->guidUnique());
      }
      char* t = p->texteType();
      v.nom = t;
      free(t);
      vues.push_back(v);
      p->liberer(0);
    }
    if (tables) tables->assign(secteurs.items(), secteurs.items() + secteurs.count());
    std::sort(vues.begin(), vues.end(), [](const VueGPT& a, const VueGPT& b) { return a.numero < b.numero; });
    return vues;
  }

  std::vector<uint8_t> octets(uint64_t position, size_t n) {
    std::string v = m_.octets("d.img", position, n);
    return std::vector<uint8_t>(v.begin(), v.end());
  }
  void ecrire(uint64_t position, const std::vector<uint8_t>& v) {
    m_.remplacer("d.img", position, std::string(v.begin(), v.end()));
  }
  // The bytes there with every bit flipped: damage that changes them
  // whatever they held (a CRC of random GUIDs may hold any value).
  void inverser(uint64_t position, size_t n) {
    std::vector<uint8_t> v = octets(position, n);
    for (uint8_t& o : v) o = static_cast<uint8_t>(~o);
    ecrire(position, v);
  }
  static std::vector<uint8_t> le(uint64_t valeur, int n) {
    std::vector<uint8_t> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(valeur >> (8 * i)));
    return v;
  }
  T_EnteteGPT entete(uint64_t secteur) {
    T_EnteteGPT e;
    std::vector<uint8_t> v = octets(secteur * z_, sizeof e);
    memcpy(&e, v.data(), sizeof e);
    return e;
  }
  // A field of the header in that sector, its CRC made right again.
  void champ(uint64_t secteur, size_t position, uint64_t valeur, int largeur) {
    ecrire(secteur * z_ + position, le(valeur, largeur));
    sceller(secteur);
  }
  void sceller(uint64_t secteur) {
    std::vector<uint8_t> h = octets(secteur * z_, z_);
    uint32_t taille = entete(secteur).tailleEntete.lire();
    if (taille > z_) taille = z_;
    memset(h.data() + 16, 0, 4);
    ecrire(secteur * z_ + 16, le(crc32(0, h.data(), taille), 4));
  }
  // The same bytes in entry i (from 1) of both arrays; both headers take the
  // new array CRC.
  void entree(uint32_t i, size_t position, const std::vector<uint8_t>& v) {
    const T_EnteteGPT p = entete(1);
    const uint64_t alternatif = p.secteurAlternatif.lire();
    const T_EnteteGPT s = entete(alternatif);
    for (uint64_t debut : {p.secteurEntrees.lire(), s.secteurEntrees.lire()})
      ecrire(debut * z_ + (i - 1) * 128 + position, v);
    std::vector<uint8_t> tableau = octets(p.secteurEntrees.lire() * z_, p.nombreEntrees.lire() * 128);
    uint32_t crc = crc32(0, tableau.data(), static_cast<uInt>(tableau.size()));
    champ(1, 88, crc, 4);
    champ(alternatif, 88, crc, 4);
  }

  MachineTemporaire m_;
  uint32_t z_ = 512;
};

void comparer(const std::vector<VueGPT>& liste, const std::vector<VueGPT>& outil) {
  ASSERT_EQ(liste.size(), outil.size());
  for (size_t i = 0; i < liste.size(); ++i) {
    SCOPED_TRACE(liste[i].numero);
    EXPECT_EQ(liste[i].numero, outil[i].numero);
    EXPECT_EQ(liste[i].premier, outil[i].premier);
    EXPECT_EQ(liste[i].dernier, outil[i].dernier);
    EXPECT_EQ(liste[i].type, outil[i].type);
    EXPECT_EQ(liste[i].unique, outil[i].unique);
  }
}

std::vector<uint64_t> suite(uint64_t premier, uint64_t dernier) {
  std::vector<uint64_t> v;
  for (uint64_t s = premier; s <= dernier; ++s) v.push_back(s);
  return v;
}

TEST_F(ListesGPT, TablesEcritesParSgdisk) {
  struct Cas {
    const char* nom;
    std::string arguments;
    std::vector<std::string> types;  // type text by listed partition
    uint64_t secteursTableau;
  };
  const Cas cas[] = {
      {"types nommes",
       "-n 1:2048:+1M -t 1:ef00 -n 2:0:+2M -t 2:0700 -n 3:0:+1M -t 3:8200 -n 4:0:+1M -t 4:fd00 "
       "-n 5:0:+1M -t 5:8e00 -n 6:0:+1M -t 6:a503 -n 7:0:0 -t 7:8300",
       {"EFI file system", "Data", "Linux swap", "Linux RAID", "Linux LVM", "FreeBSD UFS", "Unknown"},
       32},
      {"entrees 1 et 3", "-n 1:2048:+1M -t 1:ef02 -n 3:0:+1M -t 3:0c01",
       {"BIOS boot", "Windows reserved"}, 32},
      {"256 entrees", "-S 256 -n 200:4096:+4M -t 200:a504", {"FreeBSD ZFS"}, 64},
      {"aucune partition", "-o", {}, 32},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    SetUp();
    sgdisk(c.arguments);
    std::vector<VueGPT> outil = vueSgdisk();
    Disque* d = creer();
    ASSERT_NE(d, nullptr);
    const uint64_t n = d->nombreSecteurs();
    bool gpt = false;
    std::vector<uint64_t> tables;
    std::vector<VueGPT> liste = lister(d, &gpt, &tables);
    EXPECT_TRUE(gpt);
    comparer(liste, outil);
    ASSERT_EQ(liste.size(), c.types.size());
    for (size_t i = 0; i < liste.size(); ++i) EXPECT_EQ(liste[i].nom, c.types[i]) << liste[i].numero;
    // MBR, primary header and array; backup array and header at the end.
    std::vector<uint64_t> attendu = suite(0, 1 + c.secteursTableau);
    for (uint64_t s : suite(n - 1 - c.secteursTableau, n - 1)) attendu.push_back(s);
    EXPECT_EQ(tables, attendu);
    EXPECT_EQ(d->nombreSecteurs(), n);
    TearDown();
  }
}

TEST_F(ListesGPT, SecteursDe4096Octets) {
  z_ = 4096;
  m_.image("d.img", 16 << 20);
  ASSERT_EQ(m_.commande("printf 'g\\nn\\n\\n\\n+1M\\nn\\n\\n\\n+2M\\nt\\n2\\n19\\nn\\n\\n\\n\\nw\\n' | "
                        "fdisk -b 4096 d.img >/dev/null 2>&1"),
            0);
  ASSERT_EQ(m_.commande("fdisk -b 4096 -l -o Device,Start,End,Type-UUID,UUID d.img > vue.txt"), 0);
  std::vector<VueGPT> outil;
  std::istringstream lignes(m_.lire("vue.txt"));
  std::string ligne;
  while (std::getline(lignes, ligne)) {
    if (ligne.compare(0, 5, "d.img") != 0) continue;
    std::istringstream mots(ligne.substr(5));
    VueGPT v{};
    mots >> v.numero >> v.premier >> v.dernier >> v.type >> v.unique;
    outil.push_back(v);
  }
  ASSERT_EQ(outil.size(), 3u);
  Disque* d = creer("ssz=4096");
  ASSERT_NE(d, nullptr);
  bool gpt = false;
  std::vector<uint64_t> tables;
  std::vector<VueGPT> liste = lister(d, &gpt, &tables);
  EXPECT_TRUE(gpt);
  comparer(liste, outil);
  EXPECT_EQ(liste[1].nom, "Linux swap");
  // 128 entries of 128 bytes fill 4 sectors of 4096 bytes.
  std::vector<uint64_t> attendu = suite(0, 5);
  for (uint64_t s : suite(4096 - 5, 4095)) attendu.push_back(s);
  EXPECT_EQ(tables, attendu);
}

TEST_F(ListesGPT, DisqueAgranditOuReduitApresPartitionnement) {
  struct Cas {
    const char* nom;
    uint64_t octets;     // of the image once partitioned at 8 MiB
    bool agrandir;
    bool secoursAbime;
    bool lue;
    uint64_t secteurs;   // of the disk after the listing
  };
  const uint64_t fin = (8 << 20) / 512;
  const Cas cas[] = {
      {"agrandi", 9 << 20, false, false, true, (9 << 20) / 512},
      // -tds brings the disk back to the table's size...
      {"agrandi, -tds", 9 << 20, true, false, true, fin},
      // ...but not for a table then refused.
      {"agrandi, -tds, secours abime", 9 << 20, true, true, false, (9 << 20) / 512},
      {"reduit", 7 << 20, false, false, false, (7 << 20) / 512},
      {"reduit, -tds", 7 << 20, true, false, false, (7 << 20) / 512},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    SetUp();
    sgdisk("-n 1:2048:+1M -t 1:8200 -n 2:0:+1M", 8 << 20);
    std::vector<VueGPT> outil = vueSgdisk();
    ASSERT_EQ(m_.commande("truncate -s " + std::to_string(c.octets) + " d.img"), 0);
    if (c.secoursAbime) inverser((fin - 1) * 512 + 16, 1);
    Disque* d = creer();
    ASSERT_NE(d, nullptr);
    bool gpt = !c.lue;
    std::vector<uint64_t> tables;
    std::vector<VueGPT> liste = lister(d, &gpt, &tables, c.agrandir);
    EXPECT_EQ(gpt, c.lue);
    if (c.lue) {
      comparer(liste, outil);
      EXPECT_EQ(tables.back(), fin - 1);
    } else {
      ASSERT_EQ(liste.size(), 1u);
      EXPECT_EQ(liste[0].nom, "GUID part. table");
      EXPECT_EQ(tables, std::vector<uint64_t>{0});
    }
    EXPECT_EQ(d->nombreSecteurs(), c.secteurs);
    TearDown();
  }
}

// Damage that must refuse the whole GPT; the disk has 32768 sectors, its
// backup header in the last one.
TEST_F(ListesGPT, TablesAbimeesRefusees) {
  const uint64_t l = (16 << 20) / 512 - 1;
  struct Cas {
    const char* nom;
    void (*abimer)(ListesGPT&, uint64_t l);
  };
  const Cas cas[] = {
      {"CRC de l'entete", [](ListesGPT& t, uint64_t) { t.inverser(512 + 16, 2); }},
      {"CRC du tableau",
       [](ListesGPT& t, uint64_t l) {
         // Both arrays alike, their CRC left as it was.
         t.ecrire(2 * 512 + 56, {'X'});
         t.ecrire((l - 32) * 512 + 56, {'X'});
       }},
      {"entete de secours absent", [](ListesGPT& t, uint64_t l) { t.ecrire(l * 512, std::vector<uint8_t>(512)); }},
      {"tableau de secours different", [](ListesGPT& t, uint64_t l) { t.ecrire((l - 32) * 512 + 60, {'Y'}); }},
      {"GUID du disque de secours", [](ListesGPT& t, uint64_t l) { t.champ(l, 56, 0x77, 1); }},
      {"signature", [](ListesGPT& t, uint64_t) { t.champ(1, 0, 0x5452415020494646ULL, 8); }},
      {"revision", [](ListesGPT& t, uint64_t) { t.champ(1, 8, 0x00010001, 4); }},
      {"taille d'entete 91", [](ListesGPT& t, uint64_t) { t.champ(1, 12, 91, 4); }},
      {"taille d'entete 513", [](ListesGPT& t, uint64_t) { t.champ(1, 12, 513, 4); }},
      {"reserve", [](ListesGPT& t, uint64_t) { t.champ(1, 20, 1, 4); }},
      {"secteur courant", [](ListesGPT& t, uint64_t) { t.champ(1, 24, 2, 8); }},
      {"premier utilisable apres le dernier", [](ListesGPT& t, uint64_t l) { t.champ(1, 40, l - 32, 8); }},
      {"premier utilisable dans le tableau", [](ListesGPT& t, uint64_t) { t.champ(1, 40, 33, 8); }},
      {"tableau en secteur 1", [](ListesGPT& t, uint64_t) { t.champ(1, 72, 1, 8); }},
      {"0x01FFFFFF entrees", [](ListesGPT& t, uint64_t) { t.champ(1, 80, 0x01FFFFFF, 4); }},
      {"0x02000000 entrees", [](ListesGPT& t, uint64_t) { t.champ(1, 80, 0x02000000, 4); }},
      {"entrees de 0 octet", [](ListesGPT& t, uint64_t) { t.champ(1, 84, 0, 4); }},
      {"entrees de 130 octets", [](ListesGPT& t, uint64_t) { t.champ(1, 84, 130, 4); }},
      {"entrees de 256 octets", [](ListesGPT& t, uint64_t) { t.champ(1, 84, 256, 4); }},
      {"secours: autre secteur pas 1", [](ListesGPT& t, uint64_t l) { t.champ(l, 32, 2, 8); }},
      {"secours: secteur courant", [](ListesGPT& t, uint64_t l) { t.champ(l, 24, l - 1, 8); }},
      {"secours: nombre d'entrees", [](ListesGPT& t, uint64_t l) { t.champ(l, 80, 64, 4); }},
      {"secours: tableau dans la zone utile", [](ListesGPT& t, uint64_t l) { t.champ(l, 72, l - 40, 8); }},
      {"secours: 0x02000000 entrees",
       [](ListesGPT& t, uint64_t l) {
         t.champ(1, 80, 0x02000000, 4);
         t.champ(l, 80, 0x02000000, 4);
       }},
      {"autre secteur hors du disque", [](ListesGPT& t, uint64_t) { t.champ(1, 32, ~0ull, 8); }},
      {"autre secteur dans la zone utile", [](ListesGPT& t, uint64_t) { t.champ(1, 32, 5000, 8); }},
  };
  sgdisk("-n 1:2048:+1M -n 2:0:+1M");
  ASSERT_EQ(m_.commande("cp d.img propre.img"), 0);
  for (const Cas& c : cas) {
    for (bool agrandir : {false, true}) {
      SCOPED_TRACE(std::string(c.nom) + (agrandir ? ", -tds" : ""));
      SetUp();
      ASSERT_EQ(m_.commande("cp propre.img d.img"), 0);
      c.abimer(*this, l);
      Disque* d = creer();
      ASSERT_NE(d, nullptr);
      bool gpt = true;
      std::vector<uint64_t> tables;
      auto debut = std::chrono::steady_clock::now();
      std::vector<VueGPT> liste = lister(d, &gpt, &tables, agrandir);
      EXPECT_LT(std::chrono::steady_clock::now() - debut, std::chrono::seconds(1));
      EXPECT_FALSE(gpt);
      ASSERT_EQ(liste.size(), 1u);
      EXPECT_EQ(liste[0].nom, "GUID part. table");
      EXPECT_EQ(liste[0].premier, 1u);
      EXPECT_EQ(tables, std::vector<uint64_t>{0});
      EXPECT_EQ(d->nombreSecteurs(), l + 1);
      TearDown();
    }
  }
}

TEST_F(ListesGPT, EntreesParticulieres) {
  sgdisk("-n 1:2048:+1M -n 2:0:+1M -n 3:0:+1M -n 4:0:+1M -n 5:0:+1M -n 6:0:+1M -n 7:0:+1M");
  std::vector<VueGPT> outil = vueSgdisk();
  ASSERT_EQ(outil.size(), 7u);
  // 2: last sector below the first; 3: no type; 4: no unique GUID;
  // 5: ends at the last 64-bit sector; 6: past the disk's end; 7: one sector.
  entree(2, 40, le(outil[1].premier - 10, 8));
  entree(3, 0, std::vector<uint8_t>(16, 0));
  entree(4, 16, std::vector<uint8_t>(16, 0));
  entree(5, 40, le(~0ull, 8));
  entree(6, 32, le(1ull << 40, 8));
  entree(6, 40, le((1ull << 40) + 99, 8));
  entree(7, 40, le(outil[6].premier, 8));
  Disque* d = creer();
  ASSERT_NE(d, nullptr);
  bool gpt = false;
  std::vector<VueGPT> liste = lister(d, &gpt);
  EXPECT_TRUE(gpt);
  ASSERT_EQ(liste.size(), 5u);
  EXPECT_EQ(liste[0].numero, 1);
  EXPECT_EQ(liste[1].numero, 2);
  // No sector at all: last = first + count - 1 lies before the first.
  EXPECT_EQ(liste[1].premier, outil[1].premier);
  EXPECT_EQ(liste[1].dernier, outil[1].premier - 1);
  EXPECT_EQ(liste[2].numero, 3);
  EXPECT_EQ(liste[2].nom, "empty");
  EXPECT_EQ(liste[2].premier, outil[2].premier);
  EXPECT_EQ(liste[3].numero, 6);
  EXPECT_EQ(liste[3].premier, 1ull << 40);
  EXPECT_EQ(liste[3].dernier, (1ull << 40) + 99);
  EXPECT_EQ(liste[4].numero, 7);
  EXPECT_EQ(liste[4].dernier, liste[4].premier);
}

}  // namespace
