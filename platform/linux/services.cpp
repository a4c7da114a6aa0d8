#include "platform/linux/services.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/transferts.h"
#include "storage/plateforme.h"

namespace {

int32_t erreurSysteme = 0;

// Written by the SIGTERM handler.
volatile sig_atomic_t arretDemande = 0;
bool administrateurForce = false;

// The largest text lireFichierTexte reads: two below the allocation limit.
const uint64_t TAILLE_MAX_FICHIER = TAILLE_MAX_ALLOCATION - 2;

void attendre(long secondes, long microsecondes) {
  TRACER_APPEL();
  struct timeval delai;
  delai.tv_sec = secondes;
  delai.tv_usec = microsecondes;
  appelsSysteme.select(0, nullptr, nullptr, nullptr, &delai);
}

// Decimal digits at *p, saturated at 0xFFFFFFFF; false when there is none.
bool lireEntier(const char** p, uint32_t* valeur) {
  TRACER_APPEL();
  const char* c = *p;
  while (*c == ' ' || *c == '\t') ++c;
  if (*c < '0' || *c > '9') return false;
  uint64_t v = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    v = v * 10 + static_cast<uint64_t>(*c - '0');
    if (v > 0xFFFFFFFFULL) v = 0xFFFFFFFFULL;
  }
  *valeur = static_cast<uint32_t>(v);
  *p = c;
  return true;
}

}  // namespace

int32_t memoriserErreurSysteme() {
  TRACER_APPEL();
  erreurSysteme = errno;
  return erreurSysteme;
}

void afficherErreurSysteme() {
  TRACER_APPEL();
  afficherMessage("Error number: %d.\n", static_cast<int>(erreurSysteme));
  const char* texte = strerror(erreurSysteme);
  afficherMessage("Error message: %s.\n", texte ? texte : "");
}

void nettoyerMemoire() {}

void enregistrerNettoyageMemoire() {
  TRACER_APPEL();
  ajouterFonctionSortie(nettoyerMemoire);
}

uint64_t memoireLibreSysteme() {
  TRACER_APPEL();
  struct sysinfo info;
  if (appelsSysteme.sysinfo(&info) != 0) return 0;
  uint64_t m = info.freeram;
  if (info.mem_unit != 0) {
    uint64_t unite = info.mem_unit;
    m = m > MEMOIRE_SANS_LIMITE / unite ? MEMOIRE_SANS_LIMITE : m * unite;
  }
  struct rlimit64 limite;
  if (appelsSysteme.getrlimit64(RLIMIT_DATA, &limite) == 0 && limite.rlim_cur != 0 &&
      limite.rlim_cur != RLIM64_INFINITY && limite.rlim_cur < m)
    m = limite.rlim_cur;
  return m < MEMOIRE_SANS_LIMITE ? m : MEMOIRE_SANS_LIMITE;
}

void lireVersion(const char* texte, uint32_t* majeur, uint32_t* mineur, uint32_t* revision) {
  TRACER_APPEL();
  uint32_t v[3] = {0, 0, 0};
  int lus = 0;
  const char* p = texte;
  if (p != nullptr) {
    while (lus < 3) {
      if (lus > 0) {
        if (*p != '.') break;
        const char* suite = p + 1;
        if (!lireEntier(&suite, &v[lus])) break;
        p = suite;
      } else if (!lireEntier(&p, &v[0])) {
        break;
      }
      ++lus;
    }
  }
  if (majeur) *majeur = v[0];
  if (mineur) *mineur = v[1];
  if (revision) *revision = v[2];
}

char* lireFichierTexte(const char* chemin, uint64_t* taille) {
  TRACER_APPEL();
  if (chemin == nullptr) return nullptr;
  // Only a regular file is opened: opening a device (a watchdog) may act on it.
  struct stat64 etat;
  if (appelsSysteme.stat64(chemin, &etat) != 0 || !S_ISREG(etat.st_mode)) return nullptr;
  // Non-blocking still: a FIFO swapped in before the open must not hold us.
  int fd = appelsSysteme.open64(chemin, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  if (appelsSysteme.fstat64(fd, &etat) != 0 || !S_ISREG(etat.st_mode) || etat.st_size < 0 ||
      static_cast<uint64_t>(etat.st_size) > TAILLE_MAX_FICHIER) {
    appelsSysteme.close(fd);
    return nullptr;
  }
  uint64_t octets = static_cast<uint64_t>(etat.st_size);
  if (taille) *taille = octets;
  char* texte = static_cast<char*>(malloc(static_cast<size_t>(octets) + 1));
  if (texte == nullptr) {
    appelsSysteme.close(fd);
    return nullptr;
  }
  texte[octets] = '\0';
  uint64_t lus = 0;
  bool lu = lireTout(fd, octets, texte, &lus);
  appelsSysteme.close(fd);
  if (!lu || lus != octets) {
    free(texte);
    return nullptr;
  }
  return texte;
}

void synchroniserDisques() {
  TRACER_APPEL();
  appelsSysteme.sync();
  attendre(0, 500000);
}

void signalArret(int signal) {
  TRACER_APPEL();
  if (signal != SIGTERM) return;
  arretDemande = 1;
  appelsSysteme.signal(SIGTERM, SIG_DFL);
  appelsSysteme.raise(SIGTERM);
}

void effacerArretDemande() { arretDemande = 0; }

void redemarrerOrdinateur(bool finNormale) {
  TRACER_APPEL();
  synchroniserDisques();
  if (appelsSysteme.signal(SIGTERM, signalArret) == SIG_IGN) appelsSysteme.signal(SIGTERM, SIG_IGN);
  arretDemande = 0;
  appelsSysteme.kill(1, SIGINT);
  if (!arretDemande) attendre(10, 0);
  erreurFatale(arretDemande ? nullptr : "Program cannot reboot computer, you have to do it yourself.",
               0, finNormale ? 0 : 3);
}

bool estAdministrateur() {
  TRACER_APPEL();
  return administrateurForce || appelsSysteme.getuid() == 0;
}

void forcerAdministrateur() { administrateurForce = true; }
