// tablens' report routines on disks in memory: the exact size texts, the
// CHS checks of a CHS-access disk, and the GPT verification paths that the
// golden runs cannot reach (unreadable sectors, a partition list, counts
// that do not fit 32 bits).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "programs/tablens/tablens.h"
#include "storage/disque.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"
#include "support/flux_rediriges.h"

namespace {

T_InfoDisque geometrieDisque(uint64_t tetes, uint64_t cylindres, uint64_t secteurs, uint64_t nombre,
                       uint8_t acces) {
  T_InfoDisque g;
  memset(&g, 0, sizeof g);
  g.derniereTete.ecrire(tetes - 1);
  g.dernierCylindre.ecrire(cylindres - 1);
  g.secteursParPiste.ecrire(secteurs);
  g.nombreSecteurs.ecrire(nombre);
  g.tailleSecteur.ecrire(512);
  g.typeAcces = acces;
  return g;
}

struct CHS {
  uint16_t cylindre;
  uint8_t tete;
  uint16_t secteur;
};

T_InfoPartition entree(CHS debut, CHS fin, uint64_t premier, uint64_t nombre) {
  T_InfoPartition e;
  memset(&e, 0, sizeof e);
  e.numeroPrincipal = 1;
  e.typePartition = 0x83;
  e.debutCylindre.ecrire(debut.cylindre);
  e.debutTete = debut.tete;
  e.debutSecteur.ecrire(debut.secteur);
  e.finCylindre.ecrire(fin.cylindre);
  e.finTete = fin.tete;
  e.finSecteur.ecrire(fin.secteur);
  e.premierSecteur.ecrire(premier);
  e.nombreSecteurs.ecrire(nombre);
  return e;
}

class Rapport : public testing::Test {
 protected:
  void TearDown() override { SupportBlocManager::releaseAll(); }
};

TEST(TexteMegaOctets, ExactAussiAuDelaDe64Bits) {
  struct Cas {
    uint64_t secteurs;
    uint16_t taille;
    const char* texte;
  } cas[] = {
      {2048, 512, "1.00"},
      {1000, 512, "0.49"},
      {1, 512, "0.00"},
      {16384, 4096, "64.00"},
      {UINT64_MAX / 512, 512, "17592186044416.00"},
      // Products past 2^64: a wrapped product would print a small size.
      {UINT64_MAX, 512, "9007199254740992.00"},
      {UINT64_MAX, 4096, "72057594037927936.00"},
      {UINT64_MAX, 65535, "1152903912420802559.94"},
      {(uint64_t{1} << 63) + 12345, 3000, "26388279066624035.32"},
      {(uint64_t{1} << 63) + 256, 512, "4503599627370496.13"},  // .125 exactly: half up
  };
  for (const Cas& c : cas) {
    char* texte = texteMegaOctets(c.secteurs, c.taille);
    EXPECT_STREQ(texte, c.texte) << c.secteurs << " x " << c.taille;
    free(texte);
  }
}

// 16 heads, 63 sectors, 100 cylinders; 2 hidden cylinders.
TEST_F(Rapport, VerifierCHSPartition) {
  const uint64_t hs = 16 * 63;
  struct Cas {
    const char* nom;
    T_InfoPartition e;
    const char* sortie;
  } cas[] = {
      {"aligned", entree({0, 1, 1}, {9, 15, 63}, 63, 10 * hs - 63), ""},
      {"begin off a boundary", entree({0, 2, 1}, {9, 15, 63}, 63, 10 * hs - 63),
       "Warning: begin CHS definition of partition 1 is not at a cylinder boundary.\n"
       "This can be because of some bad definitions.\n"
       "Error: CHS and linear definitions for partition 1 are different\n"
       "(126 - 9954 != 63 - 10017).\n"},
      // The size counts from sector 0 when the begin is unusable.
      {"begin outside the disk", entree({200, 1, 1}, {9, 15, 63}, 63, 10 * hs - 63),
       "Error: begin CHS definition of partition 1 does not fit into disk definition\n"
       "(0 - 0 - 1 <= 200 - 1 - 1 <= 99 - 15 - 63).\n"
       "Error: CHS and linear definitions for partition 1 are different\n"
       "(0 - 10080 != 63 - 10017).\n"},
      {"end outside the disk", entree({0, 1, 1}, {9, 16, 63}, 63, 10 * hs - 63),
       "Error: end CHS definition of partition 1 does not fit into disk definition\n"
       "(0 - 0 - 1 <= 9 - 16 - 63 <= 99 - 15 - 63).\n"},
      {"end off a boundary", entree({0, 1, 1}, {9, 15, 62}, 63, 10 * hs - 64),
       "Warning: end CHS definition of partition 1 is not at a cylinder boundary.\n"
       "This can be because of some bad definitions.\n"},
      // Ends clipped at the last CHS cylinder: two more cylinders fit, a
      // third does not.
      {"clipped end, 2 cylinders more", entree({0, 1, 1}, {97, 15, 63}, 63, 100 * hs - 63), ""},
      {"clipped end, 3 cylinders more", entree({0, 1, 1}, {97, 15, 63}, 63, 101 * hs - 63),
       "Error: CHS and linear definitions for partition 1 are different\n"
       "(63 - 98721 != 63 - 101745).\n"},
      {"linear start differs", entree({1, 0, 1}, {9, 15, 63}, 63, 9 * hs),
       "Error: CHS and linear definitions for partition 1 are different\n"
       "(1008 - 9072 != 63 - 9072).\n"},
  };
  Disque_Standard* d = new Disque_Standard(200, geometrieDisque(16, 100, 63, 100 * hs, 1), 2);
  for (const Cas& c : cas) {
    Partition_MBR* p = Partition_MBR::creer(d, 1, c.e, nullptr);
    ASSERT_NE(p, nullptr);
    SortieCapturee sortie;
    bool ok = verifierCHSPartition(d, p);
    EXPECT_EQ(sortie.terminer(), c.sortie) << c.nom;
    EXPECT_EQ(ok, c.sortie[0] == '\0') << c.nom;
    p->liberer(0);
  }
  d->liberer(0);
}

// A 1000-sector disk whose sectors come from a map (zeros elsewhere) and
// whose chosen sectors fail.
class DisqueGPT : public Disque {
 public:
  DisqueGPT() : Disque(200, geometrieDisque(255, 1, 63, 1000, 0)) {}
  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage) override {
    uint8_t* octets = static_cast<uint8_t*>(tampon);
    for (uint32_t i = 0; i < nombre; ++i) {
      if (echecs.count(premier + i)) return false;
      auto s = secteurs.find(premier + i);
      if (s != secteurs.end())
        memcpy(octets + i * 512, s->second.data(), 512);
      else
        memset(octets + i * 512, 0, 512);
    }
    return true;
  }
  std::map<uint64_t, std::vector<uint8_t>> secteurs;
  std::set<uint64_t> echecs;
};

