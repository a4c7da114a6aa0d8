// GPT partitions without a platform: the header record, type texts and the
// registry; on Linux, the GPT of an sgdisk image read through a disk in
// memory that reports fewer sectors than it holds (size growth).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "storage/disque.h"
#include "storage/file_header.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "support/geometrie_disque.h"
#ifndef _WIN32
#include "image_outils.h"
#endif

namespace {


// A disk numbered past every platform disk whose bytes are `octets`; only
// the reported sector count limits what the storage model may read.
class DisqueOctets : public Disque {
 public:
  DisqueOctets(uint64_t nombre, std::vector<uint8_t> octets, uint16_t taille = 512)
      : Disque(200, geometrieDe(nombre, taille)), octets_(std::move(octets)) {}

  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage) override {
    const uint64_t debut = premier * tailleSecteur_;
    const uint64_t longueur = uint64_t{nombre} * tailleSecteur_;
    if (debut > octets_.size() || longueur > octets_.size() - debut) return false;
    memcpy(tampon, octets_.data() + debut, static_cast<size_t>(longueur));
    return true;
  }

 private:
  std::vector<uint8_t> octets_;
};

const uint8_t TYPE_DONNEES[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                  0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};

class PartitionsGPT : public testing::Test {
 protected:
  void TearDown() override { SupportBlocManager::releaseAll(); }
};

TEST_F(PartitionsGPT, EnregistrementEtTypes) {
  DisqueOctets* d = new DisqueOctets(1 << 20, {});
  T_InfoPartition e;
  memset(&e, 0, sizeof e);
  e.numeroPrincipal = 7;
  e.premierSecteur.ecrire(2048);
  e.nombreSecteurs.ecrire(4096);
  uint8_t unique[16];
  for (int i = 0; i < 16; ++i) unique[i] = static_cast<uint8_t>(0x40 + i);
  Partition_GPT* p = Partition_GPT::creer(d, 7, e, 0x8000000000000001ull, TYPE_DONNEES, unique);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->identifiant().type(), ID_PARTITION_GPT);
  EXPECT_EQ(p->numero(), 7);
  EXPECT_EQ(p->numeroPrincipal(), 7);
  EXPECT_EQ(p->etendue(), nullptr);
  EXPECT_EQ(p->attributs(), 0x8000000000000001ull);
  EXPECT_EQ(memcmp(p->guidUnique(), unique, 16), 0);
  EXPECT_FALSE(p->estFATOuCache() || p->estFAT() || p->estNTFS() || p->estLinux() ||
               p->estEtendue() || p->estEtendueDOS());

  // The type GUID goes over bytes 69-71 and 73-85; the first sector and the
  // count stay, and so does byte 72 (the hidden cylinders).
  T_FileHeader h;
  memset(&h, 0xCC, sizeof h);
  p->remplirInfo(&h);
  const uint8_t* o = reinterpret_cast<const uint8_t*>(&h);
  EXPECT_EQ(std::vector<uint8_t>(o + 69, o + 72), std::vector<uint8_t>(TYPE_DONNEES, TYPE_DONNEES + 3));
  EXPECT_EQ(o[72], 0);
  EXPECT_EQ(std::vector<uint8_t>(o + 73, o + 86), std::vector<uint8_t>(TYPE_DONNEES + 3, TYPE_DONNEES + 16));
  EXPECT_EQ(h.infoPartition.premierSecteur.lire(), 2048u);
  EXPECT_EQ(h.infoPartition.nombreSecteurs.lire(), 4096u);
  EXPECT_EQ(h.typeSupport, ID_PARTITION_GPT);
  uint8_t relu[16];
  h.guidTypeGPT(relu);
  EXPECT_EQ(memcmp(relu, TYPE_DONNEES, 16), 0);

  // Texts by type GUID: the basic data type is "Data".
  char* t = p->texteType();
  EXPECT_STREQ(t, "Data");
  free(t);
  const uint8_t zero[16] = {};
  const uint8_t inconnu[16] = {1};
  Partition_GPT* vide = Partition_GPT::creer(d, 8, e, 0, zero, unique);
  Partition_GPT* autre = Partition_GPT::creer(d, 9, e, 0, inconnu, unique);
  t = vide->texteType();
  EXPECT_STREQ(t, "empty");
  free(t);
  t = autre->texteType();
  EXPECT_STREQ(t, "Unknown");
  free(t);

  // Found again by disk and number, with the data of its first creation.
  Partition_GPT* encore = Partition_GPT::creer(d, 7, e, 0, zero, zero);
  EXPECT_EQ(encore, p);
  EXPECT_EQ(p->attributs(), 0x8000000000000001ull);
  encore->liberer(0);
  EXPECT_EQ(p->retirerDuCache(), nullptr);

  // A window past 2^64 makes no partition.
  e.premierSecteur.ecrire(~0ull - 10);
  e.nombreSecteurs.ecrire(11);
  EXPECT_EQ(Partition_GPT::creer(d, 10, e, 0, TYPE_DONNEES, unique), nullptr);

  for (Partition* q : {static_cast<Partition*>(p), static_cast<Partition*>(vide),
                       static_cast<Partition*>(autre)})
    EXPECT_TRUE(q->liberer(0));
  EXPECT_TRUE(d->liberer(0));
  EXPECT_EQ(SupportBlocManager::count(), 0u);
}

