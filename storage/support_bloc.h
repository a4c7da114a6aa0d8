// The abstract block-addressed storage medium ("support"): disk, partition,
// floppy, block device or raw image file.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/string_array.h"
#include "core/tableau.h"
#include "storage/chs.h"

struct T_FileHeader;

// Receives a message text; the caller of the callback frees the text.
typedef void (*T_RappelMessage)(const char* message);

// Reference flags of acquerir, liberer and SupportBlocManager.
const int REFERENCE_ACCES = 1;        // the medium is opened
const int REFERENCE_UTILISATION = 2;  // the medium is in use

// Identifier kinds; 0 to 6 are also the backup header's support types.
const int32_t ID_PARTITION_MBR = 0;
const int32_t ID_DISQUE = 1;
const int32_t ID_DISQUETTE = 2;
const int32_t ID_PERIPHERIQUE = 3;
const int32_t ID_PARTITION_GPT = 4;
const int32_t ID_FICHIER_DISQUE = 5;
const int32_t ID_FICHIER_LECTEUR = 6;
const int32_t ID_ANONYME = 7;
const int32_t ID_VIDE = 10;

class Support_Bloc {
 public:
  // Names a medium independently of the object that represents it.
  class T_Identifiant {
   public:
    T_Identifiant();
    T_Identifiant(int32_t type, uint32_t nombre);
    explicit T_Identifiant(const char* texte);
    T_Identifiant(int32_t type, const char* texte);
    T_Identifiant(int32_t type, const T_Identifiant* parent, int32_t numero);
    T_Identifiant(const T_Identifiant& autre);
    T_Identifiant& operator=(const T_Identifiant& autre);
    // Takes over autre's text or parent; autre is left empty (kind 10).
    T_Identifiant& operator=(T_Identifiant&& autre);
    ~T_Identifiant();

    bool operator==(const T_Identifiant& autre) const;

    int32_t type() const { return type_; }
    uint32_t nombre() const { return static_cast<uint32_t>(valeur_.nombre); }
    const char* texte() const { return possedeTexte() ? valeur_.texte : nullptr; }
    const T_Identifiant* parent() const { return possedeParent() ? valeur_.parent : nullptr; }
    int32_t numero() const { return numero_; }

   private:
    bool possedeTexte() const;
    bool possedeParent() const;
    void liberer();
    void copier(const T_Identifiant& source);

    int32_t type_;
    union {
      uintptr_t nombre;
      char* texte;
      T_Identifiant* parent;
    } valeur_;
    int32_t numero_;
  };

  // A candidate geometry.
  struct T_HeadsSectorsNumber {
    int origine;   // 0 own, 1 system, 2 second system query, 3 partition ends
    int secteurs;  // per track
    int tetes;
  };

  Support_Bloc();
  Support_Bloc(uint16_t tailleSecteur, uint64_t premierSecteur, uint64_t nombreSecteurs,
               uint64_t secteursParPiste, uint64_t nombreTetes, uint64_t nombreCylindres,
               int32_t acces, uint8_t octetMedia, uint8_t lecteurBios);
  Support_Bloc(const Support_Bloc&) = delete;
  Support_Bloc& operator=(const Support_Bloc&) = delete;

