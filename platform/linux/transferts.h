// Raw sector and byte transfers on a Linux descriptor. The limits
// (initialiserTransferts, tailleMaxTransfert, nombreMaxSecteurs,
// tailleMaxSecteur) are declared for the storage model in storage/plateforme.h.
// Failures are a false result with the reason in errno.
#pragma once
#include <cstdint>

#include "storage/plateforme.h"

// Exit function registered by initialiserTransferts; nothing to free on Linux.
void libererTamponTransfert();

// Whole-count loops: EINTR and EAGAIN are retried, end of file stops with
// success and *fait < nombre. fait may be null.
bool lireTout(int fd, uint64_t nombre, void* tampon, uint64_t* fait);
bool ecrireTout(int fd, uint64_t nombre, const void* donnees, uint64_t* fait);

// Transfer of nombre sectors from sector premier; true only when every byte
// moved. A short transfer (end of device) fails with errno 0.
bool lireSecteursPosition(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                          void* tampon);
bool ecrireSecteursPosition(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                            const void* donnees);

// Disk reads print the -d trace and dump; a failed one-sector read of the
// disk, device and untraced forms leaves that sector zeroed.
bool lireSecteursDisque(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                        void* tampon);
bool ecrireSecteursDisque(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                          const void* donnees);
bool lireSecteursPeripherique(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                              void* tampon);
bool ecrireSecteursPeripherique(int fd, uint64_t premier, uint32_t nombre,
                                uint32_t tailleSecteur, const void* donnees);
bool lireSecteursSansTrace(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                           void* tampon);

// Floppies are not reached through the BIOS on Linux: these always fail.
void reinitialiserLecteur(uint8_t lecteur);
bool lireSecteursDisquette(uint8_t lecteur, uint16_t cylindre, uint8_t tete, uint16_t secteur,
                           uint32_t nombre, uint32_t tailleSecteur, void* tampon);
bool ecrireSecteursDisquette(uint8_t lecteur, uint16_t cylindre, uint8_t tete, uint16_t secteur,
                             uint32_t nombre, uint32_t tailleSecteur, const void* donnees);
