// Windows disks: creation from \\.\PHYSICALDRIVEn (NT) or from the BIOS
// through VWIN32 (9x), the NT geometry read, and Disque_Etendu's transfers,
// descriptions, locks and geometry candidates.
#include "platform/windows/disque.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/options.h"
#include "core/texte.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/lecteurs.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/services.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "storage/chs.h"
#include "storage/support_bloc_manager.h"
#include "storage/texte_alloue.h"

namespace {

const size_t TAILLE_NOM_DISQUE = 26;
const DWORD DRAPEAUX_OUVERTURE = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING |
                                 FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL;
static_assert(DRAPEAUX_OUVERTURE == 0xB0000080, "open flags of a physical drive");

const uint8_t BIOS_PARAMETRES = 0x08;
const uint8_t BIOS_TYPE_DISQUE = 0x15;
const uint8_t BIOS_EXTENSIONS = 0x41;
const uint8_t BIOS_PARAMETRES_ETENDUS = 0x48;
const uint8_t BIOS_FONCTION_INVALIDE = 1;
const uint8_t BIOS_DISQUE_FIXE = 3;

uint8_t statutBios(const DIOC_REGISTERS& r) { return static_cast<uint8_t>(r.reg_EAX >> 8); }
bool echoue(const DIOC_REGISTERS& r) { return (r.reg_Flags & DRAPEAU_RETENUE) != 0; }

// One int 13h call on BIOS disk 0x80 + n, from a zeroed block.
void appelBios(DIOC_REGISTERS* r, uint8_t fonction, uint8_t numero, uint32_t ebx = 0,
               const void* paquet = nullptr) {
  TRACER_APPEL();
  memset(r, 0, sizeof *r);
  r->reg_EAX = static_cast<uint32_t>(fonction) << 8;
  r->reg_EDX = 0x80u + numero;
  r->reg_EBX = ebx;
  if (paquet) r->reg_ESI = adresseLineaire(paquet);
  appelerInterruption(0x13, r);
}

// AH=48h into a zeroed block whose size word is 26.
void lireParametresEtendus(uint8_t numero, T_ParametresEtendus* p, DIOC_REGISTERS* r) {
  TRACER_APPEL();
  memset(p, 0, sizeof *p);
  p->taille = sizeof *p;
  appelBios(r, BIOS_PARAMETRES_ETENDUS, numero, 0, p);
}

bool parametresAcceptes(const T_ParametresEtendus& p, const DIOC_REGISTERS& r) {
  TRACER_APPEL();
  return !echoue(r) && p.taille >= sizeof p && p.octetsParSecteur >= 512 &&
         p.octetsParSecteur <= 32768 && p.octetsParSecteur % 512 == 0 && p.nombreSecteurs != 0;
}

uint64_t lire64(const uint8_t* p) {
  uint64_t v;
  memcpy(&v, p, sizeof v);
  return v;
}
uint32_t lire32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
  return v;
}
uint16_t lire16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

// a x b x c, or 0 when it does not fit in 64 bits.
uint64_t produit(uint64_t a, uint64_t b, uint64_t c) {
  TRACER_APPEL();
  uint64_t ab, abc;
  if (__builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc)) return 0;
  return abc;
}

}  // namespace

// ---------------------------------------------------------------- the geometry answers

T_GeometrieSysteme lireGeometrieSysteme(const uint8_t* g) {
  TRACER_APPEL();
  T_GeometrieSysteme s;
  s.cylindres = lire64(g + 0);
  s.tetes = lire32(g + 12);
  s.secteurs = lire32(g + 16);
  s.octetsParSecteur = lire32(g + 20);
  return s;
}

