#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image_outils.h"
#include "storage/gpt.h"

namespace {

std::string texte(char* alloue) {
  std::string copie = alloue;
  free(alloue);
  return copie;
}

// On-disk bytes of a GUID written the usual way.
std::vector<uint8_t> octetsGUID(const std::string& t) {
  std::string hexa;
  for (char c : t)
    if (c != '-') hexa += c;
  std::vector<uint8_t> groupe;
  for (size_t i = 0; i + 1 < hexa.size(); i += 2)
    groupe.push_back(static_cast<uint8_t>(std::stoul(hexa.substr(i, 2), nullptr, 16)));
  std::vector<uint8_t> guid(groupe);
  const int ordre[8] = {3, 2, 1, 0, 5, 4, 7, 6};
  for (int i = 0; i < 8; ++i) guid[i] = groupe[ordre[i]];
  return guid;
}

}  // namespace

TEST(GPT, TexteGUID) {
  const uint8_t efi[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                           0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
  EXPECT_EQ(texte(texteGUID(efi)), "C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
  uint8_t croissant[16];
  for (int i = 0; i < 16; ++i) croissant[i] = static_cast<uint8_t>(i * 0x11);
  EXPECT_EQ(texte(texteGUID(croissant)), "33221100-5544-7766-8899-AABBCCDDEEFF");
}

// Every row of the table, as the text form names it.
TEST(GPT, NomsDesTypes) {
  const struct {
    const char* guid;
    const char* nom;
  } lignes[] = {
      {"00000000-0000-0000-0000-000000000000", "empty"},
      {"024DEE41-33E7-11D3-9D69-0008C781F39F", "MBR partition"},
      {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI file system"},
      {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
      {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", ""},
      {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Windows reserved"},
      {"5808C8AA-7E8F-42E0-85D2-E1E90434CFB3", "Windows dynamic meta"},
      {"AF9B60A0-1431-4F62-BC68-3311714A69AD", "Windows dynamic data"},
      {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows recovery"},
      {"37AFFC90-EF7D-4E96-91C3-2D7AE055B174", "IBM GPFS"},
      {"75894C1E-3AEB-11D3-B7C1-7B03A0000000", "HPUX data"},
      {"E2A1E728-32E3-11D6-A682-7B03A0000000", "HPUX service"},
      {"A19D880F-05FC-4D3B-A006-743F0F84911E", "Linux RAID"},
      {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
      {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
      {"8DA63339-0007-60C0-C436-083AC8230908", "Linux reserved"},
      {"83BD6B9D-7F41-11DC-BE0B-001560B84F0F", "FreeBSD boot"},
      {"516E7CB4-6ECF-11D6-8FF8-00022D09712B", "FreeBSD data"},
      {"516E7CB5-6ECF-11D6-8FF8-00022D09712B", "FreeBSD swap"},
      {"516E7CB6-6ECF-11D6-8FF8-00022D09712B", "FreeBSD UFS"},
      {"516E7CB8-6ECF-11D6-8FF8-00022D09712B", "FreeBSD VVM"},
      {"516E7CBA-6ECF-11D6-8FF8-00022D09712B", "FreeBSD ZFS"},
      {"48465300-0000-11AA-AA11-00306543ECAC", "Apple HSF"},
      {"55465300-0000-11AA-AA11-00306543ECAC", "Apple UFS"},
      {"6A898CC3-1DD2-11B2-99A6-080020736631", "ZFS"},
      {"52414944-0000-11AA-AA11-00306543ECAC", "Apple RAID"},
      {"52414944-5F4F-11AA-AA11-00306543ECAC", "Apple RAID offline"},
      {"426F6F74-0000-11AA-AA11-00306543ECAC", "Apple boot"},
      {"4C616265-6C00-11AA-AA11-00306543ECAC", "Apple label"},
      {"5265636F-7665-11AA-AA11-00306543ECAC", "Apple recovery"},
      {"6A82CB45-1DD2-11B2-99A6-080020736631", "Solaris boot"},
      {"6A85CF4D-1DD2-11B2-99A6-080020736631", "Solaris root"},
      {"6A87C46F-1DD2-11B2-99A6-080020736631", "Solaris swap"},
      {"6A8B642B-1DD2-11B2-99A6-080020736631", "Solaris backup"},
      {"6A8EF2E9-1DD2-11B2-99A6-080020736631", "Solaris /var"},
      {"6A90BA39-1DD2-11B2-99A6-080020736631", "Solaris /home"},
      {"6A9283A5-1DD2-11B2-99A6-080020736631", "Solaris alternate"},
      {"6A945A3B-1DD2-11B2-99A6-080020736631", "Solaris reserved1"},
      {"6A9630D1-1DD2-11B2-99A6-080020736631", "Solaris reserved2"},
      {"6A980767-1DD2-11B2-99A6-080020736631", "Solaris reserved3"},
      {"6A96237F-1DD2-11B2-99A6-080020736631", "Solaris reserved4"},
      {"6A8D2AC7-1DD2-11B2-99A6-080020736631", "Solaris reserved5"},
      {"49F48D32-B10E-11DC-B99B-0019D1879648", "NetBSD swap"},
      {"49F48D5A-B10E-11DC-B99B-0019D1879648", "NetBSD FFS"},
      {"49F48D82-B10E-11DC-B99B-0019D1879648", "NetBSD LSF"},
      {"49F48DAA-B10E-11DC-B99B-0019D1879648", "NetBSD RAID"},
      {"2DB519C4-B10F-11DC-B99B-0019D1879648", "NetBSD concatenated"},
      {"2DB519EC-B10F-11DC-B99B-0019D1879648", "NetBSD encrypted"},
      // Not in the table: the Linux file-system type, one bit off a known one.
      {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Unknown"},
      {"2DB519ED-B10F-11DC-B99B-0019D1879648", "Unknown"},
  };
  for (const auto& l : lignes) {
    std::vector<uint8_t> guid = octetsGUID(l.guid);
    EXPECT_EQ(texte(nomTypeGPT(guid.data())), l.nom) << l.guid;
    EXPECT_EQ(texte(texteGUID(guid.data())), l.guid);
  }
}

TEST(GPT, SecteursDuTableau) {
  const struct {
    uint32_t nombre, taille, secteur;
    bool accepte;
    uint64_t secteurs;
  } cas[] = {
      {128, 128, 512, true, 32},        {128, 128, 4096, true, 4},
      {0, 128, 512, true, 0},           {1, 128, 512, true, 1},
      {5, 128, 512, true, 2},           {8192, 128, 512, true, 2048},
      {8193, 128, 512, false, 0},       {0x01FFFFFF, 128, 512, false, 0},
      {0x02000000, 128, 512, false, 0},  // wraps to 0 in 32 bits
      {0xFFFFFFFF, 0xFFFFFFFF, 512, false, 0},
      {128, 128, 0, false, 0},
  };
  for (const auto& c : cas) {
    uint64_t secteurs = 77;
    uint32_t octets = 77;
    EXPECT_EQ(secteursTableauGPT(c.nombre, c.taille, c.secteur, &secteurs, &octets), c.accepte)
        << c.nombre << " x " << c.taille;
    EXPECT_EQ(secteurs, c.accepte ? c.secteurs : 77u);
    EXPECT_EQ(octets, c.accepte ? c.nombre * c.taille : 77u);
  }
}

#ifndef _WIN32
namespace {

const char* const GUID_DISQUE = "11111111-2222-3333-4444-555555555555";

// Writes the header CRC the way a table editor does.
void signer(T_EnteteGPT* e) {
  e->crcEntete.ecrire(0);
  e->crcEntete.ecrire(static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(e), e->tailleEntete.lire())));
}

T_EnteteGPT* entete(std::vector<uint8_t>& secteur) {
  return reinterpret_cast<T_EnteteGPT*>(secteur.data());
}

// A 16 MiB disk of 512-byte sectors partitioned by sgdisk with types of the
// table and one outside it.
class GPTSgdisk : public ::testing::Test {
 protected:
  void SetUp() override {
    if (image_.commande(std::string("sgdisk -o -U ") + GUID_DISQUE +
                        " -n 1:2048:+1M -t 1:ef00 -u 1:A0000000-0000-0000-0000-000000000001"
                        " -n 2:0:+1M -t 2:0700 -n 3:0:+1M -t 3:8200 -n 4:0:+1M -t 4:fd00"
                        " -n 5:0:+1M -t 5:8e00 -n 6:0:+1M -t 6:2700 -n 7:0:+1M -t 7:ef02"
                        " -n 8:0:+1M -t 8:8300 -n 9:0:+1M -t 9:a504 IMG") != 0)
      GTEST_SKIP() << "sgdisk not available";
    primaire_ = image_.lire(512, 512);
    derniers_ = image_.taille() / 512 - 1;
    secours_ = image_.lire(derniers_ * 512, 512);
    ASSERT_EQ(primaire_.size(), 512u);
    ASSERT_EQ(secours_.size(), 512u);
  }
  ImageOutils image_{16 << 20};
  std::vector<uint8_t> primaire_, secours_;
  uint64_t derniers_ = 0;
};

TEST_F(GPTSgdisk, EntetesAcceptes) {
  EXPECT_TRUE(verifierEnteteGPT(entete(primaire_), 512, 1, nullptr));
  EXPECT_EQ(entete(primaire_)->secteurAlternatif.lire(), derniers_);
  EXPECT_TRUE(verifierEnteteGPT(entete(secours_), 512, derniers_, entete(primaire_)));
  // A backup is not a primary, nor a primary a backup.
  EXPECT_FALSE(verifierEnteteGPT(entete(secours_), 512, derniers_, nullptr));
  EXPECT_FALSE(verifierEnteteGPT(entete(primaire_), 512, 1, entete(primaire_)));
  std::string sortie;
  ASSERT_EQ(image_.commande("sgdisk -p IMG", &sortie), 0);
  EXPECT_EQ(texte(texteGUID(entete(primaire_)->guidDisque)),
            valeurApres(sortie, "Disk identifier (GUID): "));
}

// GUIDs and type names of the entries against what sgdisk prints.
TEST_F(GPTSgdisk, EntreesCommeSgdisk) {
  const char* noms[] = {"EFI file system", "",           "Linux swap", "Linux RAID", "Linux LVM",
                        "Windows recovery", "BIOS boot", "Unknown",    "FreeBSD ZFS"};
  std::vector<uint8_t> tableau = image_.lire(2 * 512, 128 * 128);
  for (int i = 0; i < 9; ++i) {
    const T_EntreeGPT* e = reinterpret_cast<const T_EntreeGPT*>(tableau.data()) + i;
    std::string sortie;
    ASSERT_EQ(image_.commande("sgdisk -i " + std::to_string(i + 1) + " IMG", &sortie), 0);
    std::string code = valeurApres(sortie, "Partition GUID code: ").substr(0, 36);
    EXPECT_EQ(texte(texteGUID(e->guidType)), code);
    EXPECT_EQ(texte(texteGUID(e->guidUnique)), valeurApres(sortie, "Partition unique GUID: "));
    EXPECT_EQ(texte(nomTypeGPT(e->guidType)), noms[i]) << code;
    EXPECT_EQ(std::to_string(e->premierSecteur.lire()),
              valeurApres(sortie, "First sector: ").substr(0, std::to_string(e->premierSecteur.lire()).size()));
  }
  EXPECT_EQ(texte(texteGUID(reinterpret_cast<const T_EntreeGPT*>(tableau.data())->guidUnique)),
            "A0000000-0000-0000-0000-000000000001");
}

struct CasEntete {
  const char* nom;
  std::function<void(T_EnteteGPT*)> modifier;
  bool valide;
};

void verifierCas(const std::vector<uint8_t>& original, uint64_t attendu, const T_EnteteGPT* autre,
                 const std::vector<CasEntete>& cas) {
  for (const CasEntete& c : cas) {
    std::vector<uint8_t> copie = original;
    c.modifier(entete(copie));
    signer(entete(copie));
    std::vector<uint8_t> avant = copie;
    EXPECT_EQ(verifierEnteteGPT(entete(copie), 512, attendu, autre), c.valide) << c.nom;
    EXPECT_EQ(copie, avant) << c.nom << ": the header must come back unchanged";
  }
}

// Each rule of a primary broken alone (the CRC written again after).
TEST_F(GPTSgdisk, ReglesDuPrimaire) {
  const std::vector<CasEntete> cas = {
      {"unchanged", [](T_EnteteGPT*) {}, true},
      {"signature", [](T_EnteteGPT* e) { e->signature.octets[7] = 'S'; }, false},
      {"revision", [](T_EnteteGPT* e) { e->revision.ecrire(0x00010001); }, false},
      {"reserved", [](T_EnteteGPT* e) { e->reserve.ecrire(1); }, false},
      {"header size 91", [](T_EnteteGPT* e) { e->tailleEntete.ecrire(91); }, false},
      {"header size 513", [](T_EnteteGPT* e) { e->tailleEntete.ecrire(513); }, false},
      {"header size 512", [](T_EnteteGPT* e) { e->tailleEntete.ecrire(512); }, true},
      {"usable range reversed",
       [](T_EnteteGPT* e) {
         e->dernierSecteurUtilisable.ecrire(e->premierSecteurUtilisable.lire() - 1);
       },
       false},
      {"one usable sector",
       [](T_EnteteGPT* e) { e->dernierSecteurUtilisable.ecrire(e->premierSecteurUtilisable.lire()); },
       true},
      {"current sector", [](T_EnteteGPT* e) { e->secteurCourant.ecrire(2); }, false},
      {"entry size 0", [](T_EnteteGPT* e) { e->tailleEntree.ecrire(0); }, false},
      {"entry size 127", [](T_EnteteGPT* e) { e->tailleEntree.ecrire(127); }, false},
      {"entry size 256", [](T_EnteteGPT* e) { e->tailleEntree.ecrire(256); }, false},
      {"array at sector 1", [](T_EnteteGPT* e) { e->secteurEntrees.ecrire(1); }, false},
      {"first usable inside the array",
       [](T_EnteteGPT* e) { e->premierSecteurUtilisable.ecrire(33); }, false},
      {"array of 8192 entries",
       [](T_EnteteGPT* e) {
         e->nombreEntrees.ecrire(8192);
         e->premierSecteurUtilisable.ecrire(2 + 2048);
       },
       true},
      {"array above the limit",
       [](T_EnteteGPT* e) {
         e->nombreEntrees.ecrire(8193);
         e->premierSecteurUtilisable.ecrire(2 + 2049);
       },
       false},
      // 0x02000000 x 128 is 0 in 32 bits: an empty array for a careless reader.
      {"entry count 0x02000000", [](T_EnteteGPT* e) { e->nombreEntrees.ecrire(0x02000000); },
       false},
      {"entry count 0x01FFFFFF",
       [](T_EnteteGPT* e) {
         e->nombreEntrees.ecrire(0x01FFFFFF);
         e->premierSecteurUtilisable.ecrire(0x01000000);
         e->dernierSecteurUtilisable.ecrire(0x02000000);
       },
       false},
      {"array end wraps 64 bits",
       [](T_EnteteGPT* e) {
         e->secteurEntrees.ecrire(~uint64_t{0} - 3);
         e->premierSecteurUtilisable.ecrire(10);
       },
       false},
      {"no entries", [](T_EnteteGPT* e) { e->nombreEntrees.ecrire(0); }, true},
  };
  verifierCas(primaire_, 1, nullptr, cas);
}

// Each rule of a backup against its primary broken alone.
TEST_F(GPTSgdisk, ReglesDuSecours) {
  const uint64_t dernier = derniers_;
  const std::vector<CasEntete> cas = {
      {"unchanged", [](T_EnteteGPT*) {}, true},
      {"header size", [](T_EnteteGPT* e) { e->tailleEntete.ecrire(96); }, false},
      {"first usable", [](T_EnteteGPT* e) { e->premierSecteurUtilisable.ecrire(35); }, false},
      {"last usable",
       [](T_EnteteGPT* e) {
         e->dernierSecteurUtilisable.ecrire(e->dernierSecteurUtilisable.lire() - 1);
       },
       false},
      {"disk GUID", [](T_EnteteGPT* e) { e->guidDisque[15] ^= 1; }, false},
      {"entry count", [](T_EnteteGPT* e) { e->nombreEntrees.ecrire(127); }, false},
      {"entry CRC", [](T_EnteteGPT* e) { e->crcEntrees.ecrire(e->crcEntrees.lire() + 1); },
       false},
      {"array inside the usable area",
       [](T_EnteteGPT* e) { e->secteurEntrees.ecrire(e->dernierSecteurUtilisable.lire()); },
       false},
      {"alternate sector", [](T_EnteteGPT* e) { e->secteurAlternatif.ecrire(2); }, false},
      {"array runs into the header",
       [](T_EnteteGPT* e) { e->secteurEntrees.ecrire(e->secteurEntrees.lire() + 1); }, false},
      {"current sector", [dernier](T_EnteteGPT* e) { e->secteurCourant.ecrire(dernier - 1); },
       false},
      {"array end wraps 64 bits",
       [](T_EnteteGPT* e) { e->secteurEntrees.ecrire(~uint64_t{0} - 3); }, false},
  };
  verifierCas(secours_, dernier, entete(primaire_), cas);

  // The primary's own entry size is checked too.
  std::vector<uint8_t> autre = primaire_;
  entete(autre)->tailleEntree.ecrire(256);
  EXPECT_FALSE(verifierEnteteGPT(entete(secours_), 512, dernier, entete(autre)));
  // Huge entry counts on both sides.
  std::vector<uint8_t> grand = primaire_, grandSecours = secours_;
  for (auto* e : {entete(grand), entete(grandSecours)}) {
    e->nombreEntrees.ecrire(0x02000000);
    signer(e);
  }
  EXPECT_FALSE(verifierEnteteGPT(entete(grandSecours), 512, dernier, entete(grand)));
}

TEST_F(GPTSgdisk, MauvaisCRC) {
  std::vector<uint8_t> copie = primaire_;
  entete(copie)->crcEntete.ecrire(entete(copie)->crcEntete.lire() ^ 0x80);
  std::vector<uint8_t> avant = copie;
  EXPECT_FALSE(verifierEnteteGPT(entete(copie), 512, 1, nullptr));
  EXPECT_EQ(copie, avant);
  // A byte covered by the CRC but by no rule.
  copie = primaire_;
  copie[91] ^= 1;
  EXPECT_FALSE(verifierEnteteGPT(entete(copie), 512, 1, nullptr));
}

// A header size past the buffer is refused before any byte past it is read
// (the buffer is exactly one sector on the heap).
TEST_F(GPTSgdisk, TailleEnteteHorsDuSecteur) {
  for (uint32_t taille : {513u, 0xFFFFFFFFu}) {
    uint8_t* secteur = static_cast<uint8_t*>(malloc(512));
    memcpy(secteur, primaire_.data(), 512);
    reinterpret_cast<T_EnteteGPT*>(secteur)->tailleEntete.ecrire(taille);
    EXPECT_FALSE(verifierEnteteGPT(reinterpret_cast<T_EnteteGPT*>(secteur), 512, 1, nullptr));
    free(secteur);
  }
}

// 4096-byte sectors, laid out by fdisk (sgdisk takes 512 for an image).
TEST(GPTFdisk, Secteurs4096) {
  ImageOutils image(16 << 20);
  if (image.commande("printf 'g\\nn\\n\\n\\n+1M\\nw\\n' | fdisk -b 4096 IMG") != 0)
    GTEST_SKIP() << "fdisk not available";
  std::vector<uint8_t> primaire = image.lire(4096, 4096);
  ASSERT_EQ(primaire.size(), 4096u);
  EXPECT_TRUE(verifierEnteteGPT(entete(primaire), 4096, 1, nullptr));
  uint64_t alternatif = entete(primaire)->secteurAlternatif.lire();
  EXPECT_EQ(alternatif, 4095u);
  std::vector<uint8_t> secours = image.lire(alternatif * 4096, 4096);
  EXPECT_TRUE(verifierEnteteGPT(entete(secours), 4096, alternatif, entete(primaire)));
  uint64_t secteurs = 0;
  ASSERT_TRUE(secteursTableauGPT(entete(primaire)->nombreEntrees.lire(), 128, 4096, &secteurs,
                                 nullptr));
  EXPECT_EQ(secteurs, 4u);
  std::string sortie;
  ASSERT_EQ(image.commande("fdisk -b 4096 -l IMG", &sortie), 0);
  EXPECT_EQ(texte(texteGUID(entete(primaire)->guidDisque)),
            valeurApres(sortie, "Disk identifier: "));
}
}  // namespace
#endif
