// Partitions: a medium inside a disk, described by one table entry, that
// holds references on its disk and its extended partition and sends every
// transfer to the disk.
#pragma once
#include <cstdint>

#include "storage/disque.h"
#include "storage/info_disque.h"
#include "storage/support_bloc.h"

class Partition : public Support_Bloc {
 public:
  Partition(Disque* disque, int32_t type, int32_t numero, const T_InfoPartition& entree,
            Partition* etendue);
  ~Partition() override;

  Partition* acquerir(int drapeaux) override;
  const Partition* acquerirConst(int drapeaux) const override;
  bool liberer(int drapeaux) override;
  bool dependDe(const Support_Bloc* autre) const override;
  BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometriesPossibles() const override;
  BasicArray<Support_Bloc*, Support_Bloc* const> sousSupports(bool* choisisSeulement) override;
  char* description(int niveau) const override;
  bool estModifiable() const override;
  void remplirInfo(T_FileHeader* entete) const override;
  void signalerOptions() override;
  void actionVide1() override;
  void actionVide2() override;
  void ajouterChemin(const char* chemin, bool peripherique) override;
  void retirerChemin(const char* chemin) override;
  const char* retirerDuCache() override;
  bool accesDirect() const override;
  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage rappel) override;
  bool ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                      T_RappelMessage rappel) override;
  const char* ouvrir() override;
  void fermer() override;

  // Slots added by Partition.
  virtual bool estFATOuCache() const = 0;
  virtual bool estFAT() const = 0;
  virtual bool estNTFS() const = 0;
  virtual bool estLinux() const = 0;
  virtual bool estEtendue() const = 0;
  virtual bool estEtendueDOS() const = 0;
  virtual char* texteType() const = 0;

  int32_t numeroPrincipal() const;
  uint8_t numeroDansEtendue() const;
  // Points into the first path (after its last '/'), or null.
  const char* nomPeripherique() const;
#ifdef _WIN32
  // The partition's one drive path ("E:"), when every path is a device path
  // and exactly one is a drive path; null for an extended partition.
  const char* cheminLecteur() const;
#endif
  void ajouterCylindresCaches(uint8_t nombre);
  // A window [first, first + count) that fits below 2^64.
  static bool fenetreValide(const T_InfoPartition& entree);

  Disque* disque() const { return disque_; }
  Partition* etendue() const { return etendue_; }
  const T_InfoPartition& entree() const { return entree_; }
  int32_t numero() const { return numero_; }
  uint8_t cylindresCaches() const { return cylindresCaches_; }

 protected:
  Disque* disque_;
  T_InfoPartition entree_;
  uint8_t cylindresCaches_;
  int32_t numero_;
  Partition* etendue_;
};

class Partition_MBR : public Partition {
 public:
  Partition_MBR(Disque* disque, int32_t numero, const T_InfoPartition& entree, Partition* etendue);
  ~Partition_MBR() override;

  // The registered partition of that disk and number, or a new one; null
  // for an entry whose window wraps past 2^64.
  static Partition_MBR* creer(Disque* disque, int32_t numero, const T_InfoPartition& entree,
                              Partition* etendue);

  bool estFATOuCache() const override;
  bool estFAT() const override;
  bool estNTFS() const override;
  bool estLinux() const override;
  bool estEtendue() const override;
  bool estEtendueDOS() const override;
  char* texteType() const override;
};

// A partition described by a GPT entry; the entry's position in the array,
// counted from 1, is its number.
class Partition_GPT : public Partition {
 public:
  Partition_GPT(Disque* disque, int32_t numero, const T_InfoPartition& entree, uint64_t attributs,
                const uint8_t* guidType, const uint8_t* guidUnique);
  ~Partition_GPT() override;

  // The registered partition of that disk and number (its first-read
  // contents), or a new one; null for an entry whose window wraps past 2^64.
  static Partition_GPT* creer(Disque* disque, int32_t numero, const T_InfoPartition& entree,
                              uint64_t attributs, const uint8_t* guidType,
                              const uint8_t* guidUnique);

  Partition_GPT* acquerir(int drapeaux) override;
  const Partition_GPT* acquerirConst(int drapeaux) const override;
  void remplirInfo(T_FileHeader* entete) const override;
  const char* retirerDuCache() override;
  bool estFATOuCache() const override;
  bool estFAT() const override;
  bool estNTFS() const override;
  bool estLinux() const override;
  bool estEtendue() const override;
  bool estEtendueDOS() const override;
  char* texteType() const override;

  uint64_t attributs() const { return attributs_; }
  const uint8_t* guidType() const { return guidType_; }
  const uint8_t* guidUnique() const { return guidUnique_; }

 protected:
  uint64_t attributs_;
  uint8_t guidType_[16];
  uint8_t guidUnique_[16];
  uint8_t enCache_;
};