T_ReponseGeometrieEx analyserGeometrieEx(const uint8_t* reponse, uint64_t rendus, uint64_t taille) {
  TRACER_APPEL();
  T_ReponseGeometrieEx r;
  memset(&r, 0, sizeof r);
  if (rendus > taille) rendus = taille;
  if (rendus < GEOMETRIE_EX_MINIMUM) return r;
  // The geometry and the size stand in the first 32 bytes of every answer.
  r.geometrieLue = true;
  r.geometrie = lireGeometrieSysteme(reponse);
  r.tailleDisque = lire64(reponse + 24);
  if (rendus < GEOMETRIE_EX_MINIMUM + 4) return r;
  const uint64_t taillePartition = lire32(reponse + GEOMETRIE_EX_MINIMUM);
  // The detection record lies behind the partition record; every sum in
  // 64 bits, so no size field can wrap the bounds.
  const uint64_t debut = GEOMETRIE_EX_MINIMUM + taillePartition;
  if (rendus <= 40 || rendus <= taillePartition + 40 || debut + 8 > rendus) return r;
  const uint64_t tailleDetection = lire32(reponse + debut);
  if (rendus < taillePartition + tailleDetection + GEOMETRIE_EX_MINIMUM) return r;
  const uint8_t* d = reponse + debut;
  const uint32_t type = lire32(d + 4);
  // Only the fields that both the record's own size and the answer hold.
  const uint64_t finInt13 = 20, finExInt13 = 50;
  if (type == DETECTION_INT13 && tailleDetection >= finInt13 && debut + finInt13 <= rendus) {
    r.detection = DETECTION_INT13;
    r.int13MaxCylindres = lire32(d + 12);
    r.int13Secteurs = lire16(d + 16);
    r.int13MaxTetes = lire16(d + 18);
  } else if (type == DETECTION_EXINT13 && tailleDetection >= finExInt13 &&
             debut + finExInt13 <= rendus) {
    r.detection = DETECTION_EXINT13;
    r.exTailleTampon = lire16(d + 24);
    r.exCylindres = lire32(d + 28);
    r.exTetes = lire32(d + 32);
    r.exSecteurs = lire32(d + 36);
    r.exNombreSecteurs = lire64(d + 40);
    r.exTailleSecteur = lire16(d + 48);
  }
  r.detectionLue = true;
  return r;
}

bool demanderGeometrieEx(HANDLE handle, uint8_t* tampon, DWORD taille, T_ReponseGeometrieEx* r) {
  TRACER_APPEL();
  memset(tampon, 0, taille);
  DWORD rendus = 0;
  bool reussi = appelsWindows.DeviceIoControl(handle, IOCTL_GEOMETRIE_EX, nullptr, 0, tampon, taille,
                                              &rendus, nullptr) != FALSE;
  *r = analyserGeometrieEx(tampon, reussi ? rendus : 0, taille);
  return r->geometrieLue;
}

bool demanderGeometrie(HANDLE handle, T_GeometrieSysteme* g) {
  TRACER_APPEL();
  uint8_t tampon[24];
  memset(tampon, 0, sizeof tampon);
  DWORD rendus = 0;
  if (!appelsWindows.DeviceIoControl(handle, IOCTL_GEOMETRIE, nullptr, 0, tampon, sizeof tampon,
                                     &rendus, nullptr) ||
      rendus < sizeof tampon)
    return false;
  *g = lireGeometrieSysteme(tampon);
  return true;
}

