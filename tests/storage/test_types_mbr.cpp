#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "storage/types_mbr.h"

TEST(TypesMBR, Noms) {
  struct Cas {
    uint8_t type;
    const char* nom;
  } cas[] = {
      {0x00, "empty"},       {0x0B, "Win95 FAT-32 (b)"}, {0x1C, "W95 FAT32 hidden(1c)"},
      {0x4F, "QNX 4.x (4f)"}, {0xFF, "Xenix,BBT"},       {0x12, "Unknown ( 18)"},
      {0xFC, "Unknown (252)"},
  };
  for (const Cas& c : cas) {
    char* nom = nomTypePartition(c.type);
    EXPECT_STREQ(nom, c.nom);
    free(nom);
  }
  // 73 named values, and every text fits its 21 bytes.
  int nommes = 0;
  for (int type = 0; type < 256; ++type) {
    char* nom = nomTypePartition(static_cast<uint8_t>(type));
    EXPECT_LE(strlen(nom), 20u);
    if (std::string(nom).rfind("Unknown", 0) != 0) ++nommes;
    free(nom);
  }
  EXPECT_EQ(nommes, 73);
}

TEST(TypesMBR, Familles) {
  EXPECT_TRUE(estTypeFATOuCache(0x1B));
  EXPECT_FALSE(estTypeFAT(0x1B));
  EXPECT_TRUE(estTypeFAT(0xC6));
  EXPECT_FALSE(estTypeFATOuCache(0x07));
  EXPECT_TRUE(estTypeNTFS(0x27));
  EXPECT_TRUE(estTypeEtendue(0x85));
  EXPECT_FALSE(estTypeEtendueDOS(0x85));
  EXPECT_TRUE(estTypeLinux(0x83));
}
