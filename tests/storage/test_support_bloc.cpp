#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memoire.h"
#include "storage/file_header.h"
#include "substitut_verrous.h"
#include "support/enfant.h"
#include "support_memoire.h"

typedef Support_Bloc::T_Identifiant Id;

namespace {

const char* const REFUS_TYPE = "Program cannot treat this type of element for this operation.";

// Takes a newly allocated text and gives it back as a string.
std::string texte(char* t) {
  std::string s = t ? t : "(null)";
  free(t);
  return s;
}

}  // namespace

class SupportBloc : public TestSupports {
 protected:
  void SetUp() override {
    TestSupports::SetUp();
    journalVerrous.clear();
    cheminsRefuses.clear();
  }
  void TearDown() override {
    TestSupports::TearDown();
    SupportBlocManager::activerCache(false);
  }
};

TEST_F(SupportBloc, RefusDOuvertureGarde) {
  SupportMemoire* anonyme = new SupportMemoire(10);  // kind 7, as born
  EXPECT_STREQ(anonyme->ouvrirAcces(), REFUS_TYPE);
  EXPECT_STREQ(anonyme->ouvrirAcces(), REFUS_TYPE);
  EXPECT_EQ(anonyme->ouvertures, 1);  // ouvrir is not asked again
  SupportMemoire* sansTaille = new SupportMemoire(10, 0);
  sansTaille->fixerIdentifiant(Id(ID_DISQUE, 0u));
  EXPECT_STREQ(sansTaille->ouvrirAcces(), REFUS_TYPE);
  SupportMemoire* occupe = new SupportMemoire(10);
  occupe->fixerIdentifiant(Id(ID_DISQUE, 1u));
  occupe->refusOuvrir = "busy";
  EXPECT_STREQ(occupe->ouvrirAcces(), "busy");
  occupe->refusOuvrir = nullptr;
  EXPECT_STREQ(occupe->ouvrirAcces(), "busy");
  EXPECT_FALSE(occupe->estOuvert());
}

TEST_F(SupportBloc, OuvertureComptee) {
  SupportMemoire* s = new SupportMemoire(10);
  s->fixerIdentifiant(Id(ID_DISQUE, 4u));
  ASSERT_EQ(s->ouvrirAcces(), nullptr);
  ASSERT_EQ(s->ouvrirAcces(), nullptr);
  EXPECT_EQ(s->ouvertures, 1);
  EXPECT_EQ(SupportBlocManager::entry(0).acces, 2);
  EXPECT_EQ(SupportBlocManager::entry(0).references, 3);
  s->fermerAcces();
  EXPECT_TRUE(s->estOuvert());
  s->fermerAcces();
  EXPECT_FALSE(s->estOuvert());
  s->fermerAcces();
  EXPECT_EQ(s->fermetures, 1);
  EXPECT_EQ(SupportBlocManager::entry(0).references, 1);
}

TEST_F(SupportBloc, AccesSansOuvertureFatal) {
  SupportMemoire* s = new SupportMemoire(10);
  ResultatEnfant r = executerEnfant([s] { s->acquerir(REFERENCE_ACCES); }, "\n\n");
  EXPECT_EQ(r.statut, 1);
  EXPECT_EQ(r.sortie.rfind("Error: Support has not been initialized before accessing it.\n", 0), 0u)
      << r.sortie;
}

TEST_F(SupportBloc, Chemins) {
  SupportMemoire* s = new SupportMemoire(10);
  s->ajouterChemin("/dev/sda1", true);
  s->ajouterChemin(nullptr, true);
  s->ajouterChemin("/mnt/data", false);
  s->ajouterChemin("/dev/sda1", false);  // already there: not even its flag changes
  ASSERT_EQ(s->chemins().count(), 2u);
  EXPECT_TRUE(s->cheminsPeripherique()[0]);
  EXPECT_FALSE(s->contientChemin("/MNT/data"));
  StringArray autres;
  EXPECT_EQ(s->refusRestauration(&autres), nullptr);
  s->retirerChemin("/dev/sda1");
  ASSERT_EQ(s->chemins().count(), 1u);
  EXPECT_FALSE(s->cheminsPeripherique()[0]);  // the flag went with its path
}

TEST_F(SupportBloc, VerrouillageDesCheminsToutOuRien) {
  SupportMemoire* s = new SupportMemoire(10);
  s->ajouterChemin("a", true);
  s->ajouterCheminNul();
  s->ajouterChemin("b", true);
  s->ajouterChemin("c", true);
  EXPECT_EQ(s->verrouillerChemins(0), nullptr);
  s->deverrouillerChemins(1);
  cheminsRefuses = {"c"};
  EXPECT_EQ(s->verrouillerChemins(0), REFUS_VERROU_TEST);
  cheminsRefuses = {"a"};
  EXPECT_EQ(s->verrouillerChemins(0), REFUS_VERROU_TEST);
  EXPECT_EQ(journalVerrous, (std::vector<std::string>{
                                "lock a", "lock b", "lock c", "unlock c", "unlock b",  // null skipped
                                "lock a", "lock b", "lock c", "unlock b", "unlock a",  // c refused
                                "lock a"}));
}