bool calculerGeometrieDisque(const T_ReponseGeometrieEx* ex, const T_GeometrieSysteme* simple,
                             T_InfoDisque* info) {
  TRACER_APPEL();
  uint64_t dernierCylindre = info->dernierCylindre.lire(), derniereTete = info->derniereTete.lire();
  uint64_t secteurs = info->secteursParPiste.lire(), taille = info->nombreSecteurs.lire();
  uint64_t tailleSecteur = info->tailleSecteur.lire();
  auto prendre = [&](const T_GeometrieSysteme& g) {
    dernierCylindre = g.cylindres - 1;
    secteurs = g.secteurs;
    derniereTete = static_cast<uint64_t>(g.tetes) - 1;
  };
  auto complete = [](const T_GeometrieSysteme& g) {
    return g.cylindres != 0 && g.tetes != 0 && g.secteurs != 0;
  };
  if (ex && ex->geometrieLue) {
    const T_GeometrieSysteme& g = ex->geometrie;
    if (ex->detection == DETECTION_INT13) {
      // BIOS maxima, already the last cylinder and head.
      dernierCylindre = ex->int13MaxCylindres;
      secteurs = ex->int13Secteurs;
      derniereTete = ex->int13MaxTetes;
    } else if (ex->detection == DETECTION_EXINT13) {
      if (ex->exTailleTampon > 25 && ex->exCylindres != 0 && ex->exTetes != 0 &&
          ex->exSecteurs != 0) {
        dernierCylindre = ex->exCylindres - 1u;
        secteurs = ex->exSecteurs;
        derniereTete = ex->exTetes - 1u;
        taille = produit(ex->exCylindres, ex->exTetes, ex->exSecteurs);
      } else if (complete(g)) {
        prendre(g);
      }
      if (ex->exNombreSecteurs != 0) taille = ex->exNombreSecteurs;
      tailleSecteur = ex->exTailleSecteur;
    } else if (complete(g)) {
      prendre(g);
      taille = produit(g.cylindres, g.tetes, g.secteurs);
    }
    if (tailleSecteur == 0) tailleSecteur = g.octetsParSecteur < 32769 ? g.octetsParSecteur : 32769;
    if (ex->tailleDisque != 0 && tailleSecteur != 0 && ex->tailleDisque / tailleSecteur > taille)
      taille = ex->tailleDisque / tailleSecteur;
  }
  if (simple) {
    const T_GeometrieSysteme& g = *simple;
    if (complete(g) && secteurs == 0) prendre(g);
    if (tailleSecteur == 0) tailleSecteur = g.octetsParSecteur < 32769 ? g.octetsParSecteur : 32769;
    if (taille == 0) {
      taille = complete(g) ? produit(g.cylindres, g.tetes, g.secteurs)
                           : produit(dernierCylindre + 1, derniereTete + 1, secteurs);
    }
  }
  if (derniereTete >= 256) derniereTete = 255;
  if (secteurs == 0 || secteurs >= 64) secteurs = 63;
  if (dernierCylindre > 1023) dernierCylindre = 1023;
  if (taille != 0) {
    uint64_t utiles = divArrondiHaut64(taille, (derniereTete + 1) * secteurs) - 1;
    if (utiles < dernierCylindre) dernierCylindre = utiles;
  }
  info->dernierCylindre.ecrire(dernierCylindre);
  info->derniereTete.ecrire(derniereTete);
  info->secteursParPiste.ecrire(secteurs);
  info->nombreSecteurs.ecrire(taille);
  info->tailleSecteur.ecrire(static_cast<uint16_t>(tailleSecteur <= 0xFFFF ? tailleSecteur : 0));
  return tailleSecteur >= 512 && tailleSecteur <= 32768 && tailleSecteur % 512 == 0 && taille != 0;
}

bool lireGeometrieDisque(HANDLE handle, T_InfoDisque* info) {
  TRACER_APPEL();
  uint8_t tampon[632];
  T_ReponseGeometrieEx ex;
  demanderGeometrieEx(handle, tampon, sizeof tampon, &ex);
  T_GeometrieSysteme simple;
  bool simpleLue = demanderGeometrie(handle, &simple);
  if (!calculerGeometrieDisque(&ex, simpleLue ? &simple : nullptr, info)) return false;
  info->typeAcces = ACCES_ETENDU;
  // A device whose own sectors no buffer may hold is refused, not read
  // through a buffer of the wrong alignment.
  return ajusterAlignementTransfert(handle, info->tailleSecteur.lire());
}

// ---------------------------------------------------------------- creation

