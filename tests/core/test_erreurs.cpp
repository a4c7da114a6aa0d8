#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "support/enfant.h"
#include "support/sortie_arbre.h"

// Outside the anonymous namespace: with a closed hierarchy the compiler would
// drop the call through the pure slot.
struct BaseVirtuellePure {
  BaseVirtuellePure();
  virtual ~BaseVirtuellePure() = default;
  virtual void faire() = 0;
};
BaseVirtuellePure* volatile enConstruction;
__attribute__((noinline)) void appelerFaire() { enConstruction->faire(); }
BaseVirtuellePure::BaseVirtuellePure() {
  enConstruction = this;
  appelerFaire();
}
struct DeriveeVirtuellePure : BaseVirtuellePure {
  void faire() override { afficherMessage("derived"); }
};

namespace {

const std::string PAUSE = TEXTE_PAUSE;

// Changes errno and shows that the exit functions ran before the message.
void sortieBruyante() {
  errno = EBADF;
  afficherMessage("[exit]");
}

TEST(ErreurFatale, MessageTexteSystemeArbreEtStatut) {
  const std::string enoent = strerror(ENOENT);
  const struct {
    const char* message;
    unsigned drapeaux;
    int statut;
    std::string avant;  // expected output before any tree
    bool arbre;
  } cas[] = {
      {"boom", 0, 1, "[exit]Error: boom\n" + PAUSE, false},
      {"boom: ", ERREUR_TEXTE_SYSTEME, 1, "[exit]Error: boom: " + enoent + "\n" + PAUSE, false},
      {nullptr, ERREUR_TEXTE_SYSTEME, 3, "[exit]" + enoent + "\n" + PAUSE, false},
      {nullptr, 0, 0, "[exit]", false},
      {"boom", ERREUR_ARBRE_APPEL, 1, "[exit]Error: boom\n" + PAUSE, true},
      {nullptr, ERREUR_ARBRE_APPEL, 4, "[exit]", true},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(std::string(c.message ? c.message : "(null)") + " " + std::to_string(c.drapeaux));
    ResultatEnfant r = executerEnfant([&c] {
      ajouterFonctionSortie(sortieBruyante);
      errno = ENOENT;
      erreurFatale(c.message, c.drapeaux, c.statut);
    }, "\n\n");
    EXPECT_EQ(r.statut, c.statut);
    SortieArbre s = decouperArbre(r.sortie);
    EXPECT_EQ(s.present, c.arbre);
    EXPECT_EQ(s.avant, c.avant);
  }
}

TEST(ErreurFatale, PauseFinitSansEntree) {
  const std::string attendu = "Error: boom\n" + PAUSE;
  auto corps = [] { erreurFatale("boom", 0, 1); };
  ResultatEnfant vide = executerEnfant(corps, "");
  EXPECT_EQ(vide.statut, 1);
  EXPECT_EQ(vide.sortie, attendu);
  ResultatEnfant fermee = executerEnfantSansEntree(corps);
  EXPECT_EQ(fermee.statut, 1);
  EXPECT_EQ(fermee.sortie, attendu);
}

void ecrire1() { afficherMessage("1"); }
void ecrire2() { afficherMessage("2"); }
void ecrire3() { afficherMessage("3"); }
void ecrire4() { afficherMessage("4"); }
void ecrire2PuisAjouter4() {
  afficherMessage("2");
  ajouterFonctionSortie(ecrire4);
}
void point() { afficherMessage("."); }
void jamais() { afficherMessage("X"); }

TEST(FonctionsSortie, OrdreInverseEtAjoutPendantExecution) {
  ResultatEnfant r = executerEnfant([] {
    installerTraitementErreurs();
    ajouterFonctionSortie(ecrire1);
    ajouterFonctionSortie(ecrire2PuisAjouter4);
    ajouterFonctionSortie(ecrire3);
    executerFonctionsSortie();
    executerFonctionsSortie();  // the list is empty now
    afficherMessage("|");
    ajouterFonctionSortie(ecrire2);
    ajouterFonctionSortie(ecrire2);  // twice is twice
    // Returning is exit(0): atexit runs the list once more.
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, "3241|22");
}

TEST(FonctionsSortie, SoixanteCinquiemeEstFatale) {
  ResultatEnfant r = executerEnfant([] {
    for (size_t i = 0; i < NOMBRE_MAX_FONCTIONS_SORTIE; ++i) ajouterFonctionSortie(point);
    ajouterFonctionSortie(jamais);
  }, "\n\n");
  EXPECT_EQ(r.statut, 1);
  SortieArbre s = decouperArbre(r.sortie);
  EXPECT_TRUE(s.present);
  EXPECT_EQ(s.avant, std::string(64, '.') + "Error: operation not permitted\n" + PAUSE);
}

TEST(ErreurFatale, AppelInattendu) {
  ResultatEnfant r = executerEnfant([] { appelInattendu("lireSecteur"); }, "\n\n");
  EXPECT_EQ(r.statut, 1);
  SortieArbre s = decouperArbre(r.sortie);
  EXPECT_TRUE(s.present);
  EXPECT_EQ(s.avant, "Error: Unexpected call to\n\"lireSecteur\"\nfunction.\n" + PAUSE);
}

// Prints, from inside the fatal path, the line that the path should print next.
void annoncerVirtuellePure() {
  afficherMessage("@%s: " FMT_ADRESSE ":\n", "__cxa_pure_virtual",
                  reinterpret_cast<uintptr_t>(&__cxa_pure_virtual));
}

TEST(ErreurFatale, VirtuellePureEstLaNotre) {
  ResultatEnfant r = executerEnfant([] {
    ajouterFonctionSortie(annoncerVirtuellePure);
    DeriveeVirtuellePure d;
  }, "\n");
  EXPECT_EQ(r.statut, 255);
  SortieArbre s = decouperArbre(r.sortie);
  ASSERT_TRUE(s.present) << r.sortie;
  size_t ligne = s.avant.find('\n');
  ASSERT_NE(ligne, std::string::npos);
  EXPECT_EQ(s.avant.substr(0, ligne + 1), s.avant.substr(ligne + 1));
  EXPECT_EQ(s.avant.compare(0, 22, "@__cxa_pure_virtual: 0"), 0) << s.avant;
}

#ifndef _WIN32

void annoncerUrgence() { afficherMessage("urgence=%d\n", estSortieUrgence() ? 1 : 0); }

TEST(Signaux, ChaqueSignalTraiteDonneRapportEtStatut255) {
  const int signaux[] = {SIGABRT, SIGFPE,  SIGILL,  SIGINT,  SIGSEGV, SIGTERM,
                         SIGQUIT, SIGHUP,  SIGALRM, SIGUSR1, SIGUSR2};
  for (int signal : signaux) {
    SCOPED_TRACE(signal);
    ResultatEnfant r = executerEnfant([signal] {
      installerTraitementErreurs();
      ajouterFonctionSortie(annoncerUrgence);
      raise(signal);
      afficherMessage("survived");
    }, "\n");
    EXPECT_EQ(r.statut, 255);
    SortieArbre s = decouperArbre(r.sortie);
    EXPECT_TRUE(s.present) << r.sortie;
    EXPECT_EQ(s.avant, "urgence=1\n@traitementSignal: " +
                           texteAdresse(reinterpret_cast<uintptr_t>(&traitementSignal)) +
                           ": signal " + std::to_string(signal) + "\n");
  }
}

int signalRepete;
void releverSignal() { raise(signalRepete); }
void allouer() { xmalloc(16); }

TEST(Signaux, RepetitionEtAllocationPendantLeTraitementSortentEnSilence) {
  const struct {
    int signal;
    T_FonctionSortie sortie;
  } cas[] = {{SIGTERM, releverSignal}, {SIGSEGV, releverSignal}, {SIGINT, allouer},
             {SIGSEGV, allouer}};
  for (const auto& c : cas) {
    SCOPED_TRACE(c.signal);
    ResultatEnfant r = executerEnfant([&c] {
      installerTraitementErreurs();
      signalRepete = c.signal;
      ajouterFonctionSortie(c.sortie);
      raise(c.signal);
    }, "\n");
    EXPECT_EQ(r.statut, 255);
    EXPECT_EQ(r.sortie, "");
  }
}

TEST(Signaux, IgnoreResteIgnore) {
  ResultatEnfant r = executerEnfant([] {
    signal(SIGINT, SIG_IGN);
    installerTraitementErreurs();
    raise(SIGINT);
    afficherMessage("alive");
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, "alive");
}

TEST(Signaux, ApresArbreImprimeSortieSilencieuse) {
  // The second pause waits on a pipe that never ends; the alarm comes then.
  ResultatEnfant r = executerEnfant([] {
    installerTraitementErreurs();
    int tube[2];
    if (pipe(tube) != 0 || write(tube[1], "\n", 1) != 1 || dup2(tube[0], 0) < 0) _exit(99);
    clearerr(stdin);
    alarm(1);
    erreurFatale("boom", ERREUR_ARBRE_APPEL, 1);
  });
  EXPECT_EQ(r.statut, 255);
  SortieArbre s = decouperArbre(r.sortie);
  EXPECT_TRUE(s.present) << r.sortie;
  EXPECT_EQ(s.avant, "Error: boom\n" + PAUSE);
}

#endif

}  // namespace
