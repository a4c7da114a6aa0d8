#include "programs/archlens/archlens.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/texte.h"
#include "programs/commun/frontal.h"
#include "storage/gpt.h"
#include "storage/support_bloc.h"
#include "storage/types_mbr.h"

namespace {

const uint32_t POINTS_COMPLETS = 200;

const char* ouiNon(bool valeur) { return valeur ? "yes" : "no"; }

// " - <size>" for a count of sectors, or the empty text when the count or
// the sector size is 0; newly allocated.
char* suffixeTaille(uint64_t secteurs, uint16_t tailleSecteur) {
  TRACER_APPEL();
  if (secteurs == 0 || tailleSecteur == 0) return xstrdup("");
  char* taille = texteTailleSecteurs(secteurs, tailleSecteur, true);
  char* texte = xstrdup(" - ");
  ajouterTexte(&texte, taille);
  free(taille);
  return texte;
}

void afficherBlocPartition(const T_FileHeader& entete) {
  TRACER_APPEL();
  const T_InfoPartition& p = entete.infoPartition;
  if (entete.typeSupport == ID_PARTITION_GPT) {
    uint8_t guid[16];
    entete.guidTypeGPT(guid);
    char* texte = texteGUID(guid);
    char* nom = nomTypeGPT(guid);
    if (nom[0] == '\0') {
      free(nom);
      nom = xstrdup(nomDonneesGPT(entete.typeElement));
    }
    afficherMessage("        type GUID: %s (%s)\n", texte, nom);
    free(nom);
    free(texte);
    return;
  }
  char* nom = nomTypePartition(p.typePartition);
  const uint8_t* inutilise = entete.infoDisque.nonUtilise;
  afficherMessage(
      "        unused: { 0x%02x, 0x%02x, 0x%02x }\n"
      "        partition number: %u - %u\n"
      "        partition type: 0x%x (%s)\n"
      "        begin sector (CHS): %u\n"
      "        begin head (CHS): %u\n"
      "        begin cylinder (CHS): %u\n"
      "        end sector (CHS): %u\n"
      "        end head (CHS): %u\n"
      "        end cylinder (CHS): %u\n",
      static_cast<unsigned>(inutilise[0]), static_cast<unsigned>(inutilise[1]),
      static_cast<unsigned>(inutilise[2]), static_cast<unsigned>(p.numeroPrincipal),
      static_cast<unsigned>(p.numeroEtendue), static_cast<unsigned>(p.typePartition), nom,
      static_cast<unsigned>(p.debutSecteur.lire()), static_cast<unsigned>(p.debutTete),
      static_cast<unsigned>(p.debutCylindre.lire()), static_cast<unsigned>(p.finSecteur.lire()),
      static_cast<unsigned>(p.finTete), static_cast<unsigned>(p.finCylindre.lire()));
  free(nom);
}

// Dots from deja + 1 to cible: a blank after every tenth, the percentage
// line after every fiftieth.
void afficherPoints(uint64_t deja, uint64_t cible) {
  TRACER_APPEL();
  for (uint64_t point = deja + 1; point <= cible; ++point) {
    afficherMessage(".");
    if (point % 10 == 0) afficherMessage(" ");
    if (point % 50 == 0) afficherMessage("%3" FMT_L64 "u %%\n", point / 2);
  }
}

// Message, file closed, status 1.
int echec(FichierArchlens* fichier, const char* message) {
  TRACER_APPEL();
  afficherMessage("%s", message);
  fichier->fermer();
  return 1;
}

// The checks of -t after the report; the exit status.
int verifierSauvegarde(FichierArchlens* fichier, const T_FileHeader& entete,
                       const T_FileSubHeader& sousEntete, bool avecSousEntete, uint64_t longueur) {
  TRACER_APPEL();
  T_FileHeader entete2;
  T_FileSubHeader sousEntete2;
  fichier->positionner(0);
  if (!fichier->lire(&entete2, sizeof entete2, "Error reading header again.")) return 1;
  if (memcmp(&entete, &entete2, sizeof entete) != 0)
    return echec(fichier, "Reading header again does not give same content.\n");
  if (avecSousEntete) {
    if (!fichier->lire(&sousEntete2, sizeof sousEntete2, "Error reading subheader again."))
      return 1;
    if (memcmp(&sousEntete, &sousEntete2, sizeof sousEntete) != 0)
      return echec(fichier, "Reading subheader again does not give same content.\n");
  }
  uint64_t longueurEntetes =
      TAILLE_ENTETE_FICHIER + (avecSousEntete ? TAILLE_SOUS_ENTETE : 0);
  fichier->positionner(longueurEntetes);
  afficherMessage("Checking data ...\n");

  if (entete.magique1.lire() != MAGIQUE_ENTETE || entete.magique2.lire() != MAGIQUE_ENTETE)
    return echec(fichier, "Header not found.\n");
  if (entete.version.lire() != VERSION_ENTETE) return echec(fichier, "Bad version of header.\n");
  uint32_t stocke = entete.crcEntete.lire();
  uint32_t calcule = entete.calculerCrcEntete();
  if (stocke != calcule) {
    afficherMessage("Incorrect CRC for header (0x%08x != 0x%08x).\n", stocke, calcule);
    fichier->fermer();
    return 1;
  }
  if (avecSousEntete) {
    stocke = sousEntete.crc.lire();
    calcule = sousEntete.calculerCrc();
    if (stocke != calcule) {
      afficherMessage("Incorrect CRC for subheader (0x%08x != 0x%08x).\n", stocke, calcule);
      fichier->fermer();
      return 1;
    }
  }

  uint32_t taille = entete.taille.lire();
  uint32_t crc = entete.crcAvant.lire();
  uint64_t octetsLus = 0;
  uint64_t points = 0;
  uint8_t* tampon = static_cast<uint8_t*>(xmalloc(TAILLE_BLOC_DONNEES));
  for (;;) {
    uint32_t lus = 0;
    if (!fichier->lireDonnees(tampon, TAILLE_BLOC_DONNEES, &lus)) {
      free(tampon);
      afficherMessage("Error reading file.\n");
      fichier->afficherErreur();
      fichier->fermer();
      return 1;
    }
    if (lus > 0) {
      octetsLus += lus;
      uint64_t cible = ciblePoints(octetsLus, taille);
      if (cible > points) {
        afficherPoints(points, cible);
        points = cible;
      }
      crc = continuerCrcDonnees(crc, tampon, lus);
    }
    if (lus < TAILLE_BLOC_DONNEES) break;
  }
  free(tampon);
  afficherMessage("\n");

  if (octetsLus != taille) {
    // Every build prints the whole 64-bit count: a 32-bit one would hide a
    // file longer than 4 GiB behind a matching number.
    afficherMessage("Incorrect file size (%u != " FMT_U64 ").\n", taille, octetsLus);
    fichier->afficherErreur();
    fichier->fermer();
    return 1;
  }
  if (longueurEntetes + octetsLus != longueur) {
    afficherMessage("Get an error before end of file.\n");
    fichier->afficherErreur();
    fichier->fermer();
    return 1;
  }
  stocke = entete.crcDonnees.lire();
  if (crc != stocke) {
    afficherMessage("Incorrect data CRC (0x%08x != 0x%08x).\n", stocke, crc);
    fichier->fermer();
    return 1;
  }
  afficherMessage("File is correct.\n");
  pauseDemandee = false;
  fichier->fermer();
  return 0;
}

}  // namespace

