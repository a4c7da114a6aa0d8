// Disque and Disque_Standard: geometry from the options and the partition
// table, size growth, the saved-geometry cache, identifiers, descriptions
// and the disk-list builder.
#include "storage/disque.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/options.h"
#include "core/texte.h"
#include "storage/file_header.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/petit_boutien.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"
#include "storage/texte_alloue.h"

T_ConstructeurListe constructeursListe[NOMBRE_TYPES_SUPPORT];

namespace {

T_GeometrieDisque* cacheGeometrie = nullptr;
size_t nombreGeometries = 0;

// What the partition ends say of the geometry.
struct T_ExamenTable {
  bool trouvee;    // a non-GPT table was seen
  bool coherente;  // every main partition ends at (St, Ht)
  unsigned secteur;
  unsigned tete;
  unsigned cylindreMax;
};

T_ExamenTable examinerTable(Disque* disque) {
  TRACER_APPEL();
  T_ExamenTable examen = {false, false, 0, 0, 0};
  T_ListePartitions liste = disque->listePartitions(nullptr, nullptr, nullptr, nullptr, false);
  for (size_t i = 0; i < liste.count(); ++i) {
    Partition* p = liste[i];
    const T_InfoPartition& e = p->entree();
    if (p->identifiant().type() == ID_PARTITION_GPT) {
      examen = {false, false, 0, 0, 0};
    } else if (i == 0) {
      examen = {true, true, e.finSecteur.lire(), e.finTete, e.finCylindre.lire()};
    } else {
      if (e.finCylindre.lire() > examen.cylindreMax) examen.cylindreMax = e.finCylindre.lire();
      if (!p->etendue() && (e.finSecteur.lire() != examen.secteur || e.finTete != examen.tete)) {
        examen.secteur = 0;
        examen.tete = 0;
        examen.coherente = false;
      }
    }
    p->liberer(0);
  }
  return examen;
}

bool contient(const BasicArray<uint64_t, const uint64_t>& valeurs, uint64_t v) {
  TRACER_APPEL();
  for (size_t i = 0; i < valeurs.count(); ++i)
    if (valeurs[i] == v) return true;
  return false;
}

}  // namespace

Disque::Disque(uint8_t numero, const T_InfoDisque& g)
    : Support_Bloc(g.tailleSecteur.lire(), 0, g.nombreSecteurs.lire(), g.secteursParPiste.lire(),
                   g.derniereTete.lire() + 1, g.dernierCylindre.lire() + 1, g.typeAcces, 0xF8, 0x80),
      numeroDisque_(numero),
      geometrie_(g),
      disqueListe_(true) {
  TRACER_APPEL();
  identifiant_ = T_Identifiant(ID_DISQUE, numero);
  if (numero < nombreDisques()) {
    const char* chemin = cheminPropreDisque(numero);
    if (chemin) ajouterChemin(chemin, true);
    trouverPeripheriquesPartitions(nullptr);
  }
}

Disque::~Disque() {}

Disque* Disque::acquerir(int drapeaux) {
  TRACER_APPEL();
  Support_Bloc::acquerir(drapeaux);
  return this;
}

const Disque* Disque::acquerirConst(int drapeaux) const {
  TRACER_APPEL();
  Support_Bloc::acquerirConst(drapeaux);
  return this;
}

BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const>
Disque::geometriesPossibles() const {
  TRACER_APPEL();
  BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometries =
      Support_Bloc::geometriesPossibles();
  T_HeadsSectorsNumber bios = {1, 0, 0};
  if (candidatGeometrieBios(numeroDisque_, &bios.secteurs, &bios.tetes)) geometries.add(bios);
  // The listing reads the disk but changes nothing of it.
  T_ExamenTable examen = examinerTable(const_cast<Disque*>(this));
  if (examen.trouvee && examen.coherente && examen.secteur > 0 && examen.secteur <= 63 &&
      examen.tete <= 255) {
    T_HeadsSectorsNumber table = {3, static_cast<int>(examen.secteur),
                                  static_cast<int>(examen.tete) + 1};
    geometries.add(table);
  }
  return geometries;
}

