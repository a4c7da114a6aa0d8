// Stands in for the platform's path locks (linked before the platform
// library, so its own bodies are not pulled in): records each call and
// refuses chosen paths, with no device.
#include "substitut_verrous.h"

#include "storage/plateforme.h"

std::vector<std::string> journalVerrous;
std::set<std::string> cheminsRefuses;
const char* const REFUS_VERROU_TEST = "lock refused";

const char* verrouillerCheminSupport(const char* chemin) {
  journalVerrous.push_back(std::string("lock ") + chemin);
  return cheminsRefuses.count(chemin) ? REFUS_VERROU_TEST : nullptr;
}

void deverrouillerCheminSupport(const char* chemin) {
  journalVerrous.push_back(std::string("unlock ") + chemin);
}
