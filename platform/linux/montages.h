// Mount tables (read afresh on every call) and path canonicalisation.
// Returned texts come from the checked allocator; the caller frees them.
#pragma once
#include <cstdio>

class StringArray;

// Canonical form of a path; when the path itself cannot be resolved, only
// its direct parent is, and failing that an unchanged copy is returned.
char* cheminCanonique(const char* chemin);
// canonicalize_file_name under the checked allocator; null when it fails.
char* cheminResolu(const char* chemin);
// Cuts trailing '/' characters, keeping the first character.
void retirerBarresFinales(char* chemin);

// The first of /etc/mtab, /var/run/mtab, /proc/mounts that opens, or null.
FILE* ouvrirTableMontage();
// Canonical device of every mount entry, duplicates kept.
void listerPeripheriquesMontes(StringArray& liste);
// Distinct canonical mount points, "/" first.
void listerPointsMontage(StringArray& liste);
// True when candidat is a mount point holding chemin that is longer than
// *meilleur, which then becomes a copy of it.
bool correspondanceChemin(const char* chemin, const char* candidat, char** meilleur);
// Local device mounted on the mount point that holds chemin, or null.
char* pointMontage(const char* chemin);
