// Support_Bloc: fields, base slots, opening, paths, windows and hibernation.
#include "storage/support_bloc.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/noms.h"
#include "core/texte.h"
#include "storage/file_header.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"

namespace {

uint32_t compteurSerie = 0;

const char* const REFUS_RESTAURATION =
    "You cannot restore this element because saved file is on it and\n"
    "this will generate an error with data into file and on element lost.";
const char* const REFUS_TYPE = "Program cannot treat this type of element for this operation.";

const char* const SIGNATURE_HIBERNATION = "S1SUSPEND";  // with its NUL: 10 bytes
const size_t POSITIONS_HIBERNATION[] = {4086, 8182, 16374, 65526};
const uint32_t OCTETS_HIBERNATION = 65536;

}  // namespace

Support_Bloc::Support_Bloc() : Support_Bloc(0, 0, 0, 0, 0, 0, 0, 0, 0) {}

Support_Bloc::Support_Bloc(uint16_t tailleSecteur, uint64_t premierSecteur, uint64_t nombreSecteurs,
                           uint64_t secteursParPiste, uint64_t nombreTetes, uint64_t nombreCylindres,
                           int32_t acces, uint8_t octetMedia, uint8_t lecteurBios)
    : redirectionSource_(0),
      redirectionCible_(0),
      redirectionLongueur_(0),
      fenetreEcriturePremier_(0),
      fenetreEcritureLongueur_(0),
      ouvert_(false),
      refusGarde_(nullptr),
      modifiable_(true),
      identifiant_(ID_ANONYME, compteurSerie++),
      tailleSecteur_(tailleSecteur),
      premierSecteur_(premierSecteur),
      nombreSecteurs_(nombreSecteurs),
      secteursParPiste_(secteursParPiste),
      nombreTetes_(nombreTetes),
      nombreCylindres_(nombreCylindres),
      acces_(acces),
      octetMedia_(octetMedia),
      lecteurBios_(lecteurBios) {
  TRACER_APPEL();
  SupportBlocManager::registerSupport(this);
}

Support_Bloc::~Support_Bloc() {}

Support_Bloc* Support_Bloc::acquerir(int drapeaux) {
  TRACER_APPEL();
  prendreReference(drapeaux);
  return this;
}

const Support_Bloc* Support_Bloc::acquerirConst(int drapeaux) const {
  TRACER_APPEL();
  prendreReference(drapeaux);
  return this;
}

// Not virtual: a derived acquerir that calls the base must not reach a
// derived acquerirConst and take its extra references twice.
void Support_Bloc::prendreReference(int drapeaux) const {
  TRACER_APPEL();
  if ((drapeaux & REFERENCE_ACCES) && !ouvert_) {
    erreurFatale("Support has not been initialized before accessing it.", ERREUR_ARBRE_APPEL, 1);
  }
  // The registry keeps the counts; the medium itself does not change.
  SupportBlocManager::addReference(const_cast<Support_Bloc*>(this), drapeaux);
}

bool Support_Bloc::liberer(int drapeaux) { return SupportBlocManager::release(this, drapeaux); }

bool Support_Bloc::dependDe(const Support_Bloc* autre) const {
  TRACER_APPEL();
  return autre && identifiant_ == autre->identifiant_;
}

BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const>
Support_Bloc::geometriesPossibles() const {
  TRACER_APPEL();
  BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometries;
  T_HeadsSectorsNumber propre = {0, static_cast<int>(secteursParPiste_),
                                 static_cast<int>(nombreTetes_)};
  geometries.add(propre);
  return geometries;
}

BasicArray<Support_Bloc*, Support_Bloc* const> Support_Bloc::sousSupports(bool* choisisSeulement) {
  TRACER_APPEL();
  if (choisisSeulement) *choisisSeulement = false;
  return BasicArray<Support_Bloc*, Support_Bloc* const>();
}

