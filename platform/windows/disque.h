// Windows disk geometry: the answers of the drive-geometry control codes,
// read field by field at their published offsets, and the record that
// Disque::creer builds from them. Disque::creer and Disque_Etendu are
// declared in storage/disque.h.
#pragma once
#include <windows.h>

#include <cstdint>

#include "storage/disque.h"

const DWORD IOCTL_GEOMETRIE = 0x70000;               // IOCTL_DISK_GET_DRIVE_GEOMETRY
const DWORD IOCTL_GEOMETRIE_EX = 0x700A0;            // IOCTL_DISK_GET_DRIVE_GEOMETRY_EX
const DWORD IOCTL_MISE_A_JOUR_PROPRIETES = 0x70140;  // IOCTL_DISK_UPDATE_PROPERTIES

// Detection types of the geometry-ex answer.
const uint32_t DETECTION_AUCUNE = 0;
const uint32_t DETECTION_INT13 = 1;
const uint32_t DETECTION_EXINT13 = 2;

// The 24-byte DISK_GEOMETRY, media type left out.
struct T_GeometrieSysteme {
  uint64_t cylindres;
  uint32_t tetes;  // tracks per cylinder
  uint32_t secteurs;
  uint32_t octetsParSecteur;
};

// The geometry and the size: the first 32 bytes of a geometry-ex answer.
const uint64_t GEOMETRIE_EX_MINIMUM = 32;

// What a geometry-ex answer holds, bounded by the bytes it returned.
struct T_ReponseGeometrieEx {
  bool geometrieLue;   // at least the geometry and the size
  bool detectionLue;   // the partition and detection records hold together
  T_GeometrieSysteme geometrie;
  uint64_t tailleDisque;  // bytes
  uint32_t detection;     // DETECTION_*; DETECTION_AUCUNE when its fields lie beyond the answer
  uint32_t int13MaxCylindres;
  uint16_t int13Secteurs, int13MaxTetes;
  uint16_t exTailleTampon;
  uint32_t exCylindres, exTetes, exSecteurs;
  uint64_t exNombreSecteurs;
  uint16_t exTailleSecteur;
};

T_GeometrieSysteme lireGeometrieSysteme(const uint8_t* geometrie);
// rendus is the count the call returned (0 when it failed), taille the
// buffer's size.
T_ReponseGeometrieEx analyserGeometrieEx(const uint8_t* reponse, uint64_t rendus, uint64_t taille);
// The two control codes on a drive's handle; false when the call failed or
// answered too little.
bool demanderGeometrieEx(HANDLE handle, uint8_t* tampon, DWORD taille, T_ReponseGeometrieEx* reponse);
bool demanderGeometrie(HANDLE handle, T_GeometrieSysteme* geometrie);
// The record from the answers that came (null: that call failed), the CHS
// bounds applied; true when the sector size and the size are usable.
bool calculerGeometrieDisque(const T_ReponseGeometrieEx* ex, const T_GeometrieSysteme* simple,
                             T_InfoDisque* info);
// An NT disk's record (zeroed by the caller) from its handle; true when it
// is usable and the transfer buffer suits its sectors.
bool lireGeometrieDisque(HANDLE handle, T_InfoDisque* info);
