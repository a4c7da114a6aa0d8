#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "core/erreurs.h"
#include "core/format.h"
#include "support/enfant.h"
#include "support_memoire.h"

typedef Support_Bloc::T_Identifiant Id;

namespace {

// A partition-like medium: holds a plain reference on its disk and gives it
// back when it goes.
class SupportDependant : public SupportMemoire {
 public:
  SupportDependant(Support_Bloc* disque, int32_t numero, const char* n) : SupportMemoire(10), disque_(disque) {
    identifiant_ = Id(ID_PARTITION_MBR, &disque->identifiant(), numero);
    nom = n;
    disque_->acquerir(0);
  }
  ~SupportDependant() override { disque_->liberer(0); }
  bool dependDe(const Support_Bloc* autre) const override {
    return Support_Bloc::dependDe(autre) || disque_->dependDe(autre);
  }

 private:
  Support_Bloc* disque_;
};

SupportMemoire* disque(uint32_t numero, const char* nom) {
  SupportMemoire* s = new SupportMemoire(1000);
  s->fixerIdentifiant(Id(ID_DISQUE, numero));
  s->nom = nom;
  return s;
}

}  // namespace

class Registre : public TestSupports {};

TEST_F(Registre, ReferencesEtSuppression) {
  SupportMemoire* seul = new SupportMemoire(10);
  EXPECT_TRUE(seul->liberer(0));  // one reference from registration
  SupportMemoire* d0 = disque(0, "d0");
  disque(1, "d1");
  EXPECT_EQ(SupportBlocManager::findSupport(Id(ID_DISQUE, 0u)), d0);
  EXPECT_EQ(SupportBlocManager::findSupport(Id(ID_DISQUE, 0u)), d0);
  EXPECT_EQ(SupportBlocManager::findSupport(Id(ID_DISQUE, 7u)), nullptr);
  EXPECT_EQ(SupportBlocManager::findSupport(Id()), nullptr);
  EXPECT_FALSE(d0->liberer(0));
  EXPECT_FALSE(d0->liberer(0));
  EXPECT_EQ(SupportMemoire::supprimes, std::vector<std::string>{""});
  EXPECT_TRUE(d0->liberer(0));
  EXPECT_EQ(SupportMemoire::supprimes.back(), "d0");
  EXPECT_TRUE(SupportBlocManager::release(nullptr, 0));
}

TEST_F(Registre, CompteursEtEtat) {
  SupportMemoire* d = disque(2, "d");
  d->acquerir(REFERENCE_UTILISATION);
  d->ajouterChemin("/dev/sdc", true);
  EXPECT_TRUE(SupportBlocManager::state(d->identifiant(), REFERENCE_UTILISATION));
  EXPECT_FALSE(SupportBlocManager::state(d->identifiant(), REFERENCE_ACCES));
  EXPECT_TRUE(SupportBlocManager::state(d->identifiant(), REFERENCE_ACCES | REFERENCE_UTILISATION));
  EXPECT_FALSE(SupportBlocManager::state(Id(ID_DISQUE, 9u), REFERENCE_ACCES | REFERENCE_UTILISATION));
  EXPECT_TRUE(SupportBlocManager::pathInUse("/dev/sdc"));
  EXPECT_FALSE(d->liberer(REFERENCE_UTILISATION));
  EXPECT_FALSE(SupportBlocManager::pathInUse("/dev/sdc"));
  // The last access reference closes the medium.
  ASSERT_EQ(d->ouvrirAcces(), nullptr);
  EXPECT_FALSE(d->liberer(REFERENCE_ACCES));
  EXPECT_FALSE(d->estOuvert());
  EXPECT_EQ(d->fermetures, 1);
  EXPECT_EQ(SupportBlocManager::entry(0).references, 1);
}

TEST_F(Registre, IdentifiantQuiNEgaleRienNeLaissePasDEntreeOrpheline) {
  // A kind-10 identifier equals nothing, not even itself: its counts must
  // still go to the medium's own entry.
  SupportMemoire* vide = new SupportMemoire(10);
  vide->fixerIdentifiant(Id());
  vide->acquerir(0);
  EXPECT_FALSE(vide->liberer(0));
  EXPECT_TRUE(vide->liberer(0));
  EXPECT_EQ(SupportBlocManager::count(), 0u);
  // Two media with one identifier: each release counts on its own entry.
  SupportMemoire* a = disque(3, "a");
  EXPECT_TRUE(disque(3, "b")->liberer(0));
  ASSERT_EQ(SupportBlocManager::count(), 1u);
  EXPECT_EQ(SupportBlocManager::entry(0).support, a);
}

