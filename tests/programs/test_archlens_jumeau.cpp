// Whole runs of archlens' simulation twin on generated backup files: standard
// output compared with tests/programs/attendu/archlens/<name>.txt, and the
// exit status. The files are made from field values (CRCs by zlib), then
// damaged by patching where a case says so.
#ifdef LENS_JUMEAU_ARCHLENS
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "jumeau.h"
#include "support/fichier_sauvegarde.h"

namespace {

const char* const ARCHLENS = LENS_JUMEAU_ARCHLENS;
const char* const FICHIER = "/b/s.bak";

std::string motif(size_t taille) {
  std::string d(taille, '\0');
  for (size_t i = 0; i < taille; ++i) d[i] = static_cast<char>(i * 7 + i / 251);
  return d;
}

// A FAT32 partition's first file: header, subheader, 1000 data bytes.
ChampsSauvegarde systemeFichiers() {
  ChampsSauvegarde c;
  c.typeElement = 3;
  c.typeSupport = 0;
  c.numeroDisque = 1;
  c.numeroPrincipal = 1;
  c.typePartition = 0x0C;
  c.debutSecteur = 33, c.debutCylindre = 0, c.debutTete = 32;
  c.finSecteur = 63, c.finCylindre = 1023, c.finTete = 254;
  c.derniereTete = 254;
  c.tailleDisque = 16777216;
  c.premierSecteur = 2048;
  c.nombreSecteurs = 409600;
  c.nbSecteursMin = 69632;
  c.nbSecteursMax = 8388608;
  c.donnees = motif(1000);
  return c;
}

std::string fs() { return octetsSauvegarde(systemeFichiers()); }

// One byte of the file changed.
std::string patche(std::string octets, size_t position) {
  char ancien = octets.at(position);
  octets.replace(position, 1, 1, static_cast<char>(ancien ^ 0x5A));
  return octets;
}

ChampsSauvegarde gpt(uint8_t typeElement, const char* guid) {
  ChampsSauvegarde c;
  c.typeElement = typeElement;
  c.typeSupport = 4;
  c.avecGuidType = true;
  for (int i = 0; i < 16; ++i) c.guidType[i] = static_cast<uint8_t>(std::stoi(std::string(guid + 2 * i, 2), nullptr, 16));
  c.incrementNecessaire = 3;  // not part of the GUID
  c.premierSecteur = 2048;
  c.nombreSecteurs = 1048576;
  c.nbSecteursMin = 0;  // a minimum of 0 still shows its size
  c.nbSecteursMax = 1048576;
  c.donnees = motif(300);
  return c;
}

const char* const GUID_DONNEES = "a2a0d0ebe5b9334487c068b6b72699c7";
// Linux file system: not in the type table.
const char* const GUID_LINUX = "af3dc60f838472478e793d69d8477de4";
const char* const GUID_RAID = "0f889da1fc053b4da006743f0f84911e";

struct CasArchlens {
  const char* nom;              // golden file
  std::string (*fichier)();     // bytes of FICHIER, or null
  const char* preparation;      // shell command in ROOT, or null
  const char* machine;          // directives
  std::vector<std::string> arguments;
  const char* entree;
  int statut;
};

void PrintTo(const CasArchlens& c, std::ostream* flux) { *flux << c.nom; }

const char* const SANS_TERMINAL = "tty no\n";
const char* const CONSOLE = "tty yes\n";

const CasArchlens casArchlens[] = {
    // Every element type and support type, the report alone.
    {"disque_tous_secteurs_verifie",
     [] {
       ChampsSauvegarde c;
       c.donnees = motif(70000);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 0},
    {"partition_mbr_fat12",
     [] {
       ChampsSauvegarde c = systemeFichiers();
       c.typeElement = 1, c.typePartition = 0x01, c.nombreSecteurs = 20000;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"partition_logique_fat16_verifiee",
     [] {
       ChampsSauvegarde c = systemeFichiers();
       c.typeElement = 2, c.typePartition = 0x06, c.numeroPrincipal = 2, c.numeroEtendue = 3;
       c.optionsElement = 0x07;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 0},
    {"partition_gpt_donnees_fat32",
     [] { return octetsSauvegarde(gpt(3, GUID_DONNEES)); }, nullptr, SANS_TERMINAL,
     {"-noterm", FICHIER}, "", 0},
    {"partition_gpt_type_inconnu_ext2_verifiee",
     [] { return octetsSauvegarde(gpt(4, GUID_LINUX)); }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 0},
    {"partition_gpt_raid_ntfs", [] { return octetsSauvegarde(gpt(5, GUID_RAID)); }, nullptr,
     SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"partition_mbr_ntfs",
     [] {
       ChampsSauvegarde c = systemeFichiers();
       c.typeElement = 5, c.typePartition = 0x07, c.optionsElement = 0x02;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"disque_mbr_verifie",
     [] {
       ChampsSauvegarde c;
       c.typeElement = 6, c.numeroDisque = 2, c.nombreSecteurs = 1;
       c.donnees = motif(512);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 0},
    {"fichier_disque_premiers_secteurs",
     [] {
       ChampsSauvegarde c;
       c.typeElement = 7, c.typeSupport = 5, c.nombreSecteurs = 63;
       c.donnees = motif(63 * 512);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"fichier_disque_table_mbr",
     [] {
       ChampsSauvegarde c;
       c.typeElement = 8, c.typeSupport = 5, c.dernierFichier = 0;
       c.donnees = motif(64);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"disquette_secteur_boot_chs",
     [] {
       ChampsSauvegarde c;
       c.typeElement = 9, c.typeSupport = 2, c.typeAcces = 1, c.incrementNecessaire = 2;
       c.derniereTete = 1, c.dernierCylindre = 79, c.secteursParPiste = 18;
       c.tailleDisque = 2880, c.nombreSecteurs = 1;
       c.compression = 4;
       c.donnees = motif(512);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"peripherique_super_bloc",
     [] {
       ChampsSauvegarde c;
       c.typeElement = 10, c.typeSupport = 3, c.tailleSecteur = 4096, c.nombreSecteurs = 1;
       c.donnees = motif(1024);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"disque_table_gpt",
     [] {
       ChampsSauvegarde c;
       c.typeElement = 11, c.nombreSecteurs = 34;
       c.donnees = motif(34 * 512);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"fichier_lecteur_tous_secteurs",
     [] {
       ChampsSauvegarde c;
       c.typeSupport = 6, c.tailleDisque = 0, c.nombreSecteurs = 8;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"types_inconnus",
     [] {
       ChampsSauvegarde c;
       c.typeElement = 12, c.typeSupport = 7, c.typeAcces = 2, c.optionsElement = 0xFF;
       c.nonUtilise[0] = 0xAB, c.nonUtilise[1] = 0x01, c.nonUtilise[2] = 0xFF;
       c.typePartition = 0xEE;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 0},
    // Sizes whose byte count needs more than 64 bits, shown exactly.
    {"tailles_demesurees",
     [] {
       ChampsSauvegarde c = systemeFichiers();
       c.tailleDisque = 1ULL << 50;
       c.nombreSecteurs = ~0ULL;
       c.tailleSecteur = 4096;
       c.nbSecteursMin = 1ULL << 60;
       c.nbSecteursMax = ~0ULL;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},
    {"deuxieme_fichier_systeme_fichiers_verifie",
     [] {
       ChampsSauvegarde c = systemeFichiers();
       return sauvegardeEnPlusieursFichiers(c, {600, 400})[1];
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 0},
    {"donnees_65536_octets",
     [] {
       ChampsSauvegarde c;
       c.donnees = motif(65536);
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 0},
    {"sans_donnees_verifie", [] { return octetsSauvegarde(ChampsSauvegarde()); }, nullptr,
     SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 0},

    // Failures of -t, in the order they are tested.
    {"premiere_magique_fausse", [] { return patche(patche(fs(), 1), 2); }, nullptr,
     SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 1},
    {"seconde_magique_fausse", [] { return patche(fs(), 102); }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 1},
    {"version_3",
     [] {
       ChampsSauvegarde c = systemeFichiers();
       c.version = 3;
       return patche(octetsSauvegarde(c), 110);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 1},
    {"crc_entete_faux", [] { return patche(patche(fs(), 9), 120); }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 1},
    {"crc_sous_entete_faux", [] { return patche(patche(fs(), 112), 500); }, nullptr,
     SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 1},
    {"donnees_courtes", [] { return fs().substr(0, 124 + 999); }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 1},
    {"donnees_longues_d_un_octet", [] { return fs() + "x"; }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 1},
    {"crc_donnees_faux", [] { return patche(fs(), 124 + 999); }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 1},
    {"entete_courte_103_octets", [] { return fs().substr(0, 103); }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 1},
    {"sous_entete_courte_110_octets", [] { return fs().substr(0, 110); }, nullptr,
     SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 1},
    {"fichier_vide", [] { return std::string(); }, nullptr, SANS_TERMINAL,
     {"-noterm", "-t", FICHIER}, "", 1},
    // A size field of 0 or 1 with far more data: 200 dots, then the size test.
    {"taille_0_avec_donnees",
     [] {
       ChampsSauvegarde c;
       c.donnees = motif(40000);
       c.taille = 0;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 1},
    {"taille_1_avec_donnees",
     [] {
       ChampsSauvegarde c;
       c.donnees = motif(200000);
       c.taille = 1;
       return octetsSauvegarde(c);
     },
     nullptr, SANS_TERMINAL, {"-noterm", "-t", FICHIER}, "", 1},
    {"sans_verification_rien_n_est_verifie", [] { return patche(fs(), 0); }, nullptr,
     SANS_TERMINAL, {"-noterm", FICHIER}, "", 0},

    // What is not a regular file.
    {"fichier_absent", nullptr, nullptr, SANS_TERMINAL, {"-noterm", "-t", "/b/absent.bak"}, "",
     1},
    {"repertoire", nullptr, "mkdir -p b/rep", SANS_TERMINAL, {"-noterm", "-t", "/b/rep"}, "", 1},
    {"fifo_sans_ecrivain", nullptr, "mkdir -p b && mkfifo b/fifo", SANS_TERMINAL,
     {"-noterm", "-t", "/b/fifo"}, "", 1},
    // A writer that comes late: the reads wait for it (the open alone is
    // non-blocking).
    {"fifo_ecrivain_lent", fs,
     "mkfifo b/fifo && { (sleep 0.3; cat b/s.bak) > b/fifo & } && sleep 0.1", SANS_TERMINAL,
     {"-noterm", "/b/fifo"}, "", 0},
    {"lien_symbolique_verifie", fs, "ln -s s.bak b/lien", SANS_TERMINAL,
     {"-noterm", "-t", "/b/lien"}, "", 0},
    // A block device: length unknown, so the length test compares with 124.
    {"peripherique_bloc_verifie", fs, nullptr, "tty no\nblock /dev/sdb 8:16 b/s.bak\n",
     {"-noterm", "-t", "/dev/sdb"}, "", 1},
    {"peripherique_bloc_lecture_en_echec",
     [] {
       ChampsSauvegarde c;
       c.donnees = motif(70000);
       return octetsSauvegarde(c);
     },
     nullptr, "tty no\nblock /dev/sdb 8:16 b/s.bak\nfail read /dev/sdb EIO after=3\n",
     {"-noterm", "-t", "/dev/sdb"}, "", 1},
    {"peripherique_bloc_positionnement_en_echec", fs, nullptr,
     "tty no\nblock /dev/sdb 8:16 b/s.bak\nfail fsync /dev/sdb EIO\nfail seek /dev/sdb EINVAL\n",
     {"-noterm", "-t", "/dev/sdb"}, "", 1},
    {"peripherique_caractere", nullptr, nullptr, "tty no\nchr /dev/zero0 1:5\n",
     {"-noterm", "/dev/zero0"}, "", 1},

    // Pauses.
    {"pauses_sans_verification", fs, nullptr, CONSOLE, {"-p", "-noterm", FICHIER}, "\n\n\n", 0},
    {"pauses_disque_pas_de_pause_finale", [] { return octetsSauvegarde(ChampsSauvegarde()); },
     nullptr, CONSOLE, {"/p", "/noterm", FICHIER}, "\n\n\n", 0},
    {"pauses_verification_pause_finale", fs, nullptr, CONSOLE,
     {"-noterm", "-p", "-t", FICHIER}, "\n\n\n", 0},
    {"console_pause_finale", fs, nullptr, CONSOLE, {"-noterm", FICHIER}, "\n", 0},

    // Command line.
    {"sans_argument", nullptr, nullptr, CONSOLE, {}, "", 1},
    {"aide", nullptr, nullptr, SANS_TERMINAL, {"-noterm", "/?"}, "", 1},
    {"t_deux_fois", nullptr, nullptr, SANS_TERMINAL, {"-t", "-t", FICHIER}, "", 1},
    {"p_deux_fois", nullptr, nullptr, SANS_TERMINAL, {"-p", FICHIER, "/p"}, "", 1},
    {"deux_noms", nullptr, nullptr, SANS_TERMINAL, {"-noterm", "a", "b"}, "", 1},
    {"sans_nom", nullptr, nullptr, SANS_TERMINAL, {"-noterm", "-t", "-p"}, "", 1},
    {"option_inconnue_nom_de_fichier", nullptr, nullptr, SANS_TERMINAL,
     {"-noterm", "-tx"}, "", 1},
};

class JumeauArchlens : public testing::TestWithParam<CasArchlens> {};

TEST_P(JumeauArchlens, SortieAttendue) {
  const CasArchlens& c = GetParam();
  MachineTemporaire m;
  m.machine(c.machine);
  if (c.fichier != nullptr) m.ecrire(FICHIER + 1, c.fichier());
  if (c.preparation != nullptr) {
    ASSERT_EQ(m.commande(c.preparation), 0);
  }
  Execution e = executerJumeau(ARCHLENS, m, c.arguments, c.entree, nullptr);
  EXPECT_EQ(e.statut, c.statut);
  EXPECT_EQ(e.sortie, attenduPour("archlens", c.nom, e.sortie));
  EXPECT_EQ(e.erreur, "");
}

INSTANTIATE_TEST_SUITE_P(Archlens, JumeauArchlens, testing::ValuesIn(casArchlens),
                         [](const testing::TestParamInfo<CasArchlens>& i) {
                           return std::string(i.param.nom);
                         });

// -x names a file, and the unknown option reaches the open as such.
TEST(JumeauArchlensRelance, SansTerminalAvecAffichage) {
  MachineTemporaire m;
  m.machine(SANS_TERMINAL);
  Execution e = executerJumeau(ARCHLENS, m, {"-t", "-x"}, "", ":0");
  EXPECT_EQ(e.statut, 0);
  EXPECT_EQ(e.sortie, "");
  EXPECT_EQ(m.lire("exec.log"), std::string("xterm -e ") + ARCHLENS + " -t -x -noterm\n");
}

}  // namespace
#endif
