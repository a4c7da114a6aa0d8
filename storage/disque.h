// Whole disks: Disque (geometry, size growth, saved geometry, partition
// listing), Disque_Standard (CHS access) and Disque_Etendu (linear access,
// whose bodies live in the platform layer).
#pragma once
#include <cstdint>

#include "core/tableau.h"
#include "storage/info_disque.h"
#include "storage/support_bloc.h"

class Partition;

typedef BasicArray<Partition*, Partition* const> T_ListePartitions;
// Sectors that hold partition tables, in reading order; one 64-bit element
// type for the MBR and the GPT readings on every build.
typedef VirtualArray<uint64_t, const uint64_t> T_SecteursTable;

#pragma pack(push, 1)
// One record of the per-disk geometry cache.
struct T_GeometrieDisque {
  T_InfoDisque lu;       // as first read from the system
  T_InfoDisque corrige;  // after the options and the table corrected it
  uint8_t cle;           // 0 throughout
  uint8_t cylindresCaches;
};
#pragma pack(pop)
static_assert(sizeof(T_GeometrieDisque) == 78, "T_GeometrieDisque layout");

// Builds the media of one support kind (list builders, indexed by kind).
typedef void (*T_ConstructeurListe)(BasicArray<Support_Bloc*, Support_Bloc* const>& liste,
                                    bool* choisiSeulement);
const int NOMBRE_TYPES_SUPPORT = 7;
extern T_ConstructeurListe constructeursListe[NOMBRE_TYPES_SUPPORT];

class Disque : public Support_Bloc {
 public:
  Disque(uint8_t numero, const T_InfoDisque& geometrie);
  ~Disque() override;

  Disque* acquerir(int drapeaux) override;
  const Disque* acquerirConst(int drapeaux) const override;
  BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometriesPossibles() const override;
  BasicArray<Support_Bloc*, Support_Bloc* const> sousSupports(bool* choisisSeulement) override;
  char* description(int niveau) const override;
  void remplirInfo(T_FileHeader* entete) const override;
  void signalerOptions() override;
  void verifierHibernation() override;
  void fixerNombreSecteurs(uint64_t nombre) override;
  void fixerSecteursParPiste(uint64_t nombre) override;
  void fixerNombreTetes(uint64_t nombre) override;
  void fixerNombreCylindres(uint64_t nombre) override;
  void fixerTailleSecteur(uint16_t taille) override;

  // Slots added by Disque. The list is sorted by first sector; the caller
  // owns one reference on each partition. Only the size growth of
  // ajusterTaille lists with agrandir set.
  virtual T_ListePartitions listePartitions(bool* mbrLu, bool* valide, bool* gpt,
                                            T_SecteursTable* secteurs, bool agrandir);
  virtual bool essayerTaille(uint64_t nombre);

  // The MBR and its extended chains, in table order.
  static T_ListePartitions listePartitionsMBR(Disque* disque, bool* mbrLu, bool* valide,
                                              T_SecteursTable* secteurs);
  // The GPT behind a protective MBR; the list is empty unless valide is set.
  static T_ListePartitions listePartitionsGPT(Disque* disque, bool* valide,
                                              T_SecteursTable* secteurs, bool agrandir);

  // Platform: null when the disk cannot be used; a registered disk is
  // returned again with one more reference.
  static Disque* creer(uint8_t numero);
  // The start of every platform's creer: the disk already registered under
  // this number (with a reference), or null; *refuse is set when no disk may
  // be made (the number is in use, or another medium holds it).
  static Disque* dejaEnregistre(uint8_t numero, bool* refuse);
  // Platform: device names of the disk (null list) or of its partitions.
  void trouverPeripheriquesPartitions(T_ListePartitions* liste);

  void determinerGeometrie();
  void ajusterTaille();
  bool restaurerGeometrie(uint8_t* cle);
  void memoriserGeometrie(const T_InfoDisque& lu, uint8_t cle, const T_InfoDisque& corrige,
                          uint8_t cylindresCaches);
  static void libererCacheGeometrie();
  bool geometrieCompatible(const T_InfoDisque& autre) const;
  bool geometrieIdentique(const T_InfoDisque& autre) const;

  bool lireIdentifiantWindows(uint32_t* identifiant);
  bool lireGUIDDisque(uint8_t guid[16]);

  // The partition with these numbers, from the list (or from a listing of
  // the partitions not in use, whose others are released).
  Partition* trouverPartition(int principal, uint8_t dansEtendue, T_ListePartitions* liste);
  static void retirerPartitionsUtilisees(T_ListePartitions& liste);

  static void initialiserListe();
  static void construireListe(BasicArray<Support_Bloc*, Support_Bloc* const>& liste,
                              bool* choisiSeulement);

  uint8_t numeroDisque() const { return numeroDisque_; }
  const T_InfoDisque& geometrie() const { return geometrie_; }

 protected:
  uint8_t numeroDisque_;
  T_InfoDisque geometrie_;
  bool disqueListe_;
};

class Disque_Standard : public Disque {
 public:
  Disque_Standard(uint8_t numero, const T_InfoDisque& geometrie, uint8_t cylindresCaches);
  // Probes the cylinders past the reported last one.
  Disque_Standard(uint8_t numero, const T_InfoDisque& geometrie);

  char* description(int niveau) const override;
  void remplirInfo(T_FileHeader* entete) const override;
  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage rappel) override;
  bool ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                      T_RappelMessage rappel) override;
  char* texteSecteur(uint64_t secteur) const override;
  bool essayerTaille(uint64_t nombre) override;

  uint8_t cylindresCaches() const { return cylindresCaches_; }

 protected:
  uint8_t cylindresCaches_;
};

// A disk reached through its device with linear addressing; the platform
// layer provides every body.
class Disque_Etendu : public Disque {
 public:
#ifdef _WIN32
  // handle: the open \\.\PHYSICALDRIVEn (NT), INVALID_HANDLE_VALUE on 9x.
  Disque_Etendu(uint8_t numero, uint8_t modeAcces, void* handle, const T_InfoDisque& geometrie);
#else
  Disque_Etendu(uint8_t numero, uint8_t modeAcces, int32_t fd, const T_InfoDisque& geometrie);
#endif
  ~Disque_Etendu() override;

  Disque_Etendu* acquerir(int drapeaux) override;
  const Disque_Etendu* acquerirConst(int drapeaux) const override;
  BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometriesPossibles() const override;
  char* description(int niveau) const override;
  const char* retirerDuCache() override;
  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage rappel) override;
  bool ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                      T_RappelMessage rappel) override;
  const char* ouvrir() override;
  void fermer() override;

#ifdef _WIN32
  void* handle() const { return handle_; }
  uint8_t modeAcces() const { return modeAcces_; }
#else
  int32_t fd() const { return fd_; }
#endif
  bool ecrit() const { return ecrit_; }

 protected:
  // 0 for standard access, 1 for the extended forms (1 and 32), else 2.
  static uint8_t genreDeTransfert(uint8_t modeAcces);
  // The saved geometry of this disk, or its size and geometry worked out
  // and saved; the constructors call it once the device is open.
  void preparerGeometrie();

#ifdef _WIN32
  void* handle_;
  bool ecrit_;  // the system re-reads the layout at destruction
#else
  int32_t fd_;
  bool ecrit_;  // the kernel re-reads the table at destruction
#endif
  uint8_t modeAcces_;
  uint8_t genreTransfert_;
};

extern template class VirtualArray<Partition*, Partition* const>;
extern template class BasicArray<Partition*, Partition* const>;