#ifndef _WIN32
// An sgdisk table on 8 MiB; the disk reports `moins` sectors fewer.
struct LectureAgrandie {
  const char* nom;
  uint64_t moins;
  bool agrandir;
  bool lue;
  uint64_t secteurs;  // after the listing
};

TEST_F(PartitionsGPT, SecoursAuDelaDeLaFinAnnoncee) {
  ImageOutils image(8 << 20);
  ASSERT_EQ(image.commande("sgdisk -n 1:2048:+1M -t 1:8200 IMG"), 0);
  const std::vector<uint8_t> octets = image.lire(0, 8 << 20);
  const uint64_t n = (8 << 20) / 512;
  const LectureAgrandie cas[] = {
      {"sans -tds", 1, false, false, n - 1},
      {"-tds", 1, true, true, n},
      {"-tds, deux secteurs", 2, true, true, n},
  };
  for (const LectureAgrandie& c : cas) {
    SCOPED_TRACE(c.nom);
    DisqueOctets* d = new DisqueOctets(n - c.moins, octets);
    bool valide = !c.lue, gpt = !c.lue;
    BasicArray<uint64_t, const uint64_t> secteurs;
    T_ListePartitions l = d->listePartitions(nullptr, &valide, &gpt, &secteurs, c.agrandir);
    EXPECT_TRUE(valide);
    EXPECT_EQ(gpt, c.lue);
    ASSERT_EQ(l.count(), 1u);
    EXPECT_EQ(l[0]->identifiant().type(), c.lue ? ID_PARTITION_GPT : ID_PARTITION_MBR);
    EXPECT_EQ(d->nombreSecteurs(), c.secteurs);
    EXPECT_EQ(secteurs.count(), c.lue ? 34u + 33u : 1u);
    l[0]->liberer(0);
    EXPECT_TRUE(d->liberer(0));
  }
  // The backup grown to but refused: the disk keeps its reported size.
  std::vector<uint8_t> abime = octets;
  abime[(n - 1) * 512 + 16] ^= 1;
  DisqueOctets* d = new DisqueOctets(n - 1, abime);
  bool gpt = true;
  T_ListePartitions l = d->listePartitions(nullptr, nullptr, &gpt, nullptr, true);
  EXPECT_FALSE(gpt);
  EXPECT_EQ(d->nombreSecteurs(), n - 1);
  for (size_t i = 0; i < l.count(); ++i) l[i]->liberer(0);
  EXPECT_TRUE(d->liberer(0));
}
#endif

}  // namespace