// A 128-entry GPT as sgdisk lays it out on 1000 sectors; its one used
// entry covers sectors premier to dernier.
void poserGPT(DisqueGPT* d, uint32_t nombreEntrees = 128, uint64_t premier = 0,
              uint64_t dernier = 0) {
  std::vector<uint8_t> tableau(128 * 128, 0);
  tableau[0] = 0xAF;
  tableau[16] = 1;
  reinterpret_cast<T_EntreeGPT*>(tableau.data())->premierSecteur.ecrire(premier);
  reinterpret_cast<T_EntreeGPT*>(tableau.data())->dernierSecteur.ecrire(dernier);
  const uint32_t crcTableau = static_cast<uint32_t>(crc32(0, tableau.data(), tableau.size()));
  for (uint64_t i = 0; i < 32; ++i) {
    std::vector<uint8_t> s(tableau.begin() + i * 512, tableau.begin() + (i + 1) * 512);
    d->secteurs[2 + i] = s;
    d->secteurs[967 + i] = s;
  }
  for (int secours = 0; secours < 2; ++secours) {
    std::vector<uint8_t> s(512, 0);
    T_EnteteGPT* h = reinterpret_cast<T_EnteteGPT*>(s.data());
    h->signature.ecrire(SIGNATURE_GPT);
    h->revision.ecrire(REVISION_GPT);
    h->tailleEntete.ecrire(92);
    h->secteurCourant.ecrire(secours ? 999 : 1);
    h->secteurAlternatif.ecrire(secours ? 1 : 999);
    h->premierSecteurUtilisable.ecrire(34);
    h->dernierSecteurUtilisable.ecrire(966);
    h->guidDisque[0] = 0x42;
    h->secteurEntrees.ecrire(secours ? 967 : 2);
    h->nombreEntrees.ecrire(nombreEntrees);
    h->tailleEntree.ecrire(128);
    h->crcEntrees.ecrire(crcTableau);
    h->crcEntete.ecrire(static_cast<uint32_t>(crc32(0, s.data(), 92)));
    d->secteurs[secours ? 999 : 1] = s;
  }
}

std::string verifier(DisqueGPT* d, const T_ListePartitions* liste) {
  SortieCapturee sortie;
  verifierGPT(d, liste, false);
  return sortie.terminer();
}

const char* const DEBUT = "Checking GPT definitions:\n";

