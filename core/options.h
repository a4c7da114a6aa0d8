// The current option set and the query interface through which the storage
// model reads it. Only tablens creates an option set; elsewhere every query
// falls back to the caller's default.
#pragma once
#include <cstdint>

class Options {
 public:
  // Becomes the current option set.
  Options();
  // Clears the current option set, whichever object it is.
  virtual ~Options();
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;

  uint8_t reserve;  // set to 0, read by nothing
};

extern Options* optionsCourantes;

// Out-pointers may be null; only those given are written.
class OptionsSupportBloc {
 public:
  virtual ~OptionsSupportBloc();
  virtual bool disqueChoisi(uint8_t* disque) = 0;
  virtual void signalerDisque(uint8_t disque) = 0;
  virtual bool accesStandard() = 0;
  virtual bool choixTexte(char* texte) = 0;
  virtual void signalerChoixTexte() = 0;
  virtual bool choixValeur(uint64_t* valeur) = 0;
  virtual void signalerChoixValeur() = 0;
  virtual bool choixValeurTexte(uint64_t* valeur, char* texte) = 0;
  virtual void signalerChoixValeurTexte() = 0;
  virtual bool partitionChoisie(int* numero) = 0;
  virtual void signalerPartition(int numero) = 0;
  virtual bool numeroEtendueChoisi(uint8_t* numero) = 0;
  virtual void signalerNumeroEtendue(uint8_t numero) = 0;
  virtual bool verifierEcritures() = 0;
  virtual bool essayerEtendreTaille(uint8_t disque) = 0;
  virtual bool chercherCheminsPartitions() = 0;
  virtual bool requeteBooleenne() = 0;
  virtual bool geometrieForcee(int* mode, int* tetes, unsigned* secteursParPiste) = 0;
  virtual bool choixDeuxEntiers(int* premier, int* second) = 0;
  virtual bool choixEntierTexte(int* entier, uint8_t* octet) = 0;
  virtual bool cylindresForces(int* mode, int* cylindres) = 0;
  virtual int requeteEntiere() = 0;
};

// The current option set's query interface, or null: the caller then applies
// its own default.
OptionsSupportBloc* optionsSupportBloc();

// Modes of -hs.
const int GEOMETRIE_LIBRE = 0;
const int GEOMETRIE_TABLE = 3;     // "parttable"
const int GEOMETRIE_NOMBRES = 4;   // heads and sectors given
// Modes of -c.
const int CYLINDRES_LIBRES = 0;
const int CYLINDRES_TABLE = 1;     // "parttable"
const int CYLINDRES_NOMBRE = 2;    // a count
const int CYLINDRES_AJOUT = 3;     // "+count": added to the cylinders found

class OptionsTablens : public Options, public OptionsSupportBloc {
 public:
  OptionsTablens(bool accesStandard, bool etendreTaille, int modeHs, int tetesHs, int secteursHs,
                 int modeC, int cylindresC);
  ~OptionsTablens() override;

  bool disqueChoisi(uint8_t* disque) override;
  void signalerDisque(uint8_t disque) override;
  bool accesStandard() override;
  bool choixTexte(char* texte) override;
  void signalerChoixTexte() override;
  bool choixValeur(uint64_t* valeur) override;
  void signalerChoixValeur() override;
  bool choixValeurTexte(uint64_t* valeur, char* texte) override;
  void signalerChoixValeurTexte() override;
  bool partitionChoisie(int* numero) override;
  void signalerPartition(int numero) override;
  bool numeroEtendueChoisi(uint8_t* numero) override;
  void signalerNumeroEtendue(uint8_t numero) override;
  bool verifierEcritures() override;
  bool essayerEtendreTaille(uint8_t disque) override;
  bool chercherCheminsPartitions() override;
  bool requeteBooleenne() override;
  bool geometrieForcee(int* mode, int* tetes, unsigned* secteursParPiste) override;
  bool choixDeuxEntiers(int* premier, int* second) override;
  bool choixEntierTexte(int* entier, uint8_t* octet) override;
  bool cylindresForces(int* mode, int* cylindres) override;
  int requeteEntiere() override;

 private:
  bool optionS;     // -s: standard access
  bool optionTds;   // -tds: try to extend the disk size
  int modeHs;
  int tetesHs;
  int secteursHs;
  int modeC;
  int cylindresC;
};
