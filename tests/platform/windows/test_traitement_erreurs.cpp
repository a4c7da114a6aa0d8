// Windows crash paths in child processes (exact report bytes and exit
// statuses) and the console control handler's event handling, with the
// clipboard and the message box of the simulated machine.
#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/traitement_erreurs.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"
#include "support/sortie_arbre.h"

namespace {

const int STATUT_ACCES_INVALIDE = static_cast<int>(0xC0000005);
const int STATUT_INSTRUCTION_ILLEGALE = static_cast<int>(0xC000001D);

// The emulator that runs this i386 process, as scripts/test names it, or
// null on a real CPU. qemu-i386 puts trap number -1 in the signal frame where
// a CPU's page fault gives 14, and the 32-bit wine reads an unknown trap as
// an illegal instruction: a null write may then end 0xC000001D.
const char* emulateurI386() {
#ifdef _WIN64
  return nullptr;
#else
  const char* e = getenv("LENS_I386_EMULE");
  if (e != nullptr && *e != '\0') {
    printf("under %s: a fault may read as an illegal instruction (trap number -1)\n", e);
    return e;
  }
  return nullptr;
#endif
}

// The status that a null write may end with here.
bool statutDeFaute(int statut) {
  return statut == STATUT_ACCES_INVALIDE ||
         (emulateurI386() != nullptr && statut == STATUT_INSTRUCTION_ILLEGALE);
}

void annoncerSortie() { afficherMessage("[exit] emergency=%d\n", estSortieUrgence() ? 1 : 0); }

int* volatile adresseNulle = nullptr;

__attribute__((noinline)) void provoquerFaute() {
  TRACER_APPEL();
  *adresseNulle = 1;
}

void fauteEnSortie() { *adresseNulle = 2; }

std::string adresse(const void* p) { return texteAdresse(reinterpret_cast<uintptr_t>(p)); }

TEST(CrashWindows, AccesInvalide) {
  ResultatEnfant r = executerEnfant(
      [] {
        installerTraitementErreurs();
        ajouterFonctionSortie(annoncerSortie);
        // The filter's own address, as this process sees it.
        afficherMessage("%s\n", adresse(reinterpret_cast<const void*>(&unhandledException)).c_str());
        provoquerFaute();
      },
      "\n");
  EXPECT_TRUE(statutDeFaute(r.statut)) << r.statut;
  size_t ligne = r.sortie.find('\n');
  ASSERT_NE(ligne, std::string::npos);
  std::string filtre = r.sortie.substr(0, ligne);
  SortieArbre s = decouperArbre(r.sortie.substr(ligne + 1));
  ASSERT_TRUE(s.present) << r.sortie;
  char code[16];
  snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(r.statut));
  const std::string debut =
      "[exit] emergency=1\n@unhandledException: " + filtre + ": exception " + code + " at ";
  ASSERT_EQ(s.avant.compare(0, debut.size(), debut), 0) << s.avant;
  std::string faute = s.avant.substr(debut.size());
  ASSERT_FALSE(faute.empty());
  faute.pop_back();  // its "\n"
  EXPECT_EQ(s.avant, debut + faute + "\n");
  // The tree is led by the faulting instruction, then provoquerFaute's caller.
  ASSERT_GE(s.lignes.size(), 1u);
  EXPECT_EQ(s.lignes[0].compare(0, faute.size() + 1, " " + faute), 0) << s.lignes[0];
  EXPECT_GE(s.lignes[0].size(), 2 * (faute.size() + 1));
}

TEST(CrashWindows, SecondeExceptionPendantLeRapport) {
  ResultatEnfant r = executerEnfant(
      [] {
        installerTraitementErreurs();
        ajouterFonctionSortie(fauteEnSortie);
        ajouterFonctionSortie(annoncerSortie);
        provoquerFaute();
      },
      "\n");
#ifdef _WIN64
  EXPECT_EQ(r.statut, 255);
#else
  // On i386 the second fault reaches the thread-start handler as a nested call, which may skip it.
  EXPECT_TRUE(r.statut == 255 || statutDeFaute(r.statut)) << r.statut;
#endif
  EXPECT_EQ(r.sortie, "[exit] emergency=1\n");
}