BasicArray<Support_Bloc*, Support_Bloc* const> Disque::sousSupports(bool* choisisSeulement) {
  TRACER_APPEL();
  BasicArray<Support_Bloc*, Support_Bloc* const> resultat;
  T_ListePartitions liste = listePartitions(nullptr, nullptr, nullptr, nullptr, false);
  retirerPartitionsUtilisees(liste);
  if (choisisSeulement) {
    *choisisSeulement = false;
    OptionsSupportBloc* options = optionsSupportBloc();
    int principal = 0;
    if (options && options->partitionChoisie(&principal)) {
      uint8_t dansEtendue = 0;
      if (!options->numeroEtendueChoisi(&dansEtendue)) dansEtendue = 0;
      *choisisSeulement = true;
      Partition* choisie = trouverPartition(principal, dansEtendue, &liste);
      for (size_t i = 0; i < liste.count(); ++i)
        if (liste[i] != choisie) liste[i]->liberer(0);
      if (choisie) resultat.add(choisie);
      return resultat;
    }
  }
  for (size_t i = 0; i < liste.count(); ++i) resultat.add(liste[i]);
  return resultat;
}

char* Disque::description(int niveau) const {
  TRACER_APPEL();
  const unsigned n = numeroDisque_;
  switch (niveau) {
    case 0:
      return texteFormate("Disk %u", n);
    case 2:
      return disqueListe_ ? xstrdup("disk") : nullptr;
    case 4:
      return texteFormate(textesSupports.formatColonneDisque, n);
    case 5:
    case 6:
      return texteFormate("Disk number: %3u.", n);
    case 7:
      return xstrdup(disqueListe_ ? "Source element choice" : "Part to save");
    case 8:
      return xstrdup(disqueListe_ ? "Elements list:\n" : "What do you want to save?");
    case 9:
      return disqueListe_ ? xstrdup(textesSupports.enteteElementsDisque) : nullptr;
    case 14:
      return xstrdup("Options file for a whole disk.\n");
    case 15:
      return disqueListe_ ? nullptr : const_cast<Disque*>(this)->texteEtat();
    case 16:
      return xstrdup(textesSupports.aideDisque);
    default:
      return Support_Bloc::description(niveau);
  }
}

void Disque::remplirInfo(T_FileHeader* entete) const {
  TRACER_APPEL();
  Support_Bloc::remplirInfo(entete);
  entete->numeroDisque = numeroDisque_;
  entete->infoDisque = geometrie_;
}

void Disque::signalerOptions() {
  TRACER_APPEL();
  OptionsSupportBloc* options = optionsSupportBloc();
  if (options) options->signalerDisque(numeroDisque_);
}

void Disque::verifierHibernation() {
  TRACER_APPEL();
  Support_Bloc::verifierHibernation();
  if (!SupportBlocManager::cacheActif() || SupportBlocManager::cacheFlagged()) return;
  T_ListePartitions liste = listePartitions(nullptr, nullptr, nullptr, nullptr, false);
  for (size_t i = 0; i < liste.count(); ++i) {
    liste[i]->verifierHibernation();
    liste[i]->liberer(0);
  }
}

void Disque::fixerNombreSecteurs(uint64_t nombre) {
  TRACER_APPEL();
  Support_Bloc::fixerNombreSecteurs(nombre);
  geometrie_.nombreSecteurs.ecrire(nombre);
}

void Disque::fixerSecteursParPiste(uint64_t nombre) {
  TRACER_APPEL();
  Support_Bloc::fixerSecteursParPiste(nombre);
  geometrie_.secteursParPiste.ecrire(nombre);
}

void Disque::fixerNombreTetes(uint64_t nombre) {
  TRACER_APPEL();
  Support_Bloc::fixerNombreTetes(nombre);
  geometrie_.derniereTete.ecrire(nombre - 1);
}

void Disque::fixerNombreCylindres(uint64_t nombre) {
  TRACER_APPEL();
  Support_Bloc::fixerNombreCylindres(nombre);
  geometrie_.dernierCylindre.ecrire(nombre - 1);
}