char* Support_Bloc::description(int niveau) const {
  TRACER_APPEL();
  switch (niveau) {
    case 0:
      return xstrdup("Supports");
    case 3: {
      char* colonne = description(4);
      char* taille = texteTaille(static_cast<uint64_t>(tailleSecteur_) * nombreSecteurs_, false);
      char* nom = texteDescription(15);
      const char* format = "%-39.39s |  %c  | %10.10s | %-.14s";
      const char* premiere = colonne ? colonne : textesSupports.colonneSupport;
      size_t longueur =
          static_cast<size_t>(formaterMessage(nullptr, 0, format, premiere, ' ', taille, nom));
      char* ligne = static_cast<char*>(xmalloc(longueur + 1));
      formaterMessage(ligne, longueur + 1, format, premiere, ' ', taille, nom);
      free(colonne);
      free(taille);
      free(nom);
      return ligne;
    }
    case 7:
      return xstrdup("Support choice");
    case 8:
      return xstrdup("Supports list:");
    case 10:
      return xstrdup("Destination element choice");
    case 11:
      return xstrdup("Element that can agree are following:");
    case 12:
      return xstrdup(textesSupports.enteteSupports);
    case 16:
      return xstrdup(textesSupports.aideSupport);
    default:
      return nullptr;
  }
}

const char* Support_Bloc::refusRestauration(const StringArray* chemins) const {
  TRACER_APPEL();
  if (!chemins) return nullptr;
  for (size_t i = 0; i < chemins->count(); ++i) {
    if (contientChemin((*chemins)[i])) return REFUS_RESTAURATION;
  }
  return nullptr;
}

bool Support_Bloc::estModifiable() const { return modifiable_; }

void Support_Bloc::remplirInfo(T_FileHeader* entete) const {
  entete->typeSupport = static_cast<uint8_t>(identifiant_.type());
}

void Support_Bloc::signalerOptions() {}

void Support_Bloc::actionVide1() {}

void Support_Bloc::actionVide2() {}

void Support_Bloc::ajouterChemin(const char* chemin, bool peripherique) {
  TRACER_APPEL();
  if (!chemin || contientChemin(chemin)) return;
  chemins_.add(chemin);
  cheminsPeripherique_.add(peripherique);
}

void Support_Bloc::retirerChemin(const char* chemin) {
  TRACER_APPEL();
  size_t i = chemins_.find(chemin, 0);
  if (i >= chemins_.count()) return;
  chemins_.remove(i);
  cheminsPeripherique_.remove(i);
}

const char* Support_Bloc::retirerDuCache() {
  TRACER_APPEL();
  SupportBlocManager::removeFromCache(identifiant_);
  return nullptr;
}

bool Support_Bloc::accesDirect() const { return true; }

void Support_Bloc::verifierHibernation() {
  TRACER_APPEL();
  if (SupportBlocManager::cacheActif() && !SupportBlocManager::cacheFlagged()) {
    detecterHibernation();
  }
}

void Support_Bloc::fixerNombreSecteurs(uint64_t nombre) { nombreSecteurs_ = nombre; }

void Support_Bloc::fixerSecteursParPiste(uint64_t nombre) { secteursParPiste_ = nombre; }

void Support_Bloc::fixerNombreTetes(uint64_t nombre) { nombreTetes_ = nombre; }

void Support_Bloc::fixerNombreCylindres(uint64_t nombre) { nombreCylindres_ = nombre; }

void Support_Bloc::fixerTailleSecteur(uint16_t taille) { tailleSecteur_ = taille; }

bool Support_Bloc::lireSecteurs(uint64_t, uint32_t nombre, void* tampon, T_RappelMessage) {
  TRACER_APPEL();
  // No physical access: a one-sector read comes back as zeros.
  if (nombre == 1) memset(tampon, 0, tailleSecteur_);
  return false;
}

bool Support_Bloc::ecrireSecteurs(uint64_t, uint32_t, const void*, T_RappelMessage) {
  return false;
}

char* Support_Bloc::texteSecteur(uint64_t secteur) const {
  TRACER_APPEL();
  char tampon[24];
  formaterMessage(tampon, sizeof tampon, FMT_U64, secteur);
  return xstrdup(tampon);
}

const char* Support_Bloc::ouvrir() {
  TRACER_APPEL();
  if (static_cast<uint32_t>(identifiant_.type()) > 6 || tailleSecteur_ == 0) return REFUS_TYPE;
  return nullptr;
}

void Support_Bloc::fermer() {}

const char* Support_Bloc::ouvrirAcces() {
  TRACER_APPEL();
  if (refusGarde_) return refusGarde_;
  if (!ouvert_) {
    refusGarde_ = ouvrir();
    if (refusGarde_) return refusGarde_;
    ouvert_ = true;
  }
  acquerirConst(REFERENCE_ACCES);
  return nullptr;
}

