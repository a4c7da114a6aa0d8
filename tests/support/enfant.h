// Runs a body in a child process with a given standard input and captures
// the exact bytes it writes to standard output and its exit status.
//
//   ResultatEnfant r = executerEnfant([] { erreurFatale("x", 0, 1); }, "\n");
//   EXPECT_EQ(r.statut, 1);
//   EXPECT_EQ(r.sortie, "Error: x\n-- Press Return to continue --");
//
// Built on GoogleTest death tests, so it is called from inside a test: fork()
// on Linux, a new run of the test binary on Windows. On Windows the child
// replays the test from its start up to this call, the earlier calls giving
// back the results the parent saw; so the code around the call must have no
// effect that the child would repeat: put set-up such as
// installerTraitementErreurs or ajouterFonctionSortie inside the body. The
// temporary files are removed when the test ends.
//
// - Standard input: the given bytes, read in binary mode; executerEnfantSansEntree
//   closes descriptor 0 instead (reads fail at once).
// - Standard output: a temporary file in binary mode (no CR LF translation).
// - Standard error: left as it is.
// - A body that returns ends the child with exit(0), so atexit functions run.
#pragma once
#include <functional>
#include <string>

struct ResultatEnfant {
  std::string sortie;  // every byte written to standard output
  int statut;          // exit status; on Linux a death by signal gives -signal
};

ResultatEnfant executerEnfant(const std::function<void()>& corps, const std::string& entree = "");
ResultatEnfant executerEnfantSansEntree(const std::function<void()>& corps);