  // Virtual interface, in slot order.
  virtual Support_Bloc* acquerir(int drapeaux);
  virtual const Support_Bloc* acquerirConst(int drapeaux) const;
  virtual bool liberer(int drapeaux);
  virtual bool dependDe(const Support_Bloc* autre) const;
  virtual BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometriesPossibles() const;
  virtual BasicArray<Support_Bloc*, Support_Bloc* const> sousSupports(bool* choisisSeulement);
  virtual char* description(int niveau) const;
  virtual const char* refusRestauration(const StringArray* chemins) const;
  virtual bool estModifiable() const;
  virtual void remplirInfo(T_FileHeader* entete) const;
  virtual void signalerOptions();
  virtual void actionVide1();
  virtual void actionVide2();
  virtual void ajouterChemin(const char* chemin, bool peripherique);
  virtual void retirerChemin(const char* chemin);
  virtual const char* retirerDuCache();
  virtual bool accesDirect() const;
  virtual void verifierHibernation();
  virtual ~Support_Bloc();
  virtual void fixerNombreSecteurs(uint64_t nombre);
  virtual void fixerSecteursParPiste(uint64_t nombre);
  virtual void fixerNombreTetes(uint64_t nombre);
  virtual void fixerNombreCylindres(uint64_t nombre);
  virtual void fixerTailleSecteur(uint16_t taille);
  virtual bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage rappel);
  virtual bool ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                              T_RappelMessage rappel);
  virtual char* texteSecteur(uint64_t secteur) const;
  virtual const char* ouvrir();
  virtual void fermer();

  // Opening for access; the refusal text is kept and never freed.
  const char* ouvrirAcces();
  void fermerAcces();

  bool contientChemin(const char* chemin) const;
  char* texteDescription(int niveau) const;
  void fixerFenetreEcriture(uint64_t premier, uint64_t longueur);
  bool fixerRedirection(uint64_t source, uint64_t cible, uint64_t longueur);
  const char* verrouillerChemins(size_t depuis);
  void deverrouillerChemins(size_t depuis);
  void detecterHibernation();
  char* texteEtat();
  int modeVerrouillageOperation(int operation, bool drapeau) const;
  bool operationVerrouillee(int operation, bool drapeau) const;

  bool chsValide(const T_CHS& chs) const;
  uint64_t chsVersLBA(const T_CHS& chs) const;
  T_CHS lbaVersCHS(uint64_t secteur) const;

  uint32_t nombreSecteursTransfert(uint64_t premier, uint32_t voulus);
  bool lire(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage rappel);
  bool ecrireControle(uint64_t premier, uint32_t nombre, const void* donnees,
                      T_RappelMessage rappel, bool forcer);
  bool ecrire(uint64_t premier, uint32_t nombre, const void* donnees, T_RappelMessage rappel);

  const T_Identifiant& identifiant() const { return identifiant_; }
  uint16_t tailleSecteur() const { return tailleSecteur_; }
  uint64_t premierSecteur() const { return premierSecteur_; }
  uint64_t nombreSecteurs() const { return nombreSecteurs_; }
  uint64_t secteursParPiste() const { return secteursParPiste_; }
  uint64_t nombreTetes() const { return nombreTetes_; }
  uint64_t nombreCylindres() const { return nombreCylindres_; }
  int32_t acces() const { return acces_; }
  uint8_t octetMedia() const { return octetMedia_; }
  uint8_t lecteurBios() const { return lecteurBios_; }
  bool estOuvert() const { return ouvert_; }
  const StringArray& chemins() const { return chemins_; }
  const BasicArray<bool, bool const>& cheminsPeripherique() const { return cheminsPeripherique_; }

 protected:
  uint64_t redirectionSource_;
  uint64_t redirectionCible_;
  uint64_t redirectionLongueur_;  // 0: no redirection
  uint64_t fenetreEcriturePremier_;
  uint64_t fenetreEcritureLongueur_;
  StringArray chemins_;
  BasicArray<bool, bool const> cheminsPeripherique_;  // true: device path
  bool ouvert_;
  const char* refusGarde_;
  bool modifiable_;
  T_Identifiant identifiant_;
  uint16_t tailleSecteur_;
  uint64_t premierSecteur_;  // inside the parent
  uint64_t nombreSecteurs_;
  uint64_t secteursParPiste_;
  uint64_t nombreTetes_;
  uint64_t nombreCylindres_;
  int32_t acces_;  // ACCES_ETENDU or ACCES_STANDARD
  uint8_t octetMedia_;
  uint8_t lecteurBios_;

 private:
  void prendreReference(int drapeaux) const;
  bool transferer(bool ecriture, uint64_t premier, uint32_t nombre, uint8_t* tampon,
                  T_RappelMessage rappel, bool forcer);
  bool transfererDansSupport(bool ecriture, uint64_t premier, uint32_t nombre, uint8_t* tampon,
                             T_RappelMessage rappel, bool forcer);
  bool transfertPhysique(bool ecriture, uint64_t premier, uint32_t nombre, uint8_t* tampon,
                         T_RappelMessage rappel);
};

// Instantiated once, in tableaux_stockage.cpp.
extern template class VirtualArray<Support_Bloc*, Support_Bloc* const>;
extern template class BasicArray<Support_Bloc*, Support_Bloc* const>;
extern template class VirtualArray<Support_Bloc::T_HeadsSectorsNumber,
                                   Support_Bloc::T_HeadsSectorsNumber const>;
extern template class BasicArray<Support_Bloc::T_HeadsSectorsNumber,
                                 Support_Bloc::T_HeadsSectorsNumber const>;
