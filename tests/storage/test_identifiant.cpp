#include <gtest/gtest.h>

#include <cstring>

#include "storage/support_bloc.h"

typedef Support_Bloc::T_Identifiant Id;

TEST(Identifiant, EgaliteSelonLeType) {
  Id disque0(ID_DISQUE, 0u), disque0bis(ID_DISQUE, 0u), disque1(ID_DISQUE, 1u);
  Id disquette0(ID_DISQUETTE, 0u);
  Id copieDisque0(disque0);
  struct Cas {
    const char* nom;
    Id a, b;
    bool egal;
  } cas[] = {
      {"empty never equal", Id(), Id(), false},
      {"same disk", disque0, disque0bis, true},
      {"other disk", disque0, disque1, false},
      {"disk vs floppy", disque0, disquette0, false},
      {"MBR part 1 of disk 0, fresh parent copy", Id(ID_PARTITION_MBR, &disque0, 1),
       Id(ID_PARTITION_MBR, &copieDisque0, 1), true},
      {"MBR part 1 of disks 0 and 1", Id(ID_PARTITION_MBR, &disque0, 1),
       Id(ID_PARTITION_MBR, &disque1, 1), false},
      {"MBR 5 vs GPT 5", Id(ID_PARTITION_MBR, &disque0, 5), Id(ID_PARTITION_GPT, &disque0, 5),
       false},
      {"other partition number", Id(ID_PARTITION_GPT, &disque0, 2),
       Id(ID_PARTITION_GPT, &disque0, 3), false},
      {"device paths", Id("/dev/sda"), Id(ID_PERIPHERIQUE, "/dev/sda"), true},
      {"device case", Id("/dev/sda"), Id("/dev/SDA"), false},
      {"disk file vs drive file", Id(ID_FICHIER_DISQUE, "img"), Id(ID_FICHIER_LECTEUR, "img"),
       false},
      {"null texts", Id(ID_PERIPHERIQUE, static_cast<const char*>(nullptr)),
       Id(ID_PERIPHERIQUE, static_cast<const char*>(nullptr)), false},
      {"null text vs text", Id(ID_PERIPHERIQUE, static_cast<const char*>(nullptr)),
       Id("/dev/sda"), false},
      {"missing parents", Id(ID_PARTITION_MBR, nullptr, 1), Id(ID_PARTITION_MBR, nullptr, 1),
       false},
      {"serials", Id(ID_ANONYME, 4u), Id(ID_ANONYME, 4u), true},
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
  ASSERT_NE(copie.parent(), partition->parent());  // nested parent not shared
  delete partition;
  EXPECT_EQ(copie.type(), ID_PARTITION_MBR);
  EXPECT_EQ(copie.numero(), 6);
  ASSERT_NE(copie.parent(), nullptr);
  EXPECT_TRUE(*copie.parent() == disque);

  Id* texte = new Id(ID_FICHIER_DISQUE, "disk.img");
  Id copieTexte(ID_DISQUE, 1u);
  copieTexte = *texte;
  EXPECT_NE(copieTexte.texte(), texte->texte());
  delete texte;
  EXPECT_STREQ(copieTexte.texte(), "disk.img");
  EXPECT_EQ(copieTexte.type(), ID_FICHIER_DISQUE);
}

TEST(Identifiant, AffectationDepuisSoiOuSonParent) {
  Id disque(ID_DISQUE, 2u);
  Id partition(ID_PARTITION_GPT, &disque, 7);
  partition = partition;
  EXPECT_EQ(partition.type(), ID_PARTITION_GPT);
  EXPECT_EQ(partition.numero(), 7);
  EXPECT_TRUE(*partition.parent() == disque);

  // Nested two deep: assigning from the own parent must not read freed memory.
  Id logique(ID_PARTITION_MBR, &partition, 5);
  logique = *logique.parent();
  EXPECT_EQ(logique.type(), ID_PARTITION_GPT);
  EXPECT_EQ(logique.numero(), 7);
  ASSERT_NE(logique.parent(), nullptr);
  EXPECT_TRUE(*logique.parent() == disque);
}

TEST(Identifiant, Constructeurs) {
  Id vide;
  EXPECT_EQ(vide.type(), ID_VIDE);
  EXPECT_EQ(vide.nombre(), 0u);
  Id peripherique("/dev/sdb");
  EXPECT_EQ(peripherique.type(), ID_PERIPHERIQUE);
  EXPECT_STREQ(peripherique.texte(), "/dev/sdb");
  Id nul(static_cast<const char*>(nullptr));
  EXPECT_EQ(nul.texte(), nullptr);
  Id copieNulle(nul);
  EXPECT_EQ(copieNulle.texte(), nullptr);
  Id disque(ID_DISQUE, 9u);
  EXPECT_EQ(disque.nombre(), 9u);
  EXPECT_EQ(disque.texte(), nullptr);
  EXPECT_EQ(disque.parent(), nullptr);
}
