// Disks and partitions without a platform: size trials and growth on a disk
// in memory, partition references, forwarded transfers and texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/options.h"
#include "storage/chs.h"
#include "storage/disque.h"
#include "storage/file_header.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "support/geometrie_disque.h"

namespace {


T_InfoPartition info(uint64_t premier, uint64_t nombre, uint8_t type, uint8_t principal = 1,
                     uint8_t dansEtendue = 0) {
  T_InfoPartition e;
  memset(&e, 0, sizeof e);
  e.numeroPrincipal = principal;
  e.numeroEtendue = dansEtendue;
  e.typePartition = type;
  e.premierSecteur.ecrire(premier);
  e.nombreSecteurs.ecrire(nombre);
  return e;
}

// A disk numbered past every platform disk, whose sectors below `physiques`
// read; its listing can be scripted as (first sector, count) pairs, each
// call may first set the sector count back.
class DisqueMemoire : public Disque {
 public:
  DisqueMemoire(uint64_t nombre, uint64_t physiques, uint16_t taille = 512)
      : Disque(200, geometrieDe(nombre, taille)), physiques_(physiques) {}

  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage) override {
    lectures.push_back(premier);
    memset(tampon, 0x5A, static_cast<size_t>(nombre) * tailleSecteur_);
    return premier + nombre <= physiques_;
  }
  T_ListePartitions listePartitions(bool*, bool*, bool*, T_SecteursTable*, bool agrandir) override {
    ++listages;
    EXPECT_TRUE(agrandir);
    if (rabaisser) fixerNombreSecteurs(rabaisser);
    T_ListePartitions l;
    int numero = 1;
    for (auto& f : fenetres) l.add(Partition_MBR::creer(this, numero++, info(f.first, f.second, 0x83), nullptr));
    return l;
  }

  std::vector<uint64_t> lectures;
  std::vector<std::pair<uint64_t, uint64_t>> fenetres;
  uint64_t rabaisser = 0;
  int listages = 0;

 private:
  uint64_t physiques_;
};

class DisquesMemoire : public testing::Test {
 protected:
  void TearDown() override {
    delete options_;
    SupportBlocManager::releaseAll();
  }
  OptionsTablens* options_ = nullptr;
};

TEST_F(DisquesMemoire, EssayerTaille) {
  struct Cas {
    const char* nom;
    uint64_t ancien, nouveau, physiques;
    uint16_t tailleSecteur;
    bool accepte;
    std::vector<uint64_t> lectures;
  };
  const uint64_t limite = LIMITE_1024_CYLINDRES;
  const Cas cas[] = {
      {"plus petit, sans lecture", 1000, 500, 0, 512, true, {}},
      {"inchange", 1000, 1000, 5000, 512, false, {}},
      {"au-dela de 1024 cylindres", limite - 10, limite + 10, limite + 10, 512, false, {}},
      {"secteurs lisibles", 1000, 2000, 2000, 512, true, {1000, 1999}},
      {"dernier secteur illisible", 1000, 2001, 2000, 512, false, {1000, 2000}},
      {"secteurs de 32768 octets", 10, 20, 20, 32768, true, {10, 19}},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    DisqueMemoire* d = new DisqueMemoire(c.ancien, c.physiques, c.tailleSecteur);
    EXPECT_EQ(d->essayerTaille(c.nouveau), c.accepte);
    EXPECT_EQ(d->nombreSecteurs(), c.accepte ? c.nouveau : c.ancien);
    EXPECT_EQ(d->geometrie().nombreSecteurs.lire(), d->nombreSecteurs());
    EXPECT_EQ(d->lectures, c.lectures);
    d->liberer(0);
  }
  // CHS access ends below cylinder 1024.
  Disque_Standard* s = new Disque_Standard(200, geometrieDe(3 * 16065), 0);
  EXPECT_FALSE(s->essayerTaille(1025 * 16065));
  EXPECT_TRUE(s->essayerTaille(2 * 16065 + 1));
  s->liberer(0);
}

