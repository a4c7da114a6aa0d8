#include "platform/linux/demarrage.h"

#include <cerrno>
#include <cstring>
#include <strings.h>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/peripheriques_declares.h"
#include "platform/linux/services.h"

namespace {

int32_t modeCourant = 0;
// Cleared by every appliquerLocale: the exit function applies one only when
// the run never did.
bool localeEnAttente = true;

const char* const suffixesUtf8[] = {".UTF-8", ""};
const char* const suffixesAutres[] = {".ISO-8859-1", ".ISO-8859-15", ""};
const char* const suffixeVide[] = {""};

const char* const MESSAGE_NOYAU = "You need a version of kernel >= 2.5.4.";
const char* const MESSAGE_GLIBC = "You need a version of glibc >= 2.2.0.";

const char* variableLocale() {
  TRACER_APPEL();
  static const char* const noms[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const char* nom : noms) {
    const char* valeur = appelsSysteme.getenv(nom);
    if (valeur != nullptr) return valeur;
  }
  return nullptr;
}

// "C" or "POSIX", alone or followed by a modifier or a charset.
bool estLocaleNeutre(const char* valeur) {
  TRACER_APPEL();
  static const char* const neutres[] = {"C", "POSIX"};
  for (const char* neutre : neutres) {
    size_t n = strlen(neutre);
    if (strncmp(valeur, neutre, n) == 0 &&
        (valeur[n] == '\0' || valeur[n] == '@' || valeur[n] == '.')) {
      return true;
    }
  }
  return false;
}

char* nomLocale(const char* base, const char* suffixe, const char* modificateur) {
  TRACER_APPEL();
  size_t taille = strlen(base) + strlen(suffixe) + strlen(modificateur) + 1;
  char* nom = static_cast<char*>(xmalloc(taille));
  formaterMessage(nom, taille, "%s%s%s", base, suffixe, modificateur);
  return nom;
}

void journaliser(int priorite, const char* format, ...) {
  TRACER_APPEL();
  va_list arguments;
  va_start(arguments, format);
  appelsSysteme.vsyslog(priorite, format, arguments);
  va_end(arguments);
}

// The message and the system's text for errno, to the system log and (by
// LOG_PERROR) standard error; status 1.
[[noreturn]] void echecTerminal(const char* message, int erreur) {
  TRACER_APPEL();
  const char* detail = strerror(erreur);
  if (detail == nullptr) detail = "unknown error code";
  appelsSysteme.openlog(nullptr, LOG_CONS | LOG_PERROR, 0);
  journaliser(LOG_UUCP | LOG_ERR, "%s\n%s", message, detail);
  erreurFatale(nullptr, 0, 1);
}

void libererVecteur(char** vecteur) {
  TRACER_APPEL();
  for (size_t i = 0; vecteur[i] != nullptr; ++i) free(vecteur[i]);
  free(vecteur);
}

}  // namespace

void verifierSysteme() {
  TRACER_APPEL();
  effacerArretDemande();
  viderPeripheriquesDeclares();
  struct utsname nom;
  if (appelsSysteme.uname(&nom) != 0) erreurFatale(MESSAGE_NOYAU, 0, 1);
  uint32_t majeur, mineur, revision;
  lireVersion(nom.release, &majeur, &mineur, &revision);
  bool noyauRecent = majeur > 2 || (majeur == 2 && mineur > 5) ||
                     (majeur == 2 && mineur == 5 && revision > 3);
  if (!noyauRecent) erreurFatale(MESSAGE_NOYAU, 0, 1);
  const char* glibc = appelsSysteme.gnu_get_libc_version();
  if (glibc == nullptr) erreurFatale(MESSAGE_GLIBC, 0, 1);
  lireVersion(glibc, &majeur, &mineur, &revision);
  if (majeur < 2 || (majeur == 2 && mineur <= 1)) erreurFatale(MESSAGE_GLIBC, 0, 1);
  ajouterFonctionSortie(restaurerLocale);
}

void analyserLocale(bool* francais, bool* utf8) {
  TRACER_APPEL();
  *francais = false;
  *utf8 = false;
  const char* valeur = variableLocale();
  if (valeur == nullptr) return;
  *francais = (valeur[0] == 'F' || valeur[0] == 'f') && (valeur[1] == 'R' || valeur[1] == 'r');
  const char* point = strchr(valeur, '.');
  *utf8 = (point != nullptr && strncasecmp(point, ".UTF-8", 6) == 0) ||
          strncasecmp(valeur, "UTF-8", 5) == 0;
}

