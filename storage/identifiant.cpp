// Support_Bloc::T_Identifiant: kinds, deep copy and equality.
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "storage/support_bloc.h"

typedef Support_Bloc::T_Identifiant T_Identifiant;

T_Identifiant::T_Identifiant() : type_(ID_VIDE), numero_(0) { valeur_.nombre = 0; }

T_Identifiant::T_Identifiant(int32_t type, uint32_t nombre) : type_(type), numero_(0) {
  valeur_.nombre = nombre;
}

T_Identifiant::T_Identifiant(const char* texte) : type_(ID_PERIPHERIQUE), numero_(0) {
  TRACER_APPEL();
  valeur_.texte = xstrdup(texte);
}

T_Identifiant::T_Identifiant(int32_t type, const char* texte) : type_(type), numero_(0) {
  TRACER_APPEL();
  valeur_.texte = xstrdup(texte);
}

T_Identifiant::T_Identifiant(int32_t type, const T_Identifiant* parent, int32_t numero)
    : type_(type), numero_(numero) {
  TRACER_APPEL();
  valeur_.parent = parent ? new T_Identifiant(*parent) : nullptr;
}

T_Identifiant::T_Identifiant(const T_Identifiant& autre) : type_(ID_VIDE), numero_(0) {
  TRACER_APPEL();
  valeur_.nombre = 0;
  copier(autre);
}

T_Identifiant& T_Identifiant::operator=(const T_Identifiant& autre) {
  TRACER_APPEL();
  if (this == &autre) return *this;
  // The source may be owned by this identifier (its own nested parent):
  // copy it out before releasing.
  T_Identifiant copie(autre);
  liberer();
  type_ = copie.type_;
  valeur_ = copie.valeur_;
  numero_ = copie.numero_;
  copie.type_ = ID_VIDE;
  copie.valeur_.nombre = 0;
  return *this;
}

T_Identifiant& T_Identifiant::operator=(T_Identifiant&& autre) {
  TRACER_APPEL();
  if (this == &autre) return *this;
  // autre cannot be owned by this identifier: a nested parent is never
  // handed out as a temporary.
  liberer();
  type_ = autre.type_;
  valeur_ = autre.valeur_;
  numero_ = autre.numero_;
  autre.type_ = ID_VIDE;
  autre.valeur_.nombre = 0;
  autre.numero_ = 0;
  return *this;
}

T_Identifiant::~T_Identifiant() {
  TRACER_APPEL();
  liberer();
}

bool T_Identifiant::possedeTexte() const {
  return type_ == ID_PERIPHERIQUE || type_ == ID_FICHIER_DISQUE || type_ == ID_FICHIER_LECTEUR;
}

bool T_Identifiant::possedeParent() const {
  return type_ == ID_PARTITION_MBR || type_ == ID_PARTITION_GPT;
}

void T_Identifiant::liberer() {
  TRACER_APPEL();
  if (possedeParent()) {
    delete valeur_.parent;
  } else if (possedeTexte()) {
    free(valeur_.texte);
  }
  type_ = ID_VIDE;
  valeur_.nombre = 0;
  numero_ = 0;
}

// Into an identifier that holds nothing.
void T_Identifiant::copier(const T_Identifiant& source) {
  TRACER_APPEL();
  type_ = source.type_;
  if (type_ > ID_VIDE) return;
  if (possedeParent()) {
    valeur_.parent = source.valeur_.parent ? new T_Identifiant(*source.valeur_.parent) : nullptr;
    numero_ = source.numero_;
  } else if (possedeTexte()) {
    valeur_.texte = xstrdup(source.valeur_.texte);
  } else {
    valeur_.nombre = source.valeur_.nombre;
  }
}

bool T_Identifiant::operator==(const T_Identifiant& autre) const {
  TRACER_APPEL();
  if (type_ != autre.type_ || type_ > 9) return false;
  if (possedeParent()) {
    // A missing parent names nothing, so it equals nothing.
    const T_Identifiant* a = valeur_.parent;
    const T_Identifiant* b = autre.valeur_.parent;
    return a && b && numero_ == autre.numero_ && *a == *b;
  }
  if (possedeTexte()) {
    const char* a = valeur_.texte;
    const char* b = autre.valeur_.texte;
    return a && b && strcmp(a, b) == 0;
  }
  return valeur_.nombre == autre.valeur_.nombre;
}