TEST(CrashWindows, SignalFatal) {
  ResultatEnfant r = executerEnfant(
      [] {
        installerTraitementErreurs();
        ajouterFonctionSortie(annoncerSortie);
        raise(SIGSEGV);
      },
      "\n");
  EXPECT_EQ(r.statut, 255);
  SortieArbre s = decouperArbre(r.sortie);
  ASSERT_TRUE(s.present) << r.sortie;
  const std::string attendu = "[exit] emergency=1\n@traitementSignal: " +
                              adresse(reinterpret_cast<const void*>(&traitementSignal)) +
                              ": signal 11\n";
  EXPECT_EQ(s.avant, attendu);
  // Raised on the main thread: no address leads the tree.
  EXPECT_EQ(s.adresse, adresse(reinterpret_cast<const void*>(&afficherArbreAppelThreadPrincipal)));
}

TEST(CrashWindows, SignauxInstallesSansSigint) {
  ResultatEnfant r = executerEnfant([] {
    signal(SIGFPE, SIG_IGN);
    installerTraitementErreurs();
    afficherMessage("int %d fpe %d segv %d abrt %d ill %d", signal(SIGINT, SIG_DFL) == SIG_DFL,
                    signal(SIGFPE, SIG_DFL) == SIG_IGN, signal(SIGSEGV, SIG_DFL) == traitementSignal,
                    signal(SIGABRT, SIG_DFL) == traitementSignal,
                    signal(SIGILL, SIG_DFL) == traitementSignal);
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, "int 1 fpe 1 segv 1 abrt 1 ill 1");
}

// Console events. Each child installs a machine for the clipboard and the
// message box, and prints what they received.
std::string lireMachine(const MachineTemporaire& m, const char* nom) {
  DWORD a = GetFileAttributesA(m.chemin(nom).c_str());
  return a == INVALID_FILE_ATTRIBUTES ? "(none)" : m.lire(nom);
}

// The box is shown from a thread of its own: waits until its whole entry
// is written.
void attendreBoite(const MachineTemporaire& m) {
  const size_t complet = strlen("[!!!!! Warning !!!!!] 0x12030\n") + strlen(TEXTE_AVERTISSEMENT) + 1;
  for (int i = 0; i < 500; ++i) {
    if (GetFileAttributesA(m.chemin("messagebox.log").c_str()) != INVALID_FILE_ATTRIBUTES &&
        m.lire("messagebox.log").size() >= complet)
      return;
    Sleep(10);
  }
}

DWORD WINAPI evenementFermeture(LPVOID resultat) {
  *static_cast<BOOL*>(resultat) = consoleControlHandler(CTRL_CLOSE_EVENT);
  return 0;
}

// Waits on the main thread for the handler's thread, from a recording
// function so that the snapshot holds an entry.
__attribute__((noinline)) BOOL envoyerDepuisUnAutreThread() {
  TRACER_APPEL();
  prendreInstantaneArbreAppel();
  afficherMessage("before %u\n", instantaneArbreAppel.nombre);
  BOOL resultat = 2;
  HANDLE t = CreateThread(nullptr, 0, evenementFermeture, &resultat, 0, nullptr);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  return resultat;
}

TEST(ConsoleWindows, SansMarqueOccupeLeSystemeAgit) {
  ResultatEnfant r = executerEnfant([] {
    MachineTemporaire m;
    if (!m.installer()) afficherMessage("%s\n", m.erreur().c_str());
    installerTraitementErreurs();
    BOOL reponse = consoleControlHandler(CTRL_C_EVENT);
    const char* texte = texteAvertissementConsole();
    afficherMessage("answer %d snapshot %d warning %d\n", reponse, instantaneArbreAppel.nombre > 0,
                    texte != nullptr && strcmp(texte, TEXTE_AVERTISSEMENT) == 0);
    consoleControlHandler(CTRL_BREAK_EVENT);
    afficherMessage("same text %d\n", texte == texteAvertissementConsole());
    Sleep(50);
    afficherMessage("clipboard %s box %s\n", lireMachine(m, "clipboard.txt").c_str(),
                    lireMachine(m, "messagebox.log").c_str());
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, "answer 0 snapshot 1 warning 1\nsame text 1\nclipboard (none) box (none)\n");
}

// The report's first line, then its entries line by line.
struct Rapport {
  std::string premiere;
  std::vector<std::vector<std::string>> lignes;
};

Rapport decouperRapport(const std::string& texte) {
  Rapport r;
  size_t fin = texte.find("\r\n");
  r.premiere = texte.substr(0, fin);
  for (size_t p = fin == std::string::npos ? texte.size() : fin + 2; p < texte.size();) {
    size_t q = texte.find("\r\n", p);
    std::string ligne = texte.substr(p, q == std::string::npos ? std::string::npos : q - p);
    std::vector<std::string> entrees;
    for (size_t e = 0; e < ligne.size();) {
      size_t f = ligne.find(' ', e + 1);
      entrees.push_back(ligne.substr(e + 1, f == std::string::npos ? std::string::npos : f - e - 1));
      e = f == std::string::npos ? ligne.size() : f;
    }
    r.lignes.push_back(entrees);
    p = q == std::string::npos ? texte.size() : q + 2;
  }
  return r;
}

std::string rapportDepuisUnAutreThread(const char* directives) {
  ResultatEnfant r = executerEnfant([directives] {
    MachineTemporaire m;
    m.machine(directives);
    if (!m.installer()) afficherMessage("%s\n", m.erreur().c_str());
    installerTraitementErreurs();
    marquerSortie(1);
    BOOL reponse = envoyerDepuisUnAutreThread();
    attendreBoite(m);
    afficherMessage("answer %d after %u\n%s\n", reponse, instantaneArbreAppel.nombre,
                    adresse(reinterpret_cast<const void*>(&consoleControlHandler)).c_str());
    afficherMessage("%s\n--\n%s", lireMachine(m, "clipboard.txt").c_str(),
                    lireMachine(m, "messagebox.log").c_str());
  });
  EXPECT_EQ(r.statut, 0);
  return r.sortie;
}

// Splits the child's lines: before, after, handler address, report, box.
void lireSortieRapport(const std::string& sortie, unsigned* avant, unsigned* apres, std::string* gestionnaire,
                       std::string* rapport, std::string* boite) {
  size_t a = sortie.find('\n'), b = sortie.find('\n', a + 1), c = sortie.find('\n', b + 1);
  ASSERT_NE(c, std::string::npos) << sortie;
  ASSERT_EQ(sscanf(sortie.c_str(), "before %u", avant), 1) << sortie;
  int reponse = 0;
  ASSERT_EQ(sscanf(sortie.c_str() + a + 1, "answer %d after %u", &reponse, apres), 2) << sortie;
  EXPECT_EQ(reponse, TRUE);
  *gestionnaire = sortie.substr(b + 1, c - b - 1);
  size_t separation = sortie.find("\n--\n", c);
  ASSERT_NE(separation, std::string::npos);
  *rapport = sortie.substr(c + 1, separation - c - 1);
  *boite = sortie.substr(separation + 4);
}

TEST(ConsoleWindows, OccupeRapportAuPressePapierEtBoite) {
  std::string sortie = rapportDepuisUnAutreThread("");
  unsigned avant = 0, apres = 0;
  std::string gestionnaire, texte, boite;
  lireSortieRapport(sortie, &avant, &apres, &gestionnaire, &texte, &boite);
  EXPECT_EQ(boite, std::string("[!!!!! Warning !!!!!] 0x12030\n") + TEXTE_AVERTISSEMENT + "\n");
  Rapport r = decouperRapport(texte);
  EXPECT_EQ(r.premiere, "@consoleControlHandler: " + gestionnaire + ": control event: 2");
  // The main thread's position leads the snapshot.
  ASSERT_GE(avant, 1u);
  EXPECT_EQ(apres, avant + 1);
  unsigned entrees = 0;
  for (size_t i = 0; i < r.lignes.size(); ++i) {
    entrees += static_cast<unsigned>(r.lignes[i].size());
    if (i + 1 < r.lignes.size()) {
      EXPECT_EQ(r.lignes[i].size(), 4u) << texte;
    }
  }
  EXPECT_EQ(entrees, apres) << texte;
  ASSERT_FALSE(r.lignes.empty());
  EXPECT_NE(r.lignes[0][0], texteAdresse(static_cast<uintptr_t>(ADRESSE_AUCUNE)));
  EXPECT_EQ(r.lignes[0][0].size(), gestionnaire.size());
  // Every entry line but the last ends with CR LF; the last has none.
  EXPECT_NE(texte.substr(texte.size() - 2), "\r\n");
}

TEST(ConsoleWindows, SansPoigneeDuThreadPrincipalPasDAdresseEnTete) {
  std::string sortie = rapportDepuisUnAutreThread("fail DuplicateHandle * ERROR_ACCESS_DENIED\n");
  unsigned avant = 0, apres = 0;
  std::string gestionnaire, texte, boite;
  lireSortieRapport(sortie, &avant, &apres, &gestionnaire, &texte, &boite);
  EXPECT_EQ(apres, avant);
  EXPECT_NE(boite, "(none)");
  sortie = rapportDepuisUnAutreThread("fail SuspendThread * ERROR_ACCESS_DENIED\n");
  lireSortieRapport(sortie, &avant, &apres, &gestionnaire, &texte, &boite);
  EXPECT_EQ(apres, avant);
}

TEST(ConsoleWindows, EtatIntrouvableEtEchecsDuPressePapierOuDuThread) {
  const struct {
    const char* directives;
    const char* pressePapier;
  } cas[] = {
      {"fail CreateThread * ERROR_NOT_ENOUGH_MEMORY\n",
       "@consoleControlHandler: %s: control event: 0\r\nState of program cannot be retrieved."},
      {"fail OpenClipboard * ERROR_ACCESS_DENIED\n", "(none)"},
      {"fail GlobalLock * ERROR_NOT_ENOUGH_MEMORY\n", ""},
      {"fail SetClipboardData * ERROR_NOT_ENOUGH_MEMORY\n", ""},
  };
  for (const auto& c : cas) {
    const char* directives = c.directives;
    ResultatEnfant r = executerEnfant([directives] {
      MachineTemporaire m;
      m.machine(directives);
      if (!m.installer()) afficherMessage("%s\n", m.erreur().c_str());
      installerTraitementErreurs();
      if (consoleControlHandler(CTRL_C_EVENT) != FALSE) afficherMessage("not busy: TRUE\n");
      instantaneArbreAppel.nombre = 0;
      BOOL reponse = signalerEtatConsole(CTRL_C_EVENT);
      attendreBoite(m);
      afficherMessage("%d\n%s\n%s\n%s", reponse,
                      adresse(reinterpret_cast<const void*>(&consoleControlHandler)).c_str(),
                      lireMachine(m, "clipboard.txt").c_str(),
                      lireMachine(m, "messagebox.log").c_str());
    });
    EXPECT_EQ(r.statut, 0);
    size_t a = r.sortie.find('\n'), b = r.sortie.find('\n', a + 1);
    ASSERT_NE(b, std::string::npos) << r.sortie;
    EXPECT_EQ(r.sortie.substr(0, a), "1");
    std::string gestionnaire = r.sortie.substr(a + 1, b - a - 1);
    char attendu[256];
    snprintf(attendu, sizeof attendu, c.pressePapier, gestionnaire.c_str());
    std::string boite = std::string("[!!!!! Warning !!!!!] 0x12030\n") + TEXTE_AVERTISSEMENT + "\n";
    EXPECT_EQ(r.sortie.substr(b + 1), std::string(attendu) + "\n" + boite) << c.directives;
  }
}

}  // namespace

namespace {

// The engine's bytes reach standard output as they are, even when it was
// opened in text mode: no CR is added before LF.
TEST(CrashWindows, SortieSansTraductionDesFinsDeLigne) {
  ResultatEnfant r = executerEnfant([] {
    _setmode(_fileno(stdout), _O_TEXT);
    installerTraitementErreurs();
    afficherMessage("a\r\nb\n");
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, "a\r\nb\n");
}

}  // namespace