void Disque::fixerTailleSecteur(uint16_t taille) {
  TRACER_APPEL();
  Support_Bloc::fixerTailleSecteur(taille);
  geometrie_.tailleSecteur.ecrire(taille);
}

bool Disque::essayerTaille(uint64_t nombre) {
  TRACER_APPEL();
  const uint64_t ancien = nombreSecteurs_;
  if (nombre == ancien || franchitLimiteTaille(ancien, nombre)) return false;
  fixerNombreSecteurs(nombre);
  if (nombre < ancien) return true;
  if (tailleSecteur_ == 0) {
    fixerNombreSecteurs(ancien);
    return false;
  }
  uint8_t* secteur = static_cast<uint8_t*>(xmalloc(tailleSecteur_));
  bool lus = lireSecteurs(ancien, 1, secteur, nullptr) && lireSecteurs(nombre - 1, 1, secteur, nullptr);
  free(secteur);
  if (!lus) fixerNombreSecteurs(ancien);
  return lus;
}

void Disque::ajusterTaille() {
  TRACER_APPEL();
  OptionsSupportBloc* options = optionsSupportBloc();
  if (!options || !options->essayerEtendreTaille(numeroDisque_)) return;
  // Each size tried once: a listing that moves the end back and forth
  // cannot keep the growth going.
  BasicArray<uint64_t, const uint64_t> essayees;
  for (;;) {
    const uint64_t avant = nombreSecteurs_;
    T_ListePartitions liste = listePartitions(nullptr, nullptr, nullptr, nullptr, true);
    const bool abaissee = nombreSecteurs_ < avant;
    uint64_t fin = nombreSecteurs_;
    for (size_t i = 0; i < liste.count(); ++i) {
      const T_InfoPartition& e = liste[i]->entree();
      uint64_t finPartition;
      if (!__builtin_add_overflow(e.premierSecteur.lire(), e.nombreSecteurs.lire(), &finPartition) &&
          finPartition > fin) {
        fin = finPartition;
      }
      liste[i]->liberer(0);
    }
    if (abaissee || contient(essayees, fin)) return;
    essayees.add(fin);
    if (!essayerTaille(fin)) return;
  }
}

void Disque::determinerGeometrie() {
  TRACER_APPEL();
  OptionsSupportBloc* options = optionsSupportBloc();
  int modeHs = GEOMETRIE_LIBRE, tetesHs = 0, modeC = CYLINDRES_LIBRES, cylindresC = 0;
  unsigned secteursHs = 0;
  if (options) {
    if (!options->geometrieForcee(&modeHs, &tetesHs, &secteursHs)) modeHs = GEOMETRIE_LIBRE;
    if (!options->cylindresForces(&modeC, &cylindresC)) modeC = CYLINDRES_LIBRES;
  }
  // Heads become a last head and cylinders a last cylinder.
  int64_t derniereTeteHs = static_cast<int64_t>(tetesHs) - 1;
  int64_t cylindres = modeC == CYLINDRES_NOMBRE ? static_cast<int64_t>(cylindresC) - 1 : cylindresC;

  T_ExamenTable examen = examinerTable(this);

  bool appliquer = false;
  int64_t h = 0, s = 0;
  if (examen.trouvee && examen.coherente) {
    h = examen.tete;
    s = examen.secteur;
    appliquer = true;
  } else if (modeHs == GEOMETRIE_NOMBRES) {
    h = derniereTeteHs;
    s = secteursHs;
    appliquer = true;
  }
  if (appliquer && s >= 1 && s <= 63 && h >= 0 && h <= 255) {
    fixerSecteursParPiste(static_cast<uint64_t>(s));
    fixerNombreTetes(static_cast<uint64_t>(h + 1));
    uint64_t c = divArrondiHaut64(nombreSecteurs_, static_cast<uint64_t>(s * (h + 1)));
    fixerNombreCylindres(c < 1024 ? c : 1024);
  }

  int64_t dernierCylindre = -1;
  if (modeC == CYLINDRES_NOMBRE) {
    dernierCylindre = cylindres;
  } else if (modeC == CYLINDRES_AJOUT) {
    dernierCylindre = cylindres - 1 + static_cast<int64_t>(nombreCylindres_);
  } else if (modeC == CYLINDRES_TABLE && examen.trouvee) {
    dernierCylindre = examen.cylindreMax;
  }
  // A count below one cylinder says nothing usable: the geometry stays.
  if (dernierCylindre >= 0) {
    if (dernierCylindre > 1023) dernierCylindre = 1023;
    fixerNombreCylindres(static_cast<uint64_t>(dernierCylindre) + 1);
  }
}

