// The Windows simulation twins (build/win-x64/sim/*.exe), run under wine
// from the Linux suite on the same machine folders as the Linux twins:
// archlens' report against the Linux twin's on the same backup file, with
// the differences that the platforms make listed case by case, and the
// Windows reports of platlens and vollens against golden files
// (tests/programs/attendu/<program>/windows_<case>.txt). Skipped when the
// twin, wine or the wine prefix of scripts/test is missing.
#if defined(LENS_JUMEAUX_WINDOWS) && defined(LENS_JUMEAU_ARCHLENS)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "jumeau.h"
#include "support/fichier_sauvegarde.h"

namespace {

std::string jumeauWindows(const std::string& programme) {
  return std::string(LENS_JUMEAUX_WINDOWS) + "/" + programme + ".exe";
}

bool existe(const std::string& chemin) {
  struct stat etat;
  return stat(chemin.c_str(), &etat) == 0;
}

// The prefix that scripts/test prepares (WINEPREFIX when set).
std::string prefixeWine() {
  const char* p = getenv("WINEPREFIX");
  return p != nullptr ? p : LENS_PREFIXE_WINE;
}

// Why the Windows twins cannot run here, or empty.
std::string absenceWine(const std::string& programme) {
  if (!existe(jumeauWindows(programme))) return "no " + jumeauWindows(programme);
  if (!existe(prefixeWine() + "/drive_c")) return "no wine prefix " + prefixeWine();
  if (system("command -v wine >/dev/null 2>&1") != 0) return "no wine";
  return "";
}

std::string entreGuillemets(const std::string& texte) {
  std::string r = "'";
  for (char c : texte) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return r + "'";
}

// A twin run from the machine's folder (so that relative file names name
// the same file for both twins), output through files: wine's helper
// processes may keep a pipe open after the program has ended.
Execution lancer(const std::string& programme, bool windows, const MachineTemporaire& m,
                 const std::vector<std::string>& arguments, const std::string& entree,
                 const char* langue = "C") {
  m.ecrire("entree.txt", entree);
  std::string commande = "cd " + entreGuillemets(m.racine()) +
                         " && env -u DISPLAY -u BLKID_FILE -u BLKID_CONF -u LC_ALL -u LC_CTYPE "
                         "LANG=" + langue + " LENS_MACHINE=" + entreGuillemets(m.racine()) + " ";
  if (windows) {
    commande += "WINEPREFIX=" + entreGuillemets(prefixeWine()) +
                " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' " LENS_WINE64 " " +
                entreGuillemets(jumeauWindows(programme));
  } else {
    commande += entreGuillemets(programme);
  }
  for (const std::string& a : arguments) commande += " " + entreGuillemets(a);
  commande += " < entree.txt > sortie.txt 2> erreur.txt";
  int brut = system(commande.c_str());
  Execution e;
  e.statut = WIFEXITED(brut) ? WEXITSTATUS(brut) : -1;
  e.sortie = m.lire("sortie.txt");
  e.erreur = m.lire("erreur.txt");
  return e;
}

std::string premiereLigne(const std::string& texte) { return texte.substr(0, texte.find('\n')); }
std::string apresPremiereLigne(const std::string& texte) {
  size_t fin = texte.find('\n');
  return fin == std::string::npos ? "" : texte.substr(fin + 1);
}

void remplacerTout(std::string* texte, const std::string& ancien, const std::string& nouveau) {
  for (size_t p = texte->find(ancien); p != std::string::npos;
       p = texte->find(ancien, p + nouveau.size())) {
    texte->replace(p, ancien.size(), nouveau);
  }
}

std::string motif(size_t taille) {
  std::string d(taille, '\0');
  for (size_t i = 0; i < taille; ++i) d[i] = static_cast<char>(i * 13 + i / 253);
  return d;
}

ChampsSauvegarde systemeFichiers() {
  ChampsSauvegarde c;
  c.typeElement = 3;
  c.typeSupport = 0;
  c.numeroPrincipal = 1;
  c.typePartition = 0x0C;
  c.premierSecteur = 2048;
  c.nombreSecteurs = 409600;
  c.nbSecteursMin = 69632;
  c.nbSecteursMax = 8388608;
  c.donnees = motif(70000);
  return c;
}

// The system error texts of the two platforms for one error number.
const char* const PAS_DE_FICHIER_LINUX = "Error message: No such file or directory.\n";
const char* const PAS_DE_FICHIER_WINDOWS = "Error message: File not found. \n";

struct Difference {
  const char* linux;    // text of the Linux report
  const char* windows;  // what the Windows report has in its place
};

struct CasComparaison {
  const char* nom;
  const char* fichier;  // relative name given to both twins
  std::string contenu;  // written to fichier unless empty
  std::vector<std::string> arguments;
  int statut;
  std::vector<Difference> differences;
  // Wine takes the command line's code page from it.
  const char* langue = "C";
  uint64_t longueur = 0;  // the file then made this long (sparse), unless 0
  const char* machine = "";  // the machine's lines, for both twins
};

void PrintTo(const CasComparaison& c, std::ostream* flux) { *flux << c.nom; }

std::string octetsModifies(std::string octets, size_t position) {
  octets[position] = static_cast<char>(octets[position] ^ 0x11);
  return octets;
}

const CasComparaison casComparaison[] = {
    {"systeme_fichiers_verifie", "s.bak", octetsSauvegarde(systemeFichiers()),
     {"-noterm", "-t", "s.bak"}, 0, {}},
    {"disque_sans_verification", "s.bak", octetsSauvegarde(ChampsSauvegarde()),
     {"-noterm", "s.bak"}, 0, {}},
    {"crc_donnees_faux", "s.bak", octetsModifies(octetsSauvegarde(systemeFichiers()), 124 + 500),
     {"-noterm", "-t", "s.bak"}, 1, {}},
    {"entete_courte", "s.bak", octetsSauvegarde(ChampsSauvegarde()).substr(0, 103),
     {"-noterm", "s.bak"}, 1, {}},
    // A name outside ASCII reaches the file through the ANSI code page
    // ('\x80' there is the euro sign, not U+0080).
    {"nom_hors_ascii", "\xe2\x82\xacuro.bak", octetsSauvegarde(systemeFichiers()),
     {"-noterm", "-t", "\xe2\x82\xacuro.bak"}, 0, {}, "C.UTF-8"},
    // On Windows 98 the file is opened by its narrow name: the same report.
    {"systeme_fichiers_verifie_98", "s.bak", octetsSauvegarde(systemeFichiers()),
     {"-noterm", "-t", "s.bak"}, 0, {}, "C", 0, "windows 98\n"},
    // The Windows main has no file-type test, and its error texts are the
    // system's message table.
    {"fichier_absent", "absent.bak", "", {"-noterm", "-t", "absent.bak"}, 1,
     {{"Warning checking file type.\nError number: 2.\nError message: No such file or directory.\n",
       ""},
      {PAS_DE_FICHIER_LINUX, PAS_DE_FICHIER_WINDOWS}}},
    // 100 bytes past 4 GiB: long enough for a header only with both halves
    // of its size.
    {"plus_de_4_gio", "g.bak", octetsSauvegarde(ChampsSauvegarde()), {"-noterm", "g.bak"}, 0, {},
     "C", (uint64_t{1} << 32) + 100},
};

class ComparaisonArchlens : public testing::TestWithParam<CasComparaison> {};

TEST_P(ComparaisonArchlens, MemeRapportQueLinux) {
  const CasComparaison& c = GetParam();
  std::string absence = absenceWine("archlens");
  if (!absence.empty()) GTEST_SKIP() << absence;
  MachineTemporaire m;
  m.machine(c.machine);
  if (!c.contenu.empty()) m.ecrire(c.fichier, c.contenu);
  if (c.longueur != 0) {
    ASSERT_EQ(m.commande("truncate -s " + std::to_string(c.longueur) + " " + c.fichier), 0);
  }
  Execution l = lancer(LENS_JUMEAU_ARCHLENS, false, m, c.arguments, "", c.langue);
  Execution w = lancer("archlens", true, m, c.arguments, "", c.langue);
  EXPECT_EQ(l.statut, c.statut);
  EXPECT_EQ(w.statut, c.statut);
  // The banner names the platform, padded to 80 columns on both.
  std::string banniere = premiereLigne(l.sortie);
  size_t plateforme = banniere.find(" (Linux");
  ASSERT_NE(plateforme, std::string::npos) << banniere;
  banniere = banniere.substr(0, plateforme) + " (Windows 64 bits)";
  banniere.resize(80, ' ');
  EXPECT_EQ(premiereLigne(w.sortie), banniere);
  std::string attenduWindows = apresPremiereLigne(l.sortie);
  for (const Difference& d : c.differences) remplacerTout(&attenduWindows, d.linux, d.windows);
  EXPECT_EQ(apresPremiereLigne(w.sortie), attenduWindows);
  EXPECT_EQ(w.erreur, "");
}

INSTANTIATE_TEST_SUITE_P(JumeauxWindows, ComparaisonArchlens, testing::ValuesIn(casComparaison),
                         [](const testing::TestParamInfo<CasComparaison>& i) {
                           return std::string(i.param.nom);
                         });

// Windows-only runs against their golden files.
struct CasWindows {
  const char* programme;
  const char* nom;  // golden file windows_<nom>.txt
  std::string machine;
  std::vector<std::string> arguments;
  int statut;
  const char* preparation = "";  // shell, run in ROOT after preparerImages
};

void PrintTo(const CasWindows& c, std::ostream* flux) { *flux << c.programme << "/" << c.nom; }

// Drive 0: the 64 MiB MBR image with C: and a busy D:; drive 1: 3 TiB in
// 4096-byte sectors with E:.
const std::string DISQUES =
    "drive 0 images/disque.img detect=exint13\n"
    "drive 1 images/grand.img ssz=4096 detect=int13\n"
    "volume C 0 1M 32M fs=FAT32\n"
    "volume D 0 33M 31M fs=NTFS busy\n"
    "volume E 1 1M 3145727M fs=NTFS\n";

// The same drives on Windows 9x, C: a FAT16 file system (mkfs.fat).
const std::string DISQUES_9X =
    "drive 0 images/disque.img\n"
    "drive 1 images/grand.img ssz=4096\n"
    "volume C 0 1M 32M fs=FAT16\n"
    "volume D 0 33M 31M busy\n";
const char* const FAT16_C =
    "mkfs.fat -F 16 -g 255/63 -h 2048 -i 4c454e53 -n LENS --offset 2048 images/disque.img 32768"
    " >/dev/null";

const CasWindows casWindows[] = {
    {"platlens", "deux_disques", DISQUES, {"-noterm"}, 0},
    {"platlens", "disque_sans_detection", "drive 0 images/disque.img\n", {"0"}, 0},
    {"platlens", "disque_absent", DISQUES, {"5"}, 0},
    {"platlens", "codes_refuses",
     DISQUES + "fail IOCTL_DISK_GET_DRIVE_GEOMETRY_EX \\\\.\\PHYSICALDRIVE0 ERROR_INVALID_FUNCTION\n"
               "fail IOCTL_DISK_GET_DRIVE_GEOMETRY \\\\.\\PHYSICALDRIVE0 ERROR_NOT_READY\n",
     {"-noterm", "0"}, 0},
    {"platlens", "numero_128", "", {"128"}, 1},
    {"vollens", "lecteur_c", DISQUES, {"c"}, 0},
    {"vollens", "lecteur_occupe", DISQUES, {"/p", "D:"}, 0},
    {"vollens", "lecteur_3_to_secteurs_4096", DISQUES, {"-noterm", "e:"}, 0},
    {"vollens", "lecteur_absent", DISQUES, {"F"}, 0},
    {"vollens", "geometries_refusees",
     DISQUES + "fail IOCTL_DISK_GET_DRIVE_GEOMETRY_EX \\\\.\\C: ERROR_INVALID_FUNCTION\n"
               "fail IOCTL_DISK_GET_DRIVE_GEOMETRY \\\\.\\C: ERROR_INVALID_FUNCTION\n",
     {"C"}, 0},
    {"vollens", "positions_refusees",
     DISQUES + "fail IOCTL_DISK_GET_PARTITION_INFO_EX \\\\.\\C: ERROR_INVALID_FUNCTION\n"
               "fail IOCTL_DISK_GET_PARTITION_INFO \\\\.\\C: ERROR_INVALID_FUNCTION\n",
     {"C"}, 0},
    {"vollens", "tous_les_lecteurs", DISQUES, {"-noterm"}, 0},
    {"vollens", "nom_de_lecteur_faux", "", {"c:\\"}, 1},
    {"vollens", "deux_lecteurs", "", {"c", "1"}, 1},
    // The 9x family: BIOS calls for the disks (none counted), DOS calls for
    // the drives.
    {"platlens", "bios_etendu_98", "windows 98\n" + DISQUES_9X, {"0"}, 0},
    {"platlens", "bios_3_to_secteurs_4096_98", "windows 98\n" + DISQUES_9X, {"-noterm", "1"}, 0},
    {"platlens", "bios_sans_extensions_95", "windows 95\ndrive 0 images/disque.img noext\n",
     {"0"}, 0},
    {"platlens", "aucun_disque_me", "windows me\n" + DISQUES_9X, {"-noterm"}, 0},
    {"vollens", "lecteur_c_fat16_98", "windows 98\n" + DISQUES_9X, {"c"}, 0, FAT16_C},
    {"vollens", "lecteur_occupe_98", "windows 98\n" + DISQUES_9X, {"D:"}, 0},
};

class JumeauWindows : public testing::TestWithParam<CasWindows> {};

TEST_P(JumeauWindows, SortieAttendue) {
  const CasWindows& c = GetParam();
  std::string absence = absenceWine(c.programme);
  if (!absence.empty()) GTEST_SKIP() << absence;
  MachineTemporaire m;
  ASSERT_TRUE(preparerImages(m));
  if (*c.preparation != '\0') {
    ASSERT_EQ(m.commande(c.preparation), 0) << c.preparation;
  }
  m.machine(c.machine);
  Execution w = lancer(c.programme, true, m, c.arguments, "\n");
  EXPECT_EQ(w.statut, c.statut);
  std::string nom = std::string("windows_") + c.nom;
  if (getenv("LENS_ECRIRE_ATTENDUS") != nullptr) {
    m.ecrire("ecrit.txt", w.sortie);
    std::string copie = "cp " + entreGuillemets(m.chemin("ecrit.txt")) + " " +
                        entreGuillemets(std::string(LENS_ATTENDUS) + "/" + c.programme + "/" +
                                        nom + ".txt");
    ASSERT_EQ(system(copie.c_str()), 0);
  }
  EXPECT_EQ(w.sortie, attendu(c.programme, nom));
  EXPECT_EQ(w.erreur, "");
}

INSTANTIATE_TEST_SUITE_P(JumeauxWindows, JumeauWindows, testing::ValuesIn(casWindows),
                         [](const testing::TestParamInfo<CasWindows>& i) {
                           return std::string(i.param.programme) + "_" + i.param.nom;
                         });

}  // namespace
#endif