TEST_F(Registre, Conflits) {
  SupportMemoire* d = disque(0, "d");
  SupportDependant* p = new SupportDependant(d, 1, "p");
  SupportMemoire* autre = disque(1, "autre");
  EXPECT_FALSE(SupportBlocManager::conflicts(p, false));  // nothing in use
  d->acquerir(REFERENCE_UTILISATION);
  EXPECT_TRUE(SupportBlocManager::conflicts(p, false));
  EXPECT_FALSE(SupportBlocManager::conflicts(autre, false));
  EXPECT_FALSE(SupportBlocManager::conflicts(d, true));
  d->ajouterChemin("/dev/sdx", true);  // a shared path is a conflict too
  autre->ajouterChemin("/dev/sdx", true);
  EXPECT_TRUE(SupportBlocManager::conflicts(autre, false));
}

TEST_F(Registre, UnCompteDUtilisationSousZeroCompteAussi) {
  // A use reference given back that was never taken leaves -1, which the
  // walk sees like any count that is not 0.
  SupportMemoire* d = disque(0, "d");
  SupportDependant* p = new SupportDependant(d, 1, "p");
  d->acquerir(0);
  EXPECT_FALSE(SupportBlocManager::conflicts(p, false));
  EXPECT_FALSE(d->liberer(REFERENCE_UTILISATION));
  EXPECT_EQ(SupportBlocManager::entry(0).utilisation, -1);
  EXPECT_TRUE(SupportBlocManager::conflicts(p, false));
  d->ajouterChemin("/dev/sdy", true);
  EXPECT_TRUE(SupportBlocManager::pathInUse("/dev/sdy"));
}

TEST_F(Registre, LiberationGeneraleDependantsDAbord) {
  SupportMemoire* d = disque(0, "disque");
  new SupportDependant(d, 1, "p1");
  new SupportDependant(d, 2, "p2");
  ASSERT_EQ(d->ouvrirAcces(), nullptr);
  EXPECT_EQ(SupportBlocManager::entry(0).references, 4);
  SupportBlocManager::addToCache(d->identifiant(), "x", false);
  SupportBlocManager::releaseAtExit();
  EXPECT_EQ(SupportMemoire::supprimes, (std::vector<std::string>{"p2", "p1", "disque"}));
  EXPECT_EQ(SupportBlocManager::count(), 0u);
  EXPECT_FALSE(SupportBlocManager::inCache(Id(ID_DISQUE, 0u)));
}

TEST_F(Registre, LiberationGeneraleDisqueApresUnDependantPlusReference) {
  // p2 holds more references than its disk: the disk still waits for it.
  SupportMemoire* d = disque(0, "disque");
  new SupportDependant(d, 1, "p1");
  SupportDependant* p2 = new SupportDependant(d, 2, "p2");
  p2->acquerir(0);
  p2->acquerir(0);
  p2->acquerir(0);
  disque(1, "autre");
  EXPECT_EQ(SupportBlocManager::entry(0).references, 3);
  SupportBlocManager::releaseAll();
  EXPECT_EQ(SupportMemoire::supprimes, (std::vector<std::string>{"autre", "p1", "p2", "disque"}));
  EXPECT_EQ(SupportBlocManager::count(), 0u);
}

namespace {

// Builds a disk and two partitions, runs the exit list and ends with 0 when
// the dependants went first and nothing is left.
void sortirAvecSupports() {
  SupportMemoire* d = disque(0, "disque");
  new SupportDependant(d, 1, "p1");
  new SupportDependant(d, 2, "p2");
  SupportBlocManager::installReleaseAtExit();
  executerFonctionsSortie();
  const std::vector<std::string> attendu = {"p2", "p1", "disque"};
  exit(SupportMemoire::supprimes == attendu && SupportBlocManager::count() == 0 ? 0 : 3);
}

}  // namespace

TEST_F(Registre, LiberationALaSortie) {
  // In a child, so the exit list runs for real; the release registers
  // itself again while more than one medium is left.
  EXPECT_EXIT(sortirAvecSupports(), testing::ExitedWithCode(0), "");
}

namespace {

void annoncerSupports() {
  afficherMessage("supports=%u\n", static_cast<unsigned>(SupportBlocManager::count()));
}

}  // namespace

TEST_F(Registre, RienNEstLibereApresUnSignalFatal) {
  // The heap may be damaged: the media stay registered and undeleted.
  ResultatEnfant r = executerEnfant([] {
    ajouterFonctionSortie(annoncerSupports);
    disque(0, "disque");
    SupportBlocManager::installReleaseAtExit();
    traitementSignal(SIGSEGV);
  }, "\n\n");
  EXPECT_EQ(r.statut, 255);
  EXPECT_EQ(r.sortie.rfind("supports=1\n", 0), 0u) << r.sortie;
}