bool Disque::restaurerGeometrie(uint8_t* cle) {
  TRACER_APPEL();
  if (numeroDisque_ < nombreGeometries) {
    T_GeometrieDisque& r = cacheGeometrie[numeroDisque_];
    if (r.lu.nombreSecteurs.lire() != 0 && memcmp(&r.lu, &geometrie_, sizeof geometrie_) == 0 &&
        r.cle == *cle) {
      const T_InfoDisque& c = r.corrige;
      fixerNombreTetes(c.derniereTete.lire() + 1);
      fixerNombreCylindres(c.dernierCylindre.lire() + 1);
      fixerSecteursParPiste(c.secteursParPiste.lire());
      fixerNombreSecteurs(c.nombreSecteurs.lire());
      fixerTailleSecteur(c.tailleSecteur.lire());
      acces_ = c.typeAcces;
      geometrie_.typeAcces = c.typeAcces;
      *cle = r.cylindresCaches;
      return true;
    }
    memset(&r, 0, sizeof r);
  }
  *cle = 0;
  return false;
}

void Disque::memoriserGeometrie(const T_InfoDisque& lu, uint8_t cle, const T_InfoDisque& corrige,
                                uint8_t cylindresCaches) {
  TRACER_APPEL();
  if (!cacheGeometrie) {
    uint8_t n = nombreDisques();
    if (n == 0) return;
    cacheGeometrie = static_cast<T_GeometrieDisque*>(xmalloc(n * sizeof(T_GeometrieDisque)));
    memset(cacheGeometrie, 0, n * sizeof(T_GeometrieDisque));
    nombreGeometries = n;
  }
  if (numeroDisque_ >= nombreGeometries) return;
  T_GeometrieDisque& r = cacheGeometrie[numeroDisque_];
  r.lu = lu;
  r.cle = cle;
  r.corrige = corrige;
  r.cylindresCaches = cylindresCaches;
}

void Disque::libererCacheGeometrie() {
  TRACER_APPEL();
  nombreGeometries = 0;
  if (estSortieUrgence()) return;
  free(cacheGeometrie);
  cacheGeometrie = nullptr;
}

bool Disque::geometrieCompatible(const T_InfoDisque& autre) const {
  TRACER_APPEL();
  return geometrie_.derniereTete.lire() == autre.derniereTete.lire() &&
         geometrie_.secteursParPiste.lire() == autre.secteursParPiste.lire() &&
         geometrie_.tailleSecteur.lire() == autre.tailleSecteur.lire() &&
         geometrie_.typeAcces == autre.typeAcces &&
         geometrie_.nombreSecteurs.lire() >= autre.nombreSecteurs.lire();
}

bool Disque::geometrieIdentique(const T_InfoDisque& autre) const {
  TRACER_APPEL();
  return geometrieCompatible(autre) &&
         geometrie_.nombreSecteurs.lire() == autre.nombreSecteurs.lire();
}

bool Disque::lireIdentifiantWindows(uint32_t* identifiant) {
  TRACER_APPEL();
  *identifiant = 0;
  if (tailleSecteur_ < 512) return false;
  uint8_t* secteur = static_cast<uint8_t*>(xmalloc(tailleSecteur_));
  bool lu = lire(0, 1, secteur, nullptr) &&
            reinterpret_cast<const T_LE16*>(secteur + 510)->lire() == 0xAA55;
  if (lu) *identifiant = reinterpret_cast<const T_LE32*>(secteur + 440)->lire();
  free(secteur);
  return lu;
}