namespace {

Disque_Etendu* creerNT(uint8_t numero, bool* lectureSeule) {
  TRACER_APPEL();
  char nom[TAILLE_NOM_DISQUE];
  formaterMessage(nom, sizeof nom, "\\\\.\\PHYSICALDRIVE%u", static_cast<unsigned>(numero));
  const DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;
  *lectureSeule = false;
  HANDLE h = appelsWindows.CreateFileA(nom, GENERIC_READ | GENERIC_WRITE, partage, nullptr,
                                       OPEN_EXISTING, DRAPEAUX_OUVERTURE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *lectureSeule = true;
    h = appelsWindows.CreateFileA(nom, GENERIC_READ, partage, nullptr, OPEN_EXISTING,
                                  DRAPEAUX_OUVERTURE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
  }
  T_InfoDisque info;
  memset(&info, 0, sizeof info);
  if (!lireGeometrieDisque(h, &info)) {
    appelsWindows.CloseHandle(h);
    return nullptr;
  }
  appelsWindows.FlushFileBuffers(h);
  return new Disque_Etendu(numero, 0, h, info);
}

Disque* disqueStandard(uint8_t numero, T_InfoDisque* info) {
  TRACER_APPEL();
  if (info->nombreSecteurs.lire() == 0) return nullptr;
  return new Disque_Standard(numero, *info);
}

Disque* creer9x(uint8_t numero) {
  TRACER_APPEL();
  T_InfoDisque info;
  memset(&info, 0, sizeof info);
  DIOC_REGISTERS r;
  appelBios(&r, BIOS_PARAMETRES, numero);
  if (echoue(r) || static_cast<uint8_t>(r.reg_EDX) <= numero) return nullptr;
  uint16_t secteurs = 0, dernierCylindre = 0;
  decomposerCHS(static_cast<uint16_t>(r.reg_ECX), &secteurs, &dernierCylindre);
  const uint64_t derniereTete = (r.reg_EDX >> 8) & 0xFF;
  info.derniereTete.ecrire(derniereTete);
  info.dernierCylindre.ecrire(dernierCylindre);
  info.secteursParPiste.ecrire(secteurs);
  info.nombreSecteurs.ecrire((derniereTete + 1) * (dernierCylindre + 1u) * secteurs);
  info.tailleSecteur.ecrire(512);
  info.typeAcces = ACCES_STANDARD;

  bool typeConnu;
  appelBios(&r, BIOS_TYPE_DISQUE, numero);
  if (echoue(r)) {
    if (statutBios(r) != BIOS_FONCTION_INVALIDE || numero >= nombreDisques()) return nullptr;
    appelBios(&r, BIOS_EXTENSIONS, numero, 0x55AA);
    if (echoue(r) || (r.reg_EBX & 0xFFFF) != 0xAA55) return nullptr;
    typeConnu = false;
  } else {
    if (statutBios(r) != BIOS_DISQUE_FIXE) return nullptr;
    appelBios(&r, BIOS_EXTENSIONS, numero, 0x55AA);
    if (echoue(r) || (r.reg_EBX & 0xFFFF) != 0xAA55) return disqueStandard(numero, &info);
    typeConnu = true;
  }
  const uint8_t version = statutBios(r);
  T_ParametresEtendus p;
  bool accepte = false;
  if (r.reg_ECX & 1) {
    lireParametresEtendus(numero, &p, &r);
    accepte = parametresAcceptes(p, r);
  }
  if (!accepte) return typeConnu ? disqueStandard(numero, &info) : nullptr;

  OptionsSupportBloc* options = optionsSupportBloc();
  const bool standardVoulu = options && options->accesStandard();
  if (p.cylindres != 0 && p.tetes != 0 && p.secteursParPiste != 0) {
    bool utilisable = info.secteursParPiste.lire() >= 1 && info.nombreSecteurs.lire() != 0;
    if (!utilisable) {
      info.dernierCylindre.ecrire(p.cylindres - 1u);
      info.derniereTete.ecrire(p.tetes - 1u);
      info.secteursParPiste.ecrire(p.secteursParPiste);
    }
  }
  const uint64_t tete = info.derniereTete.lire(), spt = info.secteursParPiste.lire();
  const uint64_t cylindre = info.dernierCylindre.lire();
  // CHS is kept only when asked for and when it reaches the whole disk.
  const bool standard = standardVoulu && tete <= 255 && spt >= 1 && spt <= 63 && cylindre <= 1023 &&
                        p.octetsParSecteur == 512 && 1024 * spt * (tete + 1) >= p.nombreSecteurs;
  if (standard) {
    if (info.nombreSecteurs.lire() == 0) info.nombreSecteurs.ecrire((tete + 1) * spt * (cylindre + 1));
    return disqueStandard(numero, &info);
  }
  info.nombreSecteurs.ecrire(p.nombreSecteurs);
  info.tailleSecteur.ecrire(p.octetsParSecteur);
  info.typeAcces = ACCES_ETENDU;
  return new Disque_Etendu(numero, version, INVALID_HANDLE_VALUE, info);
}

}  // namespace

Disque* Disque::creer(uint8_t numero) {
  TRACER_APPEL();
  bool refuse;
  Disque* existant = dejaEnregistre(numero, &refuse);
  if (existant || refuse) return existant;
  if (!estWindowsNT()) return creer9x(numero);
  bool lectureSeule = false;
  Disque_Etendu* disque = creerNT(numero, &lectureSeule);
  if (disque && lectureSeule) disque->modifiable_ = false;
  return disque;
}

const char* cheminPropreDisque(uint8_t) { return nullptr; }

// ---------------------------------------------------------------- Disque_Etendu

Disque_Etendu::Disque_Etendu(uint8_t numero, uint8_t modeAcces, void* handle,
                             const T_InfoDisque& geometrie)
    : Disque(numero, geometrie),
      handle_(handle),
      ecrit_(false),
      modeAcces_(modeAcces),
      genreTransfert_(genreDeTransfert(modeAcces)) {
  TRACER_APPEL();
  if (handle_ == INVALID_HANDLE_VALUE) return;
  preparerGeometrie();
}

Disque_Etendu::~Disque_Etendu() {
  TRACER_APPEL();
  fermerAcces();
  if (!estWindowsNT() || handle_ == INVALID_HANDLE_VALUE) return;
  appelsWindows.FlushFileBuffers(handle_);
  if (estWindowsXPOuPlus() && ecrit_) {
    DWORD rendus = 0;
    appelsWindows.DeviceIoControl(handle_, IOCTL_MISE_A_JOUR_PROPRIETES, nullptr, 0, nullptr, 0,
                                  &rendus, nullptr);
    ecrit_ = false;
  }
  appelsWindows.CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

namespace {

// The key of a disk's transfers; false when it cannot transfer.
bool cleDisque(const Disque_Etendu* disque, T_AccesDisque* cle) {
  TRACER_APPEL();
  if (estWindowsNT()) {
    *cle = {0, disque->handle()};
    return disque->handle() != INVALID_HANDLE_VALUE;
  }
  *cle = {0x80u | disque->numeroDisque(), nullptr};
  return disque->numeroDisque() < nombreDisques();
}

bool candidatValide(uint64_t secteurs, uint64_t tetes) {
  TRACER_APPEL();
  return secteurs >= 1 && secteurs <= 63 && tetes >= 1 && tetes <= 256;
}

}  // namespace

BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const>
Disque_Etendu::geometriesPossibles() const {
  TRACER_APPEL();
  BasicArray<T_HeadsSectorsNumber, T_HeadsSectorsNumber const> geometries =
      Disque::geometriesPossibles();
  auto ajouter = [&geometries](int origine, uint64_t secteurs, uint64_t tetes) {
    T_HeadsSectorsNumber t = {origine, static_cast<int>(secteurs), static_cast<int>(tetes)};
    geometries.add(t);
  };
  if (!estWindowsNT()) {
    if (numeroDisque_ < nombreDisques()) {
      T_ParametresEtendus p;
      DIOC_REGISTERS r;
      // The carry is not examined: a failed call leaves zeros.
      lireParametresEtendus(numeroDisque_, &p, &r);
      if (candidatValide(p.secteursParPiste, p.tetes)) ajouter(2, p.secteursParPiste, p.tetes);
    }
    return geometries;
  }
  if (handle_ == INVALID_HANDLE_VALUE) return geometries;
  uint8_t tampon[248];
  T_ReponseGeometrieEx ex;
  demanderGeometrieEx(handle_, tampon, sizeof tampon, &ex);
  T_GeometrieSysteme g;
  if (ex.detectionLue && ex.detection == DETECTION_INT13 && ex.int13Secteurs >= 1 &&
      ex.int13Secteurs <= 63 && ex.int13MaxTetes <= 255) {
    ajouter(1, ex.int13Secteurs, ex.int13MaxTetes + 1u);
    if (demanderGeometrie(handle_, &g) && candidatValide(g.secteurs, g.tetes))
      ajouter(2, g.secteurs, g.tetes);
    return geometries;
  }
  bool attente = false;
  uint64_t secteursAttente = 0, tetesAttente = 0;
  if (ex.detectionLue && ex.detection == DETECTION_EXINT13) {
    if (ex.exTailleTampon >= 26 && candidatValide(ex.exSecteurs, ex.exTetes)) {
      attente = true;
      secteursAttente = ex.exSecteurs;
      tetesAttente = ex.exTetes;
    }
  } else if (ex.detectionLue && ex.detection != DETECTION_INT13 &&
             candidatValide(ex.geometrie.secteurs, ex.geometrie.tetes)) {
    attente = true;
    secteursAttente = ex.geometrie.secteurs;
    tetesAttente = ex.geometrie.tetes;
  }
  if (attente) {
    if (demanderGeometrie(handle_, &g) && g.secteurs != 0 && g.secteurs <= 63 && g.tetes >= 1 &&
        g.tetes <= 256)
      ajouter(1, g.secteurs, g.tetes);
    ajouter(2, secteursAttente, tetesAttente);
    return geometries;
  }
  if (demanderGeometrie(handle_, &g) && candidatValide(g.secteurs, g.tetes)) ajouter(1, g.secteurs, g.tetes);
  return geometries;
}

char* Disque_Etendu::description(int niveau) const {
  TRACER_APPEL();
  if (niveau != 1) return Disque::description(niveau);
  char* taille = texteTaille(static_cast<uint64_t>(tailleSecteur_) * nombreSecteurs_, true);
  char* texte = texteFormate("Disk number %u (%s, extended access)",
                             static_cast<unsigned>(numeroDisque_), taille);
  free(taille);
  return texte;
}

bool Disque_Etendu::lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage) {
  TRACER_APPEL();
  T_AccesDisque cle;
  if (!cleDisque(this, &cle)) return false;
  return lireSecteursDisque(&cle, premier, nombre, tailleSecteur_, tampon);
}

bool Disque_Etendu::ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                                   T_RappelMessage) {
  TRACER_APPEL();
  T_AccesDisque cle;
  if (!cleDisque(this, &cle)) return false;
  return ecrireSecteursDisque(&cle, premier, nombre, tailleSecteur_, donnees, &genreTransfert_);
}

const char* Disque_Etendu::ouvrir() {
  TRACER_APPEL();
  const char* refus = Support_Bloc::ouvrir();
  if (refus || handle_ == INVALID_HANDLE_VALUE) return refus;
  // Before XP the volumes on the disk cannot be locked.
  if (!estWindowsXPOuPlus()) return MESSAGE_ECHEC_VERROU;
  return verrouillerChemins(0);
}

void Disque_Etendu::fermer() {
  TRACER_APPEL();
  if (handle_ != INVALID_HANDLE_VALUE && estWindowsXPOuPlus()) deverrouillerChemins(0);
  Support_Bloc::fermer();
}

// The drive letters and volume paths that lie on the disk (no list) or on
// each listed partition.
void Disque::trouverPeripheriquesPartitions(T_ListePartitions* liste) {
  TRACER_APPEL();
  construireCorrespondances(this, liste);
}
