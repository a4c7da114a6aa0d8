#include "support/enfant.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/flux_rediriges.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const char VARIABLE_PARENT[] = "LENS_ENFANT_PARENT";

// The parent's process id, passed on through the environment so that a
// Windows child that replays the test finds the same file names.
std::string identifiantParent() {
  const char* valeur = getenv(VARIABLE_PARENT);
  if (valeur) return valeur;
#ifdef _WIN32
  std::string id = std::to_string(_getpid());
  _putenv((std::string(VARIABLE_PARENT) + "=" + id).c_str());
#else
  std::string id = std::to_string(getpid());
  setenv(VARIABLE_PARENT, id.c_str(), 1);
#endif
  return id;
}

// Counts the calls within the current test, the same in parent and child.
int numeroAppel() {
  static std::string test;
  static int numero;
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string nom = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
  if (nom != test) {
    test = nom;
    numero = 0;
  }
  return ++numero;
}

[[noreturn]] void echecEnfant(const char* quoi, const std::string& chemin) {
  fprintf(stderr, "child runner: cannot %s %s\n", quoi, chemin.c_str());
  _Exit(125);
}

[[noreturn]] void lancerCorps(const std::function<void()>& corps, const std::string* entree,
                              const std::string& cheminEntree, const std::string& cheminSortie) {
  fflush(stdout);
  if (entree) {
    FILE* f = fopen(cheminEntree.c_str(), "wb");
    if (!f || fwrite(entree->data(), 1, entree->size(), f) != entree->size() || fclose(f) != 0) {
      echecEnfant("write", cheminEntree);
    }
    if (!freopen(cheminEntree.c_str(), "rb", stdin)) echecEnfant("open", cheminEntree);
  } else {
#ifdef _WIN32
    _close(0);
#else
    close(0);
#endif
  }
  if (!freopen(cheminSortie.c_str(), "wb", stdout)) echecEnfant("open", cheminSortie);
  corps();
  exit(0);
}

int decoderStatut(int brut) {
#ifdef _WIN32
  return brut;
#else
  if (WIFEXITED(brut)) return WEXITSTATUS(brut);
  if (WIFSIGNALED(brut)) return -WTERMSIG(brut);
  return brut;
#endif
}

// Files of the current test's children, removed when the test ends.
class NettoyageEnfants : public testing::EmptyTestEventListener {
 public:
  static void noter(const std::string& prefixe) {
    static NettoyageEnfants* instance;
    if (!instance) {
      instance = new NettoyageEnfants;
      testing::UnitTest::GetInstance()->listeners().Append(instance);
    }
    instance->prefixes_.push_back(prefixe);
  }
  void OnTestEnd(const testing::TestInfo&) override {
    for (const std::string& p : prefixes_) {
      for (const char* extension : {".in", ".out", ".status"}) remove((p + extension).c_str());
    }
    prefixes_.clear();
  }

 private:
  std::vector<std::string> prefixes_;
};

ResultatEnfant executer(const std::function<void()>& corps, const std::string* entree) {
  std::string prefixe = dossierTemporaire() + "lens-enfant-" + identifiantParent() + "-" +
                        std::to_string(numeroAppel());
  std::string cheminEntree = prefixe + ".in", cheminSortie = prefixe + ".out";
  std::string cheminStatut = prefixe + ".status";
  int brut = -1;
  fflush(stdout);
  EXPECT_EXIT(lancerCorps(corps, entree, cheminEntree, cheminSortie),
              [&brut](int statut) {
                brut = statut;
                return true;
              },
              "");
  ResultatEnfant resultat{contenuFichier(cheminSortie), -1};
  if (testing::internal::InDeathTestChild()) {
    // A child replaying the test passes the earlier calls: give back what the
    // parent saw, so that the test takes the same road to this child's call.
    resultat.statut = atoi(contenuFichier(cheminStatut).c_str());
    return resultat;
  }
  resultat.statut = decoderStatut(brut);
  FILE* f = fopen(cheminStatut.c_str(), "wb");
  if (f) {
    fputs(std::to_string(resultat.statut).c_str(), f);
    fclose(f);
  }
  NettoyageEnfants::noter(prefixe);
  return resultat;
}

}  // namespace

ResultatEnfant executerEnfant(const std::function<void()>& corps, const std::string& entree) {
  return executer(corps, &entree);
}

ResultatEnfant executerEnfantSansEntree(const std::function<void()>& corps) {
  return executer(corps, nullptr);
}