TEST_F(DisquesMemoire, AjusterTailleSeTermine) {
  struct Cas {
    const char* nom;
    bool tds;
    std::vector<std::pair<uint64_t, uint64_t>> fenetres;
    uint64_t rabaisser;
    uint64_t physiques, attendu;
    int listagesMax;
  };
  const Cas cas[] = {
      {"sans -tds", false, {{0, 3000}}, 0, 5000, 1000, 0},
      {"jusqu'a la fin des partitions", true, {{0, 500}, {600, 2400}}, 0, 5000, 3000, 2},
      {"fin illisible", true, {{0, 3000}}, 0, 2000, 1000, 1},
      {"listage qui rabaisse la taille", true, {{0, 1500}}, 1000, 5000, 1000, 2},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    options_ = new OptionsTablens(false, c.tds, 0, 0, 0, 0, 0);
    DisqueMemoire* d = new DisqueMemoire(1000, c.physiques);
    d->fenetres = c.fenetres;
    d->rabaisser = c.rabaisser;
    d->ajusterTaille();
    EXPECT_EQ(d->nombreSecteurs(), c.attendu);
    EXPECT_LE(d->listages, c.listagesMax);
    EXPECT_EQ(SupportBlocManager::count(), 1u);  // every listed partition released
    d->liberer(0);
    delete options_;
    options_ = nullptr;
  }
}

TEST_F(DisquesMemoire, PartitionsEtReferences) {
  DisqueMemoire* d = new DisqueMemoire(100000, 100000);
  Partition_MBR* etendue = Partition_MBR::creer(d, 2, info(1000, 50000, 0x0F, 2), nullptr);
  Partition_MBR* logique = Partition_MBR::creer(d, 5, info(1063, 2000, 0x83, 2, 1), etendue);
  ASSERT_TRUE(etendue && logique);
  auto references = [](const Support_Bloc* s) {
    return SupportBlocManager::entry(SupportBlocManager::indexOf(s->identifiant())).references;
  };
  // The logical partition's reference on its extended one is also one on the disk.
  EXPECT_EQ(references(d), 4);
  EXPECT_EQ(references(etendue), 2);
  // Found again by disk and number, the new entry unused.
  EXPECT_EQ(Partition_MBR::creer(d, 5, info(7, 7, 7), nullptr), logique);
  EXPECT_EQ(references(logique), 2);
  EXPECT_EQ(references(etendue), 3);
  EXPECT_EQ(references(d), 6);
  EXPECT_FALSE(logique->liberer(0));
  EXPECT_EQ(references(d), 4);
  EXPECT_EQ(references(etendue), 2);

  EXPECT_TRUE(etendue->estEtendue());
  EXPECT_EQ(logique->numeroPrincipal(), 2);
  EXPECT_EQ(logique->numeroDansEtendue(), 1);
  EXPECT_EQ(etendue->numeroDansEtendue(), 0);

  // Transfers go to the disk from the partition's first sector.
  std::vector<uint8_t> tampon(512);
  d->lectures.clear();
  EXPECT_TRUE(logique->lire(10, 1, tampon.data(), nullptr));
  EXPECT_EQ(d->lectures, std::vector<uint64_t>{1073});

  // A path of a logical partition is also its disk's and extended's.
  logique->ajouterChemin("/dev/sdz5", true);
  EXPECT_EQ(std::string(logique->nomPeripherique()), "sdz5");
  EXPECT_TRUE(d->contientChemin("/dev/sdz5"));
  EXPECT_FALSE(d->cheminsPeripherique()[0]);
  EXPECT_TRUE(etendue->contientChemin("/dev/sdz5"));
  EXPECT_EQ(etendue->nomPeripherique(), nullptr);

  T_FileHeader entete;
  memset(&entete, 0xFF, sizeof entete);
  logique->remplirInfo(&entete);
  EXPECT_EQ(entete.typeSupport, 0);
  EXPECT_EQ(entete.numeroDisque, 200);
  EXPECT_EQ(memcmp(&entete.infoDisque, &d->geometrie(), sizeof entete.infoDisque), 0);
  EXPECT_EQ(memcmp(&entete.infoPartition, &logique->entree(), sizeof entete.infoPartition), 0);
  EXPECT_EQ(entete.incrementNecessaire, 0);

  // The disk outlives its own reference while partitions hold it.
  EXPECT_FALSE(d->liberer(0));
  EXPECT_FALSE(etendue->liberer(0));
  EXPECT_EQ(SupportBlocManager::count(), 3u);
  EXPECT_TRUE(logique->liberer(0));
  EXPECT_EQ(SupportBlocManager::count(), 0u);
}

