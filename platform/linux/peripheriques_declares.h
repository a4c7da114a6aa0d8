// Devices that the system's configuration declares as mount sources, mounted
// or not: /etc/fstab (directly or by LABEL= and UUID= through the blkid
// cache), the automounter's maps, and every partition when FUSE exists.
#pragma once
#include <cstdint>

class CacheBlkid;
class StringArray;

// Number of declared devices; the list is built by the first call.
uint32_t listerPeripheriquesDeclares();
// Entry of the list (built when needed), or null when indice is past it.
const char* peripheriqueDeclare(uint32_t indice);
// Empties the list; the next query builds it again.
void viderPeripheriquesDeclares();

// The steps of the build, each appending canonical device paths.
void declarerDepuisFstab(const CacheBlkid& cache, StringArray& liste);
void declarerDepuisAutomontage(StringArray& liste);