bool Disque::lireGUIDDisque(uint8_t guid[16]) {
  TRACER_APPEL();
  memset(guid, 0, TAILLE_GUID);
  if (tailleSecteur_ < sizeof(T_EnteteGPT)) return false;
  uint8_t* secteur = static_cast<uint8_t*>(xmalloc(tailleSecteur_));
  T_EnteteGPT* entete = reinterpret_cast<T_EnteteGPT*>(secteur);
  bool lu = lire(1, 1, secteur, nullptr) && verifierEnteteGPT(entete, tailleSecteur_, 1, nullptr);
  if (lu) memcpy(guid, entete->guidDisque, TAILLE_GUID);
  free(secteur);
  return lu;
}

Partition* Disque::trouverPartition(int principal, uint8_t dansEtendue, T_ListePartitions* liste) {
  TRACER_APPEL();
  T_ListePartitions propre;
  T_ListePartitions* cherchee = liste;
  if (!cherchee) {
    propre = listePartitions(nullptr, nullptr, nullptr, nullptr, false);
    retirerPartitionsUtilisees(propre);
    cherchee = &propre;
  }
  Partition* trouvee = nullptr;
  for (size_t i = 0; i < cherchee->count() && !trouvee; ++i) {
    Partition* p = (*cherchee)[i];
    if (p->numeroPrincipal() == principal && p->numeroDansEtendue() == dansEtendue) trouvee = p;
  }
  if (!liste) {
    for (size_t i = 0; i < propre.count(); ++i)
      if (propre[i] != trouvee) propre[i]->liberer(0);
  }
  return trouvee;
}

void Disque::retirerPartitionsUtilisees(T_ListePartitions& liste) {
  TRACER_APPEL();
  for (size_t i = liste.count(); i-- > 0;) {
    if (SupportBlocManager::conflicts(liste[i], false)) {
      liste[i]->liberer(0);
      liste.remove(i);
    }
  }
}

void Disque::initialiserListe() {
  TRACER_APPEL();
  constructeursListe[ID_DISQUE] = construireListe;
  ajouterFonctionSortie(libererCacheGeometrie);
}

void Disque::construireListe(BasicArray<Support_Bloc*, Support_Bloc* const>& liste,
                             bool* choisiSeulement) {
  TRACER_APPEL();
  if (choisiSeulement) {
    OptionsSupportBloc* options = optionsSupportBloc();
    uint8_t numero = 0;
    if (options && options->disqueChoisi(&numero)) {
      *choisiSeulement = true;
      Disque* disque = creer(numero);
      if (disque) liste.add(disque);
    }
    return;
  }
  uint8_t n = nombreDisques();
  for (unsigned i = 0; i < n; ++i) {
    Disque* disque = creer(static_cast<uint8_t>(i));
    if (disque) liste.add(disque);
  }
}

// ---------------------------------------------------------------- Disque_Standard

Disque_Standard::Disque_Standard(uint8_t numero, const T_InfoDisque& geometrie,
                                 uint8_t cylindresCaches)
    : Disque(numero, geometrie), cylindresCaches_(cylindresCaches) {
  TRACER_APPEL();
}

Disque_Standard::Disque_Standard(uint8_t numero, const T_InfoDisque& geometrie)
    : Disque(numero, geometrie), cylindresCaches_(0) {
  TRACER_APPEL();
  if (numero >= nombreDisques()) return;
  uint8_t cle = 0;
  if (restaurerGeometrie(&cle)) {
    cylindresCaches_ = cle;
    return;
  }
  const T_InfoDisque lu = geometrie_;
  OptionsSupportBloc* options = optionsSupportBloc();
  if (options && options->essayerEtendreTaille(numero)) {
    uint64_t c = geometrie_.dernierCylindre.lire();
    T_CHS fin = {static_cast<uint8_t>(geometrie_.derniereTete.lire()),
                 static_cast<uint16_t>(geometrie_.secteursParPiste.lire()),
                 static_cast<uint16_t>(c)};
    const uint64_t parCylindre = nombreTetes_ * secteursParPiste_;
    uint64_t cible = chsVersLBA(fin) + 1 + parCylindre;
    while (c < 1023) {
      if (!essayerTaille(cible)) break;
      ++c;
      ++cylindresCaches_;
      cible += parCylindre;
      if (cylindresCaches_ == 255) break;
    }
    fixerNombreCylindres(c + 1);
  }
  ajusterTaille();
  memoriserGeometrie(lu, 0, geometrie_, cylindresCaches_);
}