TEST_F(DisquesMemoire, FenetresQuiDebordent) {
  DisqueMemoire* d = new DisqueMemoire(1000, 1000);
  EXPECT_EQ(Partition_MBR::creer(d, 1, info(UINT64_MAX - 5, 10, 0x83), nullptr), nullptr);
  Partition_MBR* p = Partition_MBR::creer(d, 1, info(UINT64_MAX - 5, 5, 0x83), nullptr);
  ASSERT_NE(p, nullptr);
  std::vector<uint8_t> tampon(512);
  d->lectures.clear();
  EXPECT_FALSE(p->lireSecteurs(10, 1, tampon.data(), nullptr));
  EXPECT_TRUE(d->lectures.empty());
  EXPECT_EQ(SupportBlocManager::count(), 2u);
}

TEST_F(DisquesMemoire, Descriptions) {
  DisqueMemoire* d = new DisqueMemoire(100000, 100000);
  Partition_MBR* etendue = Partition_MBR::creer(d, 2, info(1000, 50000, 0x05, 2), nullptr);
  Partition_MBR* logique = Partition_MBR::creer(d, 5, info(1063, 2048, 0x83, 2, 1), etendue);
  Partition_MBR* principale = Partition_MBR::creer(d, 1, info(63, 937, 0x07, 1), nullptr);
#ifdef _WIN32
  // Windows columns: the partition number and its one drive letter.
  principale->ajouterChemin("E:", true);
#else
  principale->ajouterChemin("/dev/sdz1", true);
#endif
  struct Cas {
    const Support_Bloc* support;
    int niveau;
    std::string texte;
  };
  const Cas cas[] = {
      {d, 0, "Disk 200"},
      {d, 6, "Disk number: 200."},
      {logique, 0, "Partition 5"},
#ifdef _WIN32
      {d, 4, "200 | disk                   |     |   "},
      {d, 9, "Support      | Num | D. | Element type         | Size (GB)  | Name"},
      {logique, 1, "Extended n 2 |   5 |    | Linux ext2fs         | 1024.00 kB | "},
      {principale, 1, "Main part.   |   1 | E: | NTFS,OS/2            |  468.50 kB | "},
      {logique, 4, "200 | n   1 of extended n 2  |   5 |   "},
      {principale, 4, "200 | main number 1          |   1 | E:"},
      {principale, 14,
       "Options file for a partition of type NTFS,OS/2\nand of size 468.50 kB (E: drive).\n"},
#else
      {d, 4, "200 | disk                   |         "},
      {d, 9, "Support      | Device   | Element type         | Size (GB)  | Name"},
      {logique, 1, "Extended n 2 | 5        | Linux ext2fs         | 1024.00 kB | "},
      {principale, 1, "Main part.   | sdz1     | NTFS,OS/2            |  468.50 kB | "},
      {logique, 4, "200 | n   1 of extended n 2  |         "},
      {principale, 4, "200 | main number 1          | sdz1    "},
      {principale, 14,
       "Options file for a partition of type NTFS,OS/2\nand of size 468.50 kB (sdz1 drive).\n"},
#endif
      {logique, 5, "Disk number: 200.\nPartition number: number 1 of extended partition number 2."},
      {etendue, 6, "Disk number: 200.\nPartition number: main number 2."},
      {logique, 14, "Options file for a partition of type Linux ext2fs\nand of size 1024.00 kB.\n"},
  };
  for (const Cas& c : cas) {
    char* texte = c.support->description(c.niveau);
    ASSERT_NE(texte, nullptr) << c.texte;
    EXPECT_EQ(std::string(texte), c.texte);
    free(texte);
  }
  EXPECT_EQ(d->description(15), nullptr);
}

}  // namespace