uint64_t ciblePoints(uint64_t octetsLus, uint32_t taille) {
  TRACER_APPEL();
  // Below the size the product stays under 2^40: no overflow.
  if (taille == 0 || octetsLus >= taille) return POINTS_COMPLETS;
  return octetsLus * POINTS_COMPLETS / taille;
}

void afficherEnteteSauvegarde(const T_FileHeader& h) {
  TRACER_APPEL();
  uint8_t options = h.optionsElement;
  afficherMessage(
      "Header: version: 0x%04x\n"
      "        last file: %u\n"
      "        data CRC: 0x%08x\n"
      "        header CRC: 0x%08x\n"
      "        compression: %u\n"
      "        type of element saved: %u (%s)\n"
      "        element saved on itself: %s\n"
      "        element saved without swap files: %s\n"
      "        common subheader: %s\n"
      "        others element options: 0x%x\n"
      "        type of support: %u (%s)\n"
      "        CRC before: 0x%08x\n"
      "        size before: " FMT_U64 "\n"
      "        size: %u\n",
      static_cast<unsigned>(h.version.lire()), static_cast<unsigned>(h.dernierFichier),
      h.crcDonnees.lire(), h.crcEntete.lire(), static_cast<unsigned>(h.compression),
      static_cast<unsigned>(h.typeElement), texteTypeElement(h.typeElement),
      ouiNon(options & OPTION_SAUVE_SUR_LUI_MEME), ouiNon(options & OPTION_SANS_FICHIERS_ECHANGE),
      ouiNon(options & OPTION_SOUS_ENTETE_COMMUN), static_cast<unsigned>(options & OPTIONS_AUTRES),
      static_cast<unsigned>(h.typeSupport), texteTypeSupport(h.typeSupport), h.crcAvant.lire(),
      h.tailleAvant.lire(), h.taille.lire());
  pauseEcran(true);

  const T_InfoDisque& d = h.infoDisque;
  uint16_t tailleSecteur = d.tailleSecteur.lire();
  char* tailleDisque = suffixeTaille(d.nombreSecteurs.lire(), tailleSecteur);
  afficherMessage(
      "        disk number: %u\n"
      "        last head: " FMT_U64 "\n"
      "        last cylinder: " FMT_U64 "\n"
      "        last sector: " FMT_U64 "\n"
      "        disk size: " FMT_U64 "%s\n"
      "        sector size: %u\n"
      "        access type: %u (%s)\n"
      "        needed inc.: %u\n",
      static_cast<unsigned>(h.numeroDisque), d.derniereTete.lire(), d.dernierCylindre.lire(),
      d.secteursParPiste.lire(), d.nombreSecteurs.lire(), tailleDisque,
      static_cast<unsigned>(tailleSecteur), static_cast<unsigned>(d.typeAcces),
      texteTypeAcces(d.typeAcces), static_cast<unsigned>(h.incrementNecessaire));
  free(tailleDisque);

  afficherBlocPartition(h);
  const T_InfoPartition& p = h.infoPartition;
  char* tailleElement = suffixeTaille(p.nombreSecteurs.lire(), tailleSecteur);
  afficherMessage(
      "        first sector: " FMT_U64 "\n"
      "        sector numbers: " FMT_U64 "%s\n",
      p.premierSecteur.lire(), p.nombreSecteurs.lire(), tailleElement);
  free(tailleElement);
  pauseEcran(true);
}

