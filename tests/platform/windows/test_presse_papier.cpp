// The Windows clipboard copy: the text reaches the clipboard, every failing
// step frees the block it allocated (and only then), and the kept copy of
// the process is not copied onto itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/windows/appels_windows.h"
#include "platform/windows/presse_papier.h"
#include "sim/machine_windows.h"
#include "support/remplacement.h"

namespace {

int liberes = 0, deverrouilles = 0;
// The entries in place before the counters: the machine's.
decltype(appelsWindows.GlobalFree) liberationSuivante;
decltype(appelsWindows.GlobalUnlock) deverrouillageSuivant;
HGLOBAL WINAPI compterLiberation(HGLOBAL bloc) {
  ++liberes;
  return liberationSuivante(bloc);
}
BOOL WINAPI compterDeverrouillage(HGLOBAL bloc) {
  ++deverrouilles;
  return deverrouillageSuivant(bloc);
}

TEST(PressePapierWindows, CopieEtEchecsDesEtapes) {
  const struct {
    const char* directives;
    const char* pressePapier;  // "(none)": never emptied
    int liberes, deverrouilles;
  } cas[] = {
      {"", "abc", 0, 1},
      {"fail OpenClipboard * ERROR_ACCESS_DENIED\n", "(none)", 0, 0},
      {"fail EmptyClipboard * ERROR_ACCESS_DENIED\n", "(none)", 0, 0},
      {"fail GlobalAlloc * ERROR_NOT_ENOUGH_MEMORY\n", "", 0, 0},
      {"fail GlobalLock * ERROR_NOT_ENOUGH_MEMORY\n", "", 1, 1},
      // Still locked (or failing): the block is not handed over.
      {"fail GlobalUnlock * 158\n", "", 1, 1},
      {"fail SetClipboardData * ERROR_NOT_ENOUGH_MEMORY\n", "", 1, 1},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.machine(c.directives);
    ASSERT_TRUE(m.installer()) << m.erreur();
    liberes = deverrouilles = 0;
    liberationSuivante = appelsWindows.GlobalFree;
    deverrouillageSuivant = appelsWindows.GlobalUnlock;
    Remplacement<decltype(appelsWindows.GlobalFree)> f(appelsWindows.GlobalFree, compterLiberation);
    Remplacement<decltype(appelsWindows.GlobalUnlock)> u(appelsWindows.GlobalUnlock, compterDeverrouillage);
    copierTextePressePapier("abc");
    DWORD a = GetFileAttributesA(m.chemin("clipboard.txt").c_str());
    EXPECT_EQ(a == INVALID_FILE_ATTRIBUTES ? "(none)" : m.lire("clipboard.txt"), c.pressePapier)
        << c.directives;
    EXPECT_EQ(liberes, c.liberes) << c.directives;
    EXPECT_EQ(deverrouilles, c.deverrouilles) << c.directives;
  }
}

TEST(PressePapierWindows, LaCopieGardeeNEstPasRecopiee) {
  MachineTemporaire m;
  ASSERT_TRUE(m.installer()) << m.erreur();
  copierDonneesPressePapier("xyz", 3);
  ASSERT_TRUE(pressePapierNonVide());
  EXPECT_FALSE(pressePapierContientTexte());
  copierTextePressePapier(static_cast<const char*>(contenuPressePapier()));
  EXPECT_TRUE(pressePapierNonVide());
  EXPECT_EQ(GetFileAttributesA(m.chemin("clipboard.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  // Another text empties the kept copy and goes to the clipboard.
  copierTextePressePapier("abc");
  EXPECT_FALSE(pressePapierNonVide());
  EXPECT_EQ(m.lire("clipboard.txt"), "abc");
  // Bytes taken from inside the kept copy.
  copierDonneesPressePapier("hello", 5);
  copierDonneesPressePapier(static_cast<const char*>(contenuPressePapier()) + 1, 3);
  EXPECT_EQ(std::string(static_cast<const char*>(contenuPressePapier()), 3), "ell");
  EXPECT_EQ(longueurPressePapier(), 3u);
  viderPressePapier();
}

}  // namespace