void Support_Bloc::fermerAcces() {
  TRACER_APPEL();
  // Access references are taken only while opened and the flag is cleared
  // only once none is counted: a closed medium has nothing to give back, and
  // every destructor passes here with the registry's whole list to scan.
  if (!ouvert_) return;
  if (SupportBlocManager::state(this, REFERENCE_ACCES)) {
    // The registry calls back here when the last access reference goes.
    liberer(REFERENCE_ACCES);
  } else if (ouvert_) {
    ouvert_ = false;
    fermer();
  }
}

bool Support_Bloc::contientChemin(const char* chemin) const {
  TRACER_APPEL();
  if (!chemin) return false;
  return indiceNom(chemin, chemins_.items(), chemins_.count(), false) < chemins_.count();
}

char* Support_Bloc::texteDescription(int niveau) const {
  TRACER_APPEL();
  char* texte = description(niveau);
  return texte ? texte : xstrdup("");
}

void Support_Bloc::fixerFenetreEcriture(uint64_t premier, uint64_t longueur) {
  TRACER_APPEL();
  fenetreEcriturePremier_ = premier;
  fenetreEcritureLongueur_ = longueur;
}

bool Support_Bloc::fixerRedirection(uint64_t source, uint64_t cible, uint64_t longueur) {
  TRACER_APPEL();
  redirectionSource_ = source;
  redirectionCible_ = cible;
  redirectionLongueur_ = longueur;
  uint64_t n = nombreSecteurs_;
  // Compared without sums, so a window near 2^64 cannot wrap into range.
  if (source >= n || longueur > n - source || cible >= n || longueur > n - cible) {
    redirectionLongueur_ = 0;
    return false;
  }
  return true;
}

const char* Support_Bloc::verrouillerChemins(size_t depuis) {
  TRACER_APPEL();
  for (size_t i = depuis; i < chemins_.count(); ++i) {
    if (!chemins_[i]) continue;
    const char* echec = verrouillerCheminSupport(chemins_[i]);
    if (!echec) continue;
    // Leave none of this call's locks behind.
    for (size_t j = i; j-- > depuis;) {
      if (chemins_[j]) deverrouillerCheminSupport(chemins_[j]);
    }
    return echec;
  }
  return nullptr;
}

void Support_Bloc::deverrouillerChemins(size_t depuis) {
  TRACER_APPEL();
  for (size_t j = chemins_.count(); j-- > depuis;) {
    if (chemins_[j]) deverrouillerCheminSupport(chemins_[j]);
  }
}

void Support_Bloc::detecterHibernation() {
  TRACER_APPEL();
  if (SupportBlocManager::inCache(identifiant_)) return;
  int32_t type = identifiant_.type();
  bool lectureAutorisee = SupportBlocManager::cacheActif() && !SupportBlocManager::cacheFlagged() &&
                          (type == ID_PARTITION_MBR || type == ID_DISQUE || type == ID_PARTITION_GPT);
  bool tousPeripheriques = cheminsPeripherique_.find(false) >= cheminsPeripherique_.count();
  bool verdict = false;
  // A sector size of 0 reads nothing and gives the verdict false.
  if (lectureAutorisee && tousPeripheriques && tailleSecteur_ != 0) {
    uint32_t nombre = divArrondiHaut(OCTETS_HIBERNATION, tailleSecteur_);
    uint8_t* tampon = static_cast<uint8_t*>(xmalloc(static_cast<size_t>(nombre) * tailleSecteur_));
    if (lire(0, nombre, tampon, nullptr)) {
      for (size_t position : POSITIONS_HIBERNATION) {
        if (memcmp(tampon + position, SIGNATURE_HIBERNATION, 10) == 0) verdict = true;
      }
    }
    free(tampon);
  }
  SupportBlocManager::addToCache(identifiant_, nullptr, verdict);
}

char* Support_Bloc::texteEtat() {
  TRACER_APPEL();
  detecterHibernation();
  return xstrdup(SupportBlocManager::cachedText(identifiant_));
}

int Support_Bloc::modeVerrouillageOperation(int operation, bool drapeau) const {
  TRACER_APPEL();
  if (operation == 6 || operation == 7) return 0;
  if (operation == 8 || operation == 11) return drapeau ? 0 : 3;
  return 3;
}

bool Support_Bloc::operationVerrouillee(int operation, bool drapeau) const {
  TRACER_APPEL();
  if (ouvert_ || operation == 6 || operation == 7) return true;
  return (operation == 8 || operation == 11) && drapeau;
}
