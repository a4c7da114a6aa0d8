#include "storage/support_bloc_manager.h"

#include <cstdlib>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/memoire.h"

BasicArray<SupportBlocManager::T_ListeSupport, SupportBlocManager::T_ListeSupport const>
    SupportBlocManager::supports_;
DeleteArray<SupportBlocManager::CachedSupportInfo> SupportBlocManager::cache_;
bool SupportBlocManager::cacheActif_ = false;
bool SupportBlocManager::utilisationTouchee_ = false;

SupportBlocManager::CachedSupportInfo::CachedSupportInfo(const Support_Bloc::T_Identifiant& id,
                                                         const char* texteInfo, bool drapeau)
    : identifiant(id), texte(xstrdup(texteInfo)), signale(drapeau) {
  TRACER_APPEL();
}

SupportBlocManager::CachedSupportInfo::~CachedSupportInfo() {
  TRACER_APPEL();
  free(texte);
}

void SupportBlocManager::registerSupport(Support_Bloc* support) {
  TRACER_APPEL();
  T_ListeSupport entree = {support, 1, 0, 0};
  supports_.add(entree);
}

size_t SupportBlocManager::indexOf(const Support_Bloc::T_Identifiant& identifiant) {
  TRACER_APPEL();
  // The kind, and for a partition its number, settle most entries without
  // the full comparison: the list holds a disk's every partition.
  const int32_t type = identifiant.type();
  const bool avecNumero = type == ID_PARTITION_MBR || type == ID_PARTITION_GPT;
  const int32_t numero = identifiant.numero();
  const T_ListeSupport* entrees = supports_.items();
  size_t n = supports_.count();
  for (size_t i = 0; i < n; ++i) {
    const Support_Bloc::T_Identifiant& autre = entrees[i].support->identifiant();
    // A partition's number first: it tells the disk's partitions apart.
    if (avecNumero ? autre.numero() != numero || autre.type() != type : autre.type() != type)
      continue;
    if (autre == identifiant) return i;
  }
  return n;
}

// The medium's own entry: an identifier may equal nothing (kind 10, a null
// text) or another medium's, and counting on the wrong entry would leave a
// dangling one behind.
size_t SupportBlocManager::indexOfSupport(const Support_Bloc* support) {
  TRACER_APPEL();
  size_t n = supports_.count();
  for (size_t i = 0; i < n; ++i) {
    if (supports_[i].support == support) return i;
  }
  return n;
}

Support_Bloc* SupportBlocManager::findSupport(const Support_Bloc::T_Identifiant& identifiant) {
  TRACER_APPEL();
  size_t i = indexOf(identifiant);
  if (i >= supports_.count()) return nullptr;
  Support_Bloc* support = supports_[i].support;
  support->acquerirConst(0);
  return support;
}

void SupportBlocManager::addReference(Support_Bloc* support, int drapeaux) {
  TRACER_APPEL();
  size_t i = indexOfSupport(support);
  if (i >= supports_.count()) return;
  T_ListeSupport& entree = supports_[i];
  ++entree.references;
  if (drapeaux & REFERENCE_ACCES) ++entree.acces;
  if (drapeaux & REFERENCE_UTILISATION) {
    ++entree.utilisation;
    utilisationTouchee_ = true;
  }
}

bool SupportBlocManager::release(Support_Bloc* support, int drapeaux) {
  TRACER_APPEL();
  if (!support) return true;
  size_t i = indexOfSupport(support);
  if (i < supports_.count()) {
    if (drapeaux & REFERENCE_ACCES) {
      if (supports_[i].acces-- == 1) {
        support->fermerAcces();
        // Closing may have released other media: find the entry again.
        i = indexOfSupport(support);
      }
    }
    if (i < supports_.count()) {
      T_ListeSupport& entree = supports_[i];
      if (drapeaux & REFERENCE_UTILISATION) {
        --entree.utilisation;
        utilisationTouchee_ = true;
      }
      if (entree.references-- != 1) return false;
      supports_.remove(i);
    }
  }
  delete support;
  return true;
}

bool SupportBlocManager::etat(size_t i, int drapeaux) {
  TRACER_APPEL();
  if (i >= supports_.count()) return false;
  const T_ListeSupport& entree = supports_[i];
  if ((drapeaux & REFERENCE_UTILISATION) && entree.utilisation != 0) return true;
  return (drapeaux & REFERENCE_ACCES) && entree.acces != 0;
}

bool SupportBlocManager::state(const Support_Bloc::T_Identifiant& identifiant, int drapeaux) {
  TRACER_APPEL();
  return etat(indexOf(identifiant), drapeaux);
}

bool SupportBlocManager::state(const Support_Bloc* support, int drapeaux) {
  TRACER_APPEL();
  return etat(indexOfSupport(support), drapeaux);
}