char* Disque_Standard::description(int niveau) const {
  TRACER_APPEL();
  if (niveau != 1) return Disque::description(niveau);
  char* taille = texteTaille(static_cast<uint64_t>(tailleSecteur_) * nombreSecteurs_, true);
  char* texte = texteFormate("Disk number %u (%s, standard access)",
                             static_cast<unsigned>(numeroDisque_), taille);
  free(taille);
  return texte;
}

void Disque_Standard::remplirInfo(T_FileHeader* entete) const {
  TRACER_APPEL();
  Disque::remplirInfo(entete);
  entete->incrementNecessaire = cylindresCaches_;
}

bool Disque_Standard::lireSecteurs(uint64_t, uint32_t, void*, T_RappelMessage) { return false; }

bool Disque_Standard::ecrireSecteurs(uint64_t, uint32_t, const void*, T_RappelMessage) {
  return false;
}

char* Disque_Standard::texteSecteur(uint64_t secteur) const {
  TRACER_APPEL();
  T_CHS chs = lbaVersCHS(secteur);
  return texteFormate("%u/%u/%u", static_cast<unsigned>(chs.cylindre),
                      static_cast<unsigned>(chs.tete), static_cast<unsigned>(chs.secteur));
}

bool Disque_Standard::essayerTaille(uint64_t nombre) {
  TRACER_APPEL();
  if (nombre == 0) return false;
  T_CHS chs = lbaVersCHS(nombre - 1);
  if (chs.cylindre >= 1024 || chsVersLBA(chs) + 1 != nombre) return false;
  return Disque::essayerTaille(nombre);
}

Disque* Disque::dejaEnregistre(uint8_t numero, bool* refuse) {
  TRACER_APPEL();
  *refuse = false;
  Support_Bloc::T_Identifiant identifiant(ID_DISQUE, numero);
  if (SupportBlocManager::state(identifiant, REFERENCE_UTILISATION)) {
    *refuse = true;
    return nullptr;
  }
  Support_Bloc* trouve = SupportBlocManager::findSupport(identifiant);
  if (trouve == nullptr) return nullptr;
  Disque* disque = dynamic_cast<Disque*>(trouve);
  if (disque) return disque;
  // One device is never two media.
  trouve->liberer(0);
  *refuse = true;
  return nullptr;
}

// The platform-neutral members of Disque_Etendu; the device bodies are the
// platform's.
Disque_Etendu* Disque_Etendu::acquerir(int drapeaux) {
  TRACER_APPEL();
  Disque::acquerir(drapeaux);
  return this;
}

const Disque_Etendu* Disque_Etendu::acquerirConst(int drapeaux) const {
  TRACER_APPEL();
  Disque::acquerirConst(drapeaux);
  return this;
}

const char* Disque_Etendu::retirerDuCache() {
  TRACER_APPEL();
  ecrit_ = true;
  return Support_Bloc::retirerDuCache();
}

uint8_t Disque_Etendu::genreDeTransfert(uint8_t modeAcces) {
  return modeAcces == 0 ? 0 : (modeAcces == 1 || modeAcces == 32) ? 1 : 2;
}

void Disque_Etendu::preparerGeometrie() {
  TRACER_APPEL();
  uint8_t cle = 0;
  if (restaurerGeometrie(&cle)) return;
  const T_InfoDisque lu = geometrie_;
  ajusterTaille();
  determinerGeometrie();
  memoriserGeometrie(lu, 0, geometrie_, 0);
}
