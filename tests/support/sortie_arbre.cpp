#include "support/sortie_arbre.h"

#include "core/format.h"

SortieArbre decouperArbre(const std::string& sortie) {
  SortieArbre resultat;
  resultat.avant = sortie;
  const std::string entete = "@afficherArbreAppel: ", titre = "\nCall tree:\n", pause = TEXTE_PAUSE;
  size_t debut = sortie.rfind(entete);
  if (debut == std::string::npos) return resultat;
  size_t finAdresse = sortie.find(titre, debut);
  if (finAdresse == std::string::npos || sortie.size() < pause.size() ||
      sortie.compare(sortie.size() - pause.size(), pause.size(), pause) != 0) {
    return resultat;
  }
  size_t corps = finAdresse + titre.size(), finCorps = sortie.size() - pause.size();
  if (corps > finCorps) return resultat;
  std::vector<std::string> lignes;
  for (size_t p = corps; p < finCorps;) {
    size_t nl = sortie.find('\n', p);
    if (nl == std::string::npos || nl >= finCorps) return resultat;  // unterminated line
    lignes.push_back(sortie.substr(p, nl - p));
    p = nl + 1;
  }
  resultat.present = true;
  resultat.avant = sortie.substr(0, debut);
  resultat.adresse = sortie.substr(debut + entete.size(), finAdresse - debut - entete.size());
  resultat.lignes = lignes;
  return resultat;
}

std::string texteAdresse(uintptr_t adresse) {
  char texte[32];
  formaterMessage(texte, sizeof texte, FMT_ADRESSE, adresse);
  return texte;
}