bool SupportBlocManager::conflicts(const Support_Bloc* support, bool sautSoiMeme) {
  TRACER_APPEL();
  // Without any use count the walk would find nothing.
  if (!utilisationTouchee_) return false;
  // Nothing below changes the list; most entries have no use count.
  const T_ListeSupport* entrees = supports_.items();
  const size_t n = supports_.count();
  for (size_t i = 0; i < n; ++i) {
    const T_ListeSupport& entree = entrees[i];
    if (entree.utilisation == 0) continue;
    const Support_Bloc* autre = entree.support;
    if (sautSoiMeme && autre->identifiant() == support->identifiant()) continue;
    if (support->dependDe(autre) || autre->dependDe(support) ||
        autre->refusRestauration(&support->chemins())) {
      return true;
    }
  }
  return false;
}

bool SupportBlocManager::pathInUse(const char* chemin) {
  TRACER_APPEL();
  if (!utilisationTouchee_) return false;
  for (size_t i = 0; i < supports_.count(); ++i) {
    const T_ListeSupport& entree = supports_[i];
    if (entree.utilisation != 0 && entree.support->contientChemin(chemin)) return true;
  }
  return false;
}

void SupportBlocManager::addToCache(const Support_Bloc::T_Identifiant& identifiant,
                                    const char* texte, bool drapeau) {
  TRACER_APPEL();
  cache_.add(new CachedSupportInfo(identifiant, texte, drapeau));
}

size_t SupportBlocManager::cacheIndexOf(const Support_Bloc::T_Identifiant& identifiant) {
  TRACER_APPEL();
  size_t n = cache_.count();
  for (size_t i = 0; i < n; ++i) {
    if (cache_[i]->identifiant == identifiant) return i;
  }
  return n;
}

bool SupportBlocManager::inCache(const Support_Bloc::T_Identifiant& identifiant) {
  TRACER_APPEL();
  return cacheIndexOf(identifiant) < cache_.count();
}

void SupportBlocManager::removeFromCache(const Support_Bloc::T_Identifiant& identifiant) {
  TRACER_APPEL();
  cache_.remove(cacheIndexOf(identifiant));
}

const char* SupportBlocManager::cachedText(const Support_Bloc::T_Identifiant& identifiant) {
  TRACER_APPEL();
  size_t i = cacheIndexOf(identifiant);
  return i < cache_.count() ? cache_[i]->texte : nullptr;
}

bool SupportBlocManager::cacheFlagged() {
  TRACER_APPEL();
  if (!cacheActif_) return false;
  for (size_t i = 0; i < cache_.count(); ++i) {
    if (cache_[i]->signale) return true;
  }
  return false;
}

// True when another registered medium is opened on entry i's medium (a
// partition on its disk); two media that depend on each other (one
// identifier) do not hold each other back.
bool SupportBlocManager::porteUnDependant(size_t i) {
  TRACER_APPEL();
  const Support_Bloc* support = supports_[i].support;
  for (size_t j = 0; j < supports_.count(); ++j) {
    const Support_Bloc* autre = supports_[j].support;
    if (j != i && autre->dependDe(support) && !support->dependDe(autre)) return true;
  }
  return false;
}

bool SupportBlocManager::releaseAll() {
  TRACER_APPEL();
  while (supports_.count() > 0) {
    // Fewest references first, the last of equals: dependants usually go
    // before the media they hold references on. A medium that still carries
    // a dependant waits for it whatever its count, or the dependant's
    // destructor would release a deleted medium.
    size_t choisi = supports_.count();
    for (size_t i = 0; i < supports_.count(); ++i) {
      if (choisi < supports_.count() && supports_[i].references > supports_[choisi].references) continue;
      if (!porteUnDependant(i)) choisi = i;
    }
    if (choisi == supports_.count()) {
      // Every medium carries another (a cycle): the count alone decides.
      choisi = 0;
      for (size_t i = 1; i < supports_.count(); ++i) {
        if (supports_[i].references <= supports_[choisi].references) choisi = i;
      }
    }
    T_ListeSupport entree = supports_[choisi];
    int drapeaux = (entree.acces != 0 ? REFERENCE_ACCES : 0) |
                   (entree.utilisation != 0 ? REFERENCE_UTILISATION : 0);
    supports_.remove(choisi);
    if (drapeaux & REFERENCE_ACCES) entree.support->fermerAcces();
    entree.support->liberer(drapeaux);
  }
  cache_.clear();
  return true;
}

void SupportBlocManager::releaseAtExit() {
  TRACER_APPEL();
  if (estSortieUrgence()) return;
  if (supports_.count() > 1) ajouterFonctionSortie(releaseAtExit);
  releaseAll();
}

void SupportBlocManager::installReleaseAtExit() {
  TRACER_APPEL();
  ajouterFonctionSortie(releaseAtExit);
}
