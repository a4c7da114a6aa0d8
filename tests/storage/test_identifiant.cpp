#include <gtest/gtest.h>

#include "storage/support_bloc.h"

typedef Support_Bloc::T_Identifiant Id;

TEST(Identifiant, EgaliteSelonLeType) {
  Id d0(ID_DISQUE, 0u), d1(ID_DISQUE, 1u), copieD0(d0);
  const char* nul = nullptr;
  struct Cas {
    const char* nom;
    Id a, b;
    bool egal;
  } cas[] = {
      {"empty never equal", Id(), Id(), false},
      {"same disk", d0, Id(ID_DISQUE, 0u), true},
      {"disk vs floppy", d0, Id(ID_DISQUETTE, 0u), false},
      {"part 1 of disk 0, fresh parent", Id(ID_PARTITION_MBR, &d0, 1), Id(ID_PARTITION_MBR, &copieD0, 1), true},
      {"part 1 of disks 0 and 1", Id(ID_PARTITION_MBR, &d0, 1), Id(ID_PARTITION_MBR, &d1, 1), false},
      {"parts 1 and 2 of disk 0", Id(ID_PARTITION_MBR, &d0, 1), Id(ID_PARTITION_MBR, &d0, 2), false},
      {"MBR 5 vs GPT 5", Id(ID_PARTITION_MBR, &d0, 5), Id(ID_PARTITION_GPT, &d0, 5), false},
      {"device paths", Id("/dev/sda"), Id(ID_PERIPHERIQUE, "/dev/sda"), true},
      {"device case", Id("/dev/sda"), Id("/dev/SDA"), false},
      {"disk file vs drive file", Id(ID_FICHIER_DISQUE, "i"), Id(ID_FICHIER_LECTEUR, "i"), false},
      {"null texts", Id(ID_PERIPHERIQUE, nul), Id(ID_PERIPHERIQUE, nul), false},
      {"null text vs text", Id(ID_PERIPHERIQUE, nul), Id("/dev/sda"), false},
      {"missing parents", Id(ID_PARTITION_MBR, nullptr, 1), Id(ID_PARTITION_MBR, nullptr, 1), false},
      {"kind above 9", Id(11, 4u), Id(11, 4u), false},
  };
  for (const Cas& c : cas) {
    EXPECT_EQ(c.a == c.b, c.egal) << c.nom;
    EXPECT_EQ(c.b == c.a, c.egal) << c.nom;
  }
}

TEST(Identifiant, CopieProfonde) {
  Id disque(ID_DISQUE, 3u);
  Id* partition = new Id(ID_PARTITION_MBR, &disque, 6);
  Id copie(*partition);
  delete partition;  // the nested parent was not shared
  EXPECT_EQ(copie.numero(), 6);
  ASSERT_NE(copie.parent(), nullptr);
  EXPECT_TRUE(*copie.parent() == disque);

  Id* fichier = new Id(ID_FICHIER_DISQUE, "disk.img");
  Id autre(ID_DISQUE, 1u);
  autre = *fichier;
  delete fichier;
  EXPECT_STREQ(autre.texte(), "disk.img");
}

TEST(Identifiant, AffectationDepuisSoiOuSonParent) {
  Id disque(ID_DISQUE, 2u);
  Id partition(ID_PARTITION_GPT, &disque, 7);
  Id logique(ID_PARTITION_MBR, &partition, 5);
  logique = logique;
  EXPECT_EQ(logique.numero(), 5);
  // The source is owned by the target: it must be copied before release.
  logique = *logique.parent();
  EXPECT_EQ(logique.type(), ID_PARTITION_GPT);
  EXPECT_EQ(logique.numero(), 7);
  ASSERT_NE(logique.parent(), nullptr);
  EXPECT_TRUE(*logique.parent() == disque);
}

TEST(Identifiant, AffectationDUnTemporaire) {
  // The temporary's parent changes hands: freed once, by the target.
  Id disque(ID_DISQUE, 4u);
  Id cible(ID_FICHIER_DISQUE, "disk.img");
  cible = Id(ID_PARTITION_MBR, &disque, 9);
  EXPECT_EQ(cible.type(), ID_PARTITION_MBR);
  EXPECT_EQ(cible.numero(), 9);
  ASSERT_NE(cible.parent(), nullptr);
  EXPECT_TRUE(*cible.parent() == disque);
  EXPECT_TRUE(cible == Id(ID_PARTITION_MBR, &disque, 9));
  cible = Id(ID_PERIPHERIQUE, "/dev/sda");
  EXPECT_STREQ(cible.texte(), "/dev/sda");
}
