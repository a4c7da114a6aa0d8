// Number and text helpers. Every returned text comes from xmalloc; the caller
// frees it with free().
#pragma once
#include <cstddef>
#include <cstdint>

uint32_t divArrondiHaut(uint32_t dividende, uint32_t diviseur);
uint64_t divArrondiHaut64(uint64_t dividende, uint64_t diviseur);
uint64_t divArrondiHautMixte(uint64_t dividende, uint32_t diviseur);

char* texteRapport(uint64_t a, uint64_t b, uint8_t largeur, uint8_t decimales, bool aDroite);
char* texteTaille(uint64_t octets, bool avecGo);
// texteTaille of secteurs x tailleSecteur, exact also when the product does
// not fit in 64 bits (crafted sector counts).
char* texteTailleSecteurs(uint64_t secteurs, uint16_t tailleSecteur, bool avecGo);
void ajouterTexte(char** texte, const char* ajout);
void mettreEnMajuscules(char* texte);
// The text (which may be null) begins with the prefix.
bool commencePar(const char* texte, const char* prefixe);
const char* rechercherSansCasse(const char* texte, const char* motif);
int comparerSansCasse(const void* bloc1, const void* bloc2, size_t nombre);

uint64_t lireNombreJusqua(const char* texte, char fin, bool* erreur);
uint64_t lireNombre(const char* texte, bool* erreur);
int64_t lireNombreSigne(const char* texte, bool* erreur);
uint64_t lireNombreHexa(const char* texte, bool* erreur);

uint8_t* texteHexaVersOctets(const char* texte, uint64_t* nombre);
char* octetsVersTexteHexa(const uint8_t* octets, size_t nombre);

void ligneVidageHexa(unsigned largeurAdresse, char separateur, char milieu, uint64_t adresse,
                     const uint8_t* donnees, size_t longueur, unsigned octetsParLigne,
                     char* destination);
// Option -d of tablens: afficherSecteurs prints only while it is set.
extern bool vidageSecteurs;
bool afficherSecteurs(const uint8_t* donnees, size_t nombre, uint64_t adresse);