TEST_F(SupportBloc, Hibernation) {
  // Signature at the end of the first 4, 8, 16 or 64 KiB, whatever the size.
  struct Cas {
    uint16_t taille;
    size_t position;
    bool hiberne;
  } cas[] = {{512, 4086, true}, {512, 8182, true},  {4096, 16374, true}, {2048, 65526, true},
             {3000, 65526, true}, {32768, 65526, true}, {512, 4000, false}};
  for (const Cas& c : cas) {
    SupportBlocManager::releaseAll();
    SupportBlocManager::activerCache(true);
    SupportMemoire* s = new SupportMemoire(200, c.taille);
    s->fixerIdentifiant(Id(ID_DISQUE, 0u));
    std::vector<uint8_t>& image = s->ecrits[c.position / c.taille];
    image.assign(c.taille, 0);
    memcpy(&image[c.position % c.taille], "S1SUSPEND", 10);
    s->verifierHibernation();
    EXPECT_EQ(SupportBlocManager::cacheFlagged(), c.hiberne) << c.taille << " " << c.position;
    size_t lectures = s->journal.size();
    EXPECT_GT(lectures, 0u);
    s->detecterHibernation();  // cached: not read again
    EXPECT_EQ(s->journal.size(), lectures);
    EXPECT_EQ(texte(s->texteEtat()), "(null)");
  }
}

TEST_F(SupportBloc, HibernationNonLue) {
  SupportMemoire* horsCache = new SupportMemoire(200);
  horsCache->fixerIdentifiant(Id(ID_DISQUE, 0u));
  horsCache->detecterHibernation();  // the switch is off
  SupportBlocManager::activerCache(true);
  SupportMemoire* sansTaille = new SupportMemoire(200, 0);
  sansTaille->fixerIdentifiant(Id(ID_DISQUE, 1u));
  sansTaille->detecterHibernation();  // no division by the size
  SupportMemoire* monte = new SupportMemoire(200);
  monte->fixerIdentifiant(Id(ID_DISQUE, 2u));
  monte->ajouterChemin("/mnt/x", false);  // not only device paths
  monte->detecterHibernation();
  for (SupportMemoire* s : {horsCache, sansTaille, monte}) {
    EXPECT_TRUE(s->journal.empty());
    EXPECT_TRUE(SupportBlocManager::inCache(s->identifiant()));
  }
  EXPECT_FALSE(SupportBlocManager::cacheFlagged());
}

TEST_F(SupportBloc, TextesEtEntete) {
  SupportMemoire* s = new SupportMemoire(1000);
  EXPECT_EQ(texte(s->description(0)), "Supports");
  EXPECT_EQ(texte(s->description(1)), "(null)");
  EXPECT_EQ(texte(s->texteDescription(1)), "");
#ifdef _WIN32
  EXPECT_EQ(texte(s->description(3)), "    |                        |     |    |     |  500.00 kB | ");
  EXPECT_EQ(texte(s->description(12)),
            "Dis | Support                | Num | D. | Id. | Size(GB)   | Name");
#else
  EXPECT_EQ(texte(s->description(3)), "    |                        |          |     |  500.00 kB | ");
  EXPECT_EQ(texte(s->description(12)),
            "Dis | Support                | Device   | Id. | Size(GB)   | Name");
#endif
  EXPECT_EQ(texte(s->texteSecteur(0)), "0");
  EXPECT_EQ(texte(s->texteSecteur(1ull << 40)), "1099511627776");

  Id disque(ID_DISQUE, 0u);
  s->fixerIdentifiant(Id(ID_PARTITION_GPT, &disque, 2));
  T_FileHeader entete;
  memset(&entete, 0, sizeof entete);
  s->remplirInfo(&entete);
  entete.infoDisque.tailleSecteur.ecrire(0x1234);
  entete.infoPartition.premierSecteur.ecrire(0x0102030405060708ull);
  entete.crcEntete.ecrire(0xA1B2C3D4u);
  const uint8_t* octets = reinterpret_cast<const uint8_t*>(&entete);
  EXPECT_EQ(octets[16], ID_PARTITION_GPT);
  EXPECT_EQ(octets[66] | octets[67] << 8, 0x1234);
  EXPECT_EQ(octets[86] + octets[93] * 256, 0x0108);
  EXPECT_EQ(std::vector<uint8_t>(octets + 9, octets + 13), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_EQ(entete.crcEntete.lire(), 0xA1B2C3D4u);
  EXPECT_EQ(entete.infoPartition.premierSecteur.lire(), 0x0102030405060708ull);
}

namespace {

// A medium with its own level-4 column text and a name.
class SupportDecrit : public SupportMemoire {
 public:
  explicit SupportDecrit(const std::string& colonne) : SupportMemoire(1000), colonne_(colonne) {}
  char* description(int niveau) const override {
    if (niveau == 4) return xstrdup(colonne_.c_str());
    if (niveau == 15) return xstrdup("nom");
    return SupportMemoire::description(niveau);
  }

 private:
  std::string colonne_;
};

}  // namespace

TEST_F(SupportBloc, PremiereColonneCoupeeA39Caracteres) {
  const std::string t39 = "sda1 | Linux                  | /dev/sd";
  const std::pair<std::string, std::string> cas[] = {
      {"court", "court" + std::string(34, ' ')},
      {t39, t39},
      {t39 + "a1 et plus", t39},
  };
  for (const auto& c : cas) {
    SupportDecrit* s = new SupportDecrit(c.first);
    EXPECT_EQ(texte(s->description(3)), c.second + " |     |  500.00 kB | nom") << c.first;
    EXPECT_TRUE(s->liberer(0));
  }
}