TEST_F(Rapport, GPTSecteursIllisibles) {
  struct Cas {
    uint64_t secteur;
    const char* sortie;
  } cas[] = {
      {1, "Error: the GPT description cannot be read (sector 1).\n"},
      {20, "Error: the GPT partitions description cannot be read (32 sectors\nfrom sector 2).\n"},
      {998,
       "Error: the backup GPT partitions description cannot be read (32 sectors\n"
       "from sector 967).\n"},
  };
  for (const Cas& c : cas) {
    DisqueGPT* d = new DisqueGPT();
    poserGPT(d);
    d->echecs.insert(c.secteur);
    T_ListePartitions vide;
    EXPECT_EQ(verifier(d, &vide), std::string(DEBUT) + c.sortie) << c.secteur;
    d->liberer(0);
  }
}

TEST_F(Rapport, GPTPartitionsDeLaListe) {
  struct Cas {
    const char* nom;
    bool gpt;  // the list read from the GPT, else one MBR entry
    uint64_t premier, dernier;
    const char* sortie;
  } cas[] = {
      {"inside the usable area", false, 34, 965, "No error was found in GPT description.\n"},
      // A hybrid MBR's entry before the usable area is no GPT partition.
      {"MBR entry at sector 1", false, 1, 33, "No error was found in GPT description.\n"},
      {"GPT entry at the first usable sector", true, 34, 965,
       "No error was found in GPT description.\n"},
      // Listed with no sector; the message names the entry's last sector.
      {"GPT entry ending before it starts", true, 100, 50,
       "Error: partition 1 has its first sector (100) after its last one\n(50).\n"},
  };
  for (const Cas& c : cas) {
    DisqueGPT* d = new DisqueGPT();
    poserGPT(d, 128, c.premier, c.dernier);
    // The usable area ends one sector earlier in both headers.
    for (uint64_t s : {uint64_t{1}, uint64_t{999}}) {
      T_EnteteGPT* e = reinterpret_cast<T_EnteteGPT*>(d->secteurs[s].data());
      e->dernierSecteurUtilisable.ecrire(965);
      e->crcEntete.ecrire(0);
      e->crcEntete.ecrire(static_cast<uint32_t>(crc32(0, d->secteurs[s].data(), 92)));
    }
    T_ListePartitions liste;
    if (c.gpt)
      liste = Disque::listePartitionsGPT(d, nullptr, nullptr, false);
    else
      liste.add(Partition_MBR::creer(
          d, 1, entree({0, 0, 1}, {0, 0, 1}, c.premier, c.dernier + 1 - c.premier), nullptr));
    ASSERT_EQ(liste.count(), 1u) << c.nom;
    EXPECT_EQ(verifier(d, &liste), std::string(DEBUT) + c.sortie) << c.nom;
    liste[0]->liberer(0);
    d->liberer(0);
  }
}

// The listing refused a GPT that every check here accepts.
TEST_F(Rapport, GPTRefuseSansRaison) {
  DisqueGPT* d = new DisqueGPT();
  poserGPT(d);
  EXPECT_EQ(verifier(d, nullptr),
            std::string(DEBUT) +
                "Disk seems to use GUID partitions table, but this one is not recognised.\n"
                "The reason why GUID partitions table is not recognised cannot be found.\n");
  d->liberer(0);
}

// Refused primary headers and their dumps. An entry count whose array does
// not fit 32 bits: the dump sizes the array in 64 bits, with nothing read or
// allocated for it. An array at sector 1 is wrong, even before a usable area
// that starts after it.
TEST_F(Rapport, GPTEnteteRefuse) {
  struct Cas {
    uint32_t nombreEntrees;
    uint64_t secteurTableau;
    std::vector<std::string> lignes;
  } cas[] = {
      {0x02000000, 2,  // 4 GiB of entries
       {"  first usable sector: 34 (wrong)\n", "  partitions entries sector: 2 (wrong)\n",
        "  number of partition entries: 33554432\n"}},
      {128, 1, {"  first usable sector: 34 (correct)\n", "  partitions entries sector: 1 (wrong)\n"}},
  };
  for (const Cas& c : cas) {
    DisqueGPT* d = new DisqueGPT();
    poserGPT(d, c.nombreEntrees);
    T_EnteteGPT* e = reinterpret_cast<T_EnteteGPT*>(d->secteurs[1].data());
    e->secteurEntrees.ecrire(c.secteurTableau);
    e->crcEntete.ecrire(0);
    e->crcEntete.ecrire(static_cast<uint32_t>(crc32(0, d->secteurs[1].data(), 92)));
    std::string s = verifier(d, nullptr);
    EXPECT_NE(s.find("Error: the GPT description is wrong:\n"), std::string::npos) << s;
    for (const std::string& l : c.lignes) EXPECT_NE(s.find(l), std::string::npos) << s;
    d->liberer(0);
  }
}

}  // namespace
