// Registry of every live storage medium, with reference counts and a small
// cache of per-medium information.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/tableau.h"
#include "storage/support_bloc.h"

class SupportBlocManager {
 public:
  struct T_ListeSupport {
    Support_Bloc* support;  // not owned; deleted by its last release
    int32_t references;
    int32_t acces;          // references taken with REFERENCE_ACCES
    int32_t utilisation;    // references taken with REFERENCE_UTILISATION
  };

  struct CachedSupportInfo {
    Support_Bloc::T_Identifiant identifiant;
    char* texte;    // owned, may be null
    int32_t signale;  // the medium was found hibernated

    CachedSupportInfo(const Support_Bloc::T_Identifiant& id, const char* texteInfo, bool drapeau);
    ~CachedSupportInfo();
    CachedSupportInfo(const CachedSupportInfo&) = delete;
    CachedSupportInfo& operator=(const CachedSupportInfo&) = delete;
  };

  static void registerSupport(Support_Bloc* support);
  static size_t indexOf(const Support_Bloc::T_Identifiant& identifiant);
  static Support_Bloc* findSupport(const Support_Bloc::T_Identifiant& identifiant);
  static void addReference(Support_Bloc* support, int drapeaux);
  static bool release(Support_Bloc* support, int drapeaux);
  static bool state(const Support_Bloc::T_Identifiant& identifiant, int drapeaux);
  // The same question for the medium's own entry.
  static bool state(const Support_Bloc* support, int drapeaux);
  static bool conflicts(const Support_Bloc* support, bool sautSoiMeme);
  static bool pathInUse(const char* chemin);

  static void addToCache(const Support_Bloc::T_Identifiant& identifiant, const char* texte,
                         bool drapeau);
  static size_t cacheIndexOf(const Support_Bloc::T_Identifiant& identifiant);
  static bool inCache(const Support_Bloc::T_Identifiant& identifiant);
  static void removeFromCache(const Support_Bloc::T_Identifiant& identifiant);
  static const char* cachedText(const Support_Bloc::T_Identifiant& identifiant);
  static bool cacheFlagged();
  static bool cacheActif() { return cacheActif_; }
  static void activerCache(bool actif) { cacheActif_ = actif; }

  static bool releaseAll();
  static void releaseAtExit();
  static void installReleaseAtExit();

  static size_t count() { return supports_.count(); }
  static const T_ListeSupport& entry(size_t i) { return supports_[i]; }

 private:
  static size_t indexOfSupport(const Support_Bloc* support);
  static bool etat(size_t indice, int drapeaux);
  static bool porteUnDependant(size_t indice);

  static BasicArray<T_ListeSupport, T_ListeSupport const> supports_;
  static DeleteArray<CachedSupportInfo> cache_;
  static bool cacheActif_;
  // False until some use count changes: every use count is 0 until then,
  // which is the case throughout the report programs.
  static bool utilisationTouchee_;
};

// Instantiated once, in tableaux_stockage.cpp.
extern template class VirtualArray<SupportBlocManager::T_ListeSupport,
                                   SupportBlocManager::T_ListeSupport const>;
extern template class BasicArray<SupportBlocManager::T_ListeSupport,
                                 SupportBlocManager::T_ListeSupport const>;
extern template class VirtualArray<SupportBlocManager::CachedSupportInfo*,
                                   SupportBlocManager::CachedSupportInfo* const>;
extern template class BasicArray<SupportBlocManager::CachedSupportInfo*,
                                 SupportBlocManager::CachedSupportInfo* const>;
extern template class DeleteArray<SupportBlocManager::CachedSupportInfo>;
