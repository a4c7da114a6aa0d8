// tablens' Windows simulation twin (build/win-x64/sim/tablens.exe, run under
// wine) on machine folders that hold both the Linux and the Windows lines:
// its standard output against tests/programs/attendu/tablens_windows/, and
// its report against the Linux twin's on the same disks. Skipped when the
// Windows twin, its wine prefix or wine is absent.
#if defined(LENS_JUMEAU_TABLENS) && defined(LENS_JUMEAU_TABLENS_WINDOWS)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "programs/jumeau.h"

namespace {

bool windowsDisponible() {
  return access(LENS_JUMEAU_TABLENS_WINDOWS, R_OK) == 0 &&
         access(LENS_PREFIXE_WINE "/drive_c", R_OK) == 0 &&
         system("command -v wine >/dev/null 2>&1") == 0;
}

// The Windows twin under wine, with CR LF brought back to LF.
Execution executerWindows(const MachineTemporaire& m, const std::vector<std::string>& arguments) {
  m.ecrire("entree.txt", "");
  std::string commande = "env WINEPREFIX='" LENS_PREFIXE_WINE
                         "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LENS_MACHINE='" +
                         m.racine() + "' " LENS_WINE64 " '" LENS_JUMEAU_TABLENS_WINDOWS "'";
  for (const std::string& a : arguments) commande += " '" + a + "'";
  commande += " < '" + m.chemin("entree.txt") + "' 2> '" + m.chemin("erreur.txt") + "'";
  Execution e;
  FILE* p = popen(commande.c_str(), "r");
  if (p == nullptr) return {"", "popen failed", -1};
  char tampon[4096];
  while (size_t n = fread(tampon, 1, sizeof tampon, p))
    for (size_t i = 0; i < n; ++i)
      if (tampon[i] != '\r') e.sortie += tampon[i];
  int brut = pclose(p);
  e.statut = WIFEXITED(brut) ? WEXITSTATUS(brut) : -1;
  e.erreur = m.lire("erreur.txt");
  return e;
}

// What the two platforms print differently on the same disks; every other
// line must be the same.
// - the banner's platform;
// - a disk's names: Linux lists its partitions' devices, Windows their
//   drive letters and volume names;
// - a partition's name lines with their lock attempts, one per name (so
//   their number differs too);
// - the system named in the advice after a size limit.
std::string normaliser(const std::string& sortie) {
  static const std::regex banniere(R"(\((Linux|Windows) (32|64) bits\) *$)");
  static const std::regex systeme("you should not use the (Linux|Windows) Talvermoss");
  std::istringstream lignes(sortie);
  std::string ligne, resultat;
  while (std::getline(lignes, ligne)) {
    if (ligne.rfind("             Drive letter: ", 0) == 0) continue;
    if (ligne.rfind("        Drives letter:", 0) == 0) ligne = "        Drives letter: (names)";
    ligne = std::regex_replace(ligne, banniere, "(platform)");
    ligne = std::regex_replace(ligne, systeme, "you should not use the (system) Talvermoss");
    resultat += ligne + "\n";
  }
  return resultat;
}

struct CasWindows {
  const char* nom;          // golden file in attendu/tablens_windows
  const char* preparation;  // bash, run in ROOT after OUTILS_IMAGES
  const char* machine;      // Linux and Windows lines
  std::vector<std::string> arguments;
  int statut;
  bool comparer;  // the Linux twin's report agrees
};

void PrintTo(const CasWindows& c, std::ostream* flux) { *flux << c.nom; }

// An MBR disk with primaries 1 and 2, extended 3 and logicals 5 and 6: the
// devices of each, and letters C (1), E (2) and F (5); 6 has a volume name
// and no letter.
const char* const DISQUE_MBR =
    "block /dev/sda  8:0 images/a.img\n"
    "block /dev/sda1 8:1 images/a.img offset=1M size=4M\n"
    "block /dev/sda2 8:2 images/a.img offset=5M size=4M\n"
    "block /dev/sda3 8:3 images/a.img offset=9M size=1K\n"
    "block /dev/sda5 8:5 images/a.img offset=10M size=2M\n"
    "block /dev/sda6 8:6 images/a.img offset=13M size=2M\n"
    "drive 0 images/a.img\n"
    "volume C 0 1M 4M fs=NTFS\n"
    "volume E 0 5M 4M fs=NTFS\n"
    "volume F 0 10M 2M fs=FAT32\n"
    "volume - 0 13M 2M\n";
// A GPT disk (sgdisk) whose first partition is G and second a volume name.
const char* const DISQUE_GPT =
    "block /dev/sdb  8:16 images/b.img\n"
    "block /dev/sdb1 8:17 images/b.img offset=1M size=8M\n"
    "block /dev/sdb2 8:18 images/b.img offset=9M size=4M\n"
    "drive 1 images/b.img\n"
    "volume G 1 1M 8M fs=FAT32\n"
    "volume - 1 9M 4M\n";
const char* const UN_DISQUE_MBR =
    "block /dev/sda 8:0 images/a.img\ndrive 0 images/a.img\nwindows xp\n";

const CasWindows casWindows[] = {
    {"mbr_logiques_lettres", "truncate -s 64M images/a.img; mbr images/a.img\n",
     "windows xp\n%MBR%", {"-noterm"}, 0, true},
    {"mbr_et_gpt", "truncate -s 64M images/a.img; mbr images/a.img\n"
     "truncate -s 32M images/b.img; gpt images/b.img\n",
     "windows 10\n%MBR%%GPT%", {"-noterm"}, 0, true},
    {"gpt_disque_1", "truncate -s 64M images/a.img; mbr images/a.img\n"
     "truncate -s 32M images/b.img; gpt images/b.img\n",
     "windows 7\n%MBR%%GPT%", {"1"}, 0, true},
    // A busy volume refuses its lock: the refusal, the error report.
    {"volume_occupe_refuse", "truncate -s 64M images/a.img; mbr images/a.img\n",
     "windows xp\ndrive 0 images/a.img\nvolume C 0 1M 4M fs=NTFS\n"
     "volume E 0 5M 4M fs=NTFS busy\n",
     {"-noterm"}, 0, false},
    // Damaged tables.
    {"derniere_partition_hors_disque",
     "truncate -s 64M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\nstart=20480, size=8192\\n' | "
     "sfdisk -q images/a.img\nlba images/a.img 0 2 20480 110593\n",
     UN_DISQUE_MBR, {"-noterm"}, 0, true},
    {"limite_8_gib",
     "truncate -s 8192000000 images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\n' | sfdisk -q images/a.img\n"
     "lba images/a.img 0 1 2048 $(( 16515072 - 2048 ))\n",
     UN_DISQUE_MBR, {"-noterm"}, 0, true},
    {"gpt_crc_tableau_faux",
     "truncate -s 32M images/b.img; gpt images/b.img\n"
     "octet images/b.img $(( (65535 - 32) * 512 + 100 * 128 + 40 )) 1\n"
     "octet images/b.img $(( 2 * 512 + 100 * 128 + 40 )) 1\n",
     "block /dev/sda 8:0 images/b.img\ndrive 0 images/b.img\n", {"-noterm"}, 0, true},
    {"vidage_d",
     "truncate -s 1M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=63, size=1000\\n' | sfdisk -q images/a.img\n",
     UN_DISQUE_MBR, {"-d", "-noterm"}, 0, true},
    // Windows 98: no disk is counted; a disk given by number is made from
    // the BIOS answers, and its transfers are refused (disk number not below
    // the count), so its table reads as empty.
    {"neufx_aucun_disque", "truncate -s 64M images/a.img; mbr images/a.img\n",
     "windows 98\n%MBR%", {"-noterm"}, 0, false},
    {"neufx_disque_0", "truncate -s 64M images/a.img; mbr images/a.img\n",
     "windows 98\n%MBR%", {"-noterm", "0"}, 0, false},
    // No relaunch without -noterm; usage errors.
    {"sans_argument", "", "windows xp\n", {}, 0, true},
    {"option_inconnue", "", "windows xp\n", {"-x"}, 1, true},
    {"aide_oblique", "", "windows xp\n", {"/?"}, 1, true},
};

std::string remplacer(std::string texte, const std::string& motif, const std::string& par) {
  for (size_t p = texte.find(motif); p != std::string::npos; p = texte.find(motif, p + par.size()))
    texte.replace(p, motif.size(), par);
  return texte;
}

class TablensWindows : public testing::TestWithParam<CasWindows> {};

TEST_P(TablensWindows, SortieAttendueEtRapportLinux) {
  if (!windowsDisponible()) GTEST_SKIP() << "no Windows twin or wine prefix";
  const CasWindows& c = GetParam();
  MachineTemporaire m;
  m.ecrire("images/preparer.sh", std::string(OUTILS_IMAGES) + c.preparation);
  ASSERT_EQ(m.commande("mkdir -p images && bash images/preparer.sh"), 0) << c.preparation;
  m.machine(remplacer(remplacer(c.machine, "%MBR%", DISQUE_MBR), "%GPT%", DISQUE_GPT));
  Execution w = executerWindows(m, c.arguments);
  ASSERT_NE(w.sortie, "") << "wine gave no output: " << w.erreur;
  EXPECT_EQ(w.statut, c.statut);
  EXPECT_EQ(w.sortie, attenduPour("tablens_windows", c.nom, w.sortie));
  // Every lock is given back, the names of a partition from the last to
  // the first: each unlock is that of the latest lock still held.
  std::istringstream journal(m.lire("volumes.log"));
  std::vector<std::string> tenus;
  for (std::string ligne; std::getline(journal, ligne);) {
    if (ligne.rfind("lock ", 0) == 0) {
      tenus.push_back(ligne.substr(5));
    } else if (ligne.rfind("unlock ", 0) == 0) {
      ASSERT_FALSE(tenus.empty()) << ligne;
      EXPECT_EQ(ligne.substr(7), tenus.back());
      tenus.pop_back();
    }
  }
  EXPECT_TRUE(tenus.empty());
  if (!c.comparer) return;
  Execution l = executerJumeau(LENS_JUMEAU_TABLENS, m, c.arguments, "", nullptr);
  EXPECT_EQ(l.statut, w.statut);
  EXPECT_EQ(normaliser(w.sortie), normaliser(l.sortie));
}

INSTANTIATE_TEST_SUITE_P(Tablens, TablensWindows, testing::ValuesIn(casWindows),
                         [](const testing::TestParamInfo<CasWindows>& i) {
                           return std::string(i.param.nom);
                         });

}  // namespace
#endif
