// Command-line and console rules shared by the four programs: options
// written -x or /x, the -noterm pre-scan and the terminal relaunch, the
// banner, the usage exit and the pauses.
//
//   int main(int argc, char** argv) {
//     ... start-up routines ...
//     definirProgramme("TabLens V1.18", texteUsage);
//     bool sansTerminal = ouvrirLigneCommande(argc, argv);  // relaunch, banner
//     for (int i = 1; i < argc; ++i) {
//       if (estDemandeAide(argv[i])) afficherUsage(nullptr);
//       if (estOption(argv[i], "p")) ...
//     }
//     ...
//     pauseFinale(sansTerminal);
//   }
#pragma once

// The banner's "Name Vx.yy" and the whole usage text (both kept, not copied).
void definirProgramme(const char* nomVersion, const char* usage);

// "(Linux 64 bits)", "(Linux 32 bits)", "(Windows 64 bits)" or
// "(Windows 32 bits)": the build's platform.
const char* textePlateforme();

// The option name of an argument that begins with '-' or '/', else null.
const char* nomOption(const char* argument);
// The argument is exactly the option nom, with either prefix.
bool estOption(const char* argument, const char* nom);
// -h, -?, /h or /? alone.
bool estDemandeAide(const char* argument);
// The options that platlens, vollens and archlens read alike: -h and -?
// (the usage text), -p (sets the -p switch; a second one is the usage error
// "-p argument given twice.") and -noterm (already pre-scanned). True when
// the argument was one of them.
bool lireOptionCommune(const char* argument);
// Some argument from argv[1] on is -noterm (or /noterm).
bool contientSansTerminal(int argc, char* const* argv);

// Linux: the relaunch inside a terminal window with -noterm appended, when
// there is no terminal and a display is available; it returns only when no
// relaunch is made. Windows: nothing.
void relancerDansTerminal(int argc, char* const* argv);
// The program's banner line, blank-padded to 80 characters.
void afficherBanniere();
// The start of every main: the -noterm pre-scan, the relaunch when -noterm
// is absent (also with no argument at all), the banner. Returns whether
// -noterm was given.
bool ouvrirLigneCommande(int argc, char* const* argv);

// The message (when not null) and the usage text, then exit status 1
// through the exit functions.
[[noreturn]] void afficherUsage(const char* message);

// The -p switch, read by pauseEcran.
extern bool pauseDemandee;
// With the -p switch set and drapeau true: the Return prompt and a read of
// standard input up to a newline (or its end).
void pauseEcran(bool drapeau);
// Standard input and standard output are both terminals.
bool entreeSortieTerminaux();
// End of run: with -noterm given and both standard streams on terminals,
// the Return prompt, so that a window opened by the relaunch stays readable.
void pauseFinale(bool sansTerminal);