void fixerModeLocale(int32_t mode) { modeCourant = mode; }
int32_t modeLocale() { return modeCourant; }

void appliquerLocale(int32_t mode, bool francais, bool utf8) {
  TRACER_APPEL();
  localeEnAttente = false;
  if (mode == 0) {
    appelsSysteme.setlocale(LC_ALL, "");
    return;
  }
  const char* const* suffixes = utf8 ? suffixesUtf8 : suffixesAutres;
  size_t nombreSuffixes = utf8 ? 2 : 3;
  const char* valeur = variableLocale();
  char* base;
  if (valeur != nullptr && !estLocaleNeutre(valeur)) {
    base = xstrdup(valeur);
  } else if (francais) {
    base = xstrdup("fr_FR");
  } else {
    base = xstrdup(utf8 ? "UTF-8" : "C");
    suffixes = suffixeVide;
    nombreSuffixes = 1;
  }
  char* modificateur = xstrdup("");
  if (char* marque = strchr(base, '@')) {
    free(modificateur);
    modificateur = xstrdup(marque);
    if (char* point = strchr(modificateur, '.')) *point = '\0';
    *marque = '\0';
  }
  if (char* point = strchr(base, '.')) *point = '\0';

  char* garde = nullptr;
  for (size_t i = 0; i < nombreSuffixes && garde == nullptr; ++i) {
    char* nom = nomLocale(base, suffixes[i], modificateur);
    if (appelsSysteme.setlocale(LC_ALL, nom) != nullptr) {
      garde = nom;
    } else {
      free(nom);
    }
  }
  if (garde == nullptr) garde = nomLocale(base, suffixes[0], modificateur);
  appelsSysteme.setenv("LC_CTYPE", garde, 1);
  appelsSysteme.setenv("LC_ALL", garde, 1);
  appelsSysteme.setenv("LANG", garde, 1);
  appelsSysteme.setlocale(LC_ALL, garde);
  free(garde);
  free(modificateur);
  free(base);
}

void restaurerLocale() {
  TRACER_APPEL();
  viderPeripheriquesDeclares();
  if (localeEnAttente && !estSortieUrgence()) {
    bool francais, utf8;
    analyserLocale(&francais, &utf8);
    appliquerLocale(modeCourant, francais, utf8);
  }
}

void lancerTerminal(const char* terminal, const char* option, int argc, char* const* argv,
                    int saut, int paire, int nombre, const char* const* supplements) {
  TRACER_APPEL();
  if (terminal != nullptr) {
    if (strcmp(terminal, "no") == 0) return;
  } else {
    if (appelsSysteme.isatty(0) || appelsSysteme.getenv("DISPLAY") == nullptr) return;
    terminal = "xterm";
  }
  if (option == nullptr) option = "-e";
  bool francais, utf8;
  analyserLocale(&francais, &utf8);
  appliquerLocale(modeCourant, francais, utf8);

  if (argc < 0) argc = 0;
  if (nombre < 0) nombre = 0;
  size_t places = static_cast<size_t>(argc) + static_cast<size_t>(nombre) + 3;
  char** vecteur = static_cast<char**>(xmalloc(places * sizeof(char*)));
  size_t n = 0;
  vecteur[n++] = xstrdup(terminal);
  if (*option != '\0') vecteur[n++] = xstrdup(option);
  for (int i = 0; i < argc; ++i) {
    if (saut != -1 && i >= saut && i < saut + nombre) continue;
    if (paire != -1 && (i == paire || i == paire + 1)) continue;
    vecteur[n++] = xstrdup(argv[i]);
  }
  for (int i = 0; i < nombre; ++i) vecteur[n++] = xstrdup(supplements[i]);
  vecteur[n] = nullptr;

  errno = 0;
  pid_t processus = appelsSysteme.fork();
  if (processus > 0) {
    libererVecteur(vecteur);
    erreurFatale(nullptr, 0, 0);
  }
  const char* message = "Unable to create process to launch terminal:";
  if (processus == 0) {
    appelsSysteme.execvp(vecteur[0], vecteur);
    message = "Unable to launch terminal:";
  }
  int erreur = errno;
  libererVecteur(vecteur);
  echecTerminal(message, erreur);
}