void afficherSousEnteteSauvegarde(const T_FileHeader& entete, const T_FileSubHeader& s) {
  TRACER_APPEL();
  uint16_t tailleSecteur = entete.infoDisque.tailleSecteur.lire();
  uint64_t minimum = s.nbSecteursMin.lire();
  uint64_t maximum = s.nbSecteursMax.lire();
  // Both sizes are shown exactly when the largest is: a minimum of 0 too.
  bool tailles = tailleSecteur != 0 && maximum != 0;
  char* texteMin = tailles ? texteTailleSecteurs(minimum, tailleSecteur, true) : nullptr;
  char* texteMax = tailles ? texteTailleSecteurs(maximum, tailleSecteur, true) : nullptr;
  afficherMessage(
      "SubHeader: nb sectors min: " FMT_U64 "%s%s\n"
      "           nb sectors max: " FMT_U64 "%s%s\n"
      "           CRC: 0x%08x\n",
      minimum, tailles ? " - " : "", tailles ? texteMin : "", maximum, tailles ? " - " : "",
      tailles ? texteMax : "", s.crc.lire());
  free(texteMin);
  free(texteMax);
}

int examinerSauvegarde(FichierArchlens* fichier, uint64_t longueur, bool longueurConnue,
                       bool verifier, bool sansTerminal) {
  TRACER_APPEL();
  if (longueurConnue && longueur < TAILLE_ENTETE_FICHIER)
    return echec(fichier, "File is too small to contain header.\n");
  T_FileHeader entete;
  if (!fichier->lire(&entete, sizeof entete, "Error reading header.")) return 1;
  afficherEnteteSauvegarde(entete);

  T_FileSubHeader sousEntete;
  memset(&sousEntete, 0, sizeof sousEntete);
  bool avecSousEntete = entete.aSousEntete();
  if (avecSousEntete) {
    if (longueur < TAILLE_ENTETE_FICHIER + TAILLE_SOUS_ENTETE)
      return echec(fichier, "File is too small to contain subheader.\n");
    if (!fichier->lire(&sousEntete, sizeof sousEntete, "Error reading subheader.")) return 1;
    afficherSousEnteteSauvegarde(entete, sousEntete);
    pauseDemandee = false;
  }

  if (verifier) {
    int statut = verifierSauvegarde(fichier, entete, sousEntete, avecSousEntete, longueur);
    if (statut != 0) return statut;
  } else {
    fichier->fermer();
  }
  // The final pause is left to -p's own waits unless something followed them.
  if (!pauseDemandee) pauseFinale(sansTerminal);
  return 0;
}
