// Names and families of MBR partition type bytes.
#pragma once
#include <cstdint>

// Newly allocated 21-byte text; the caller frees it.
char* nomTypePartition(uint8_t type);

bool estTypeFATOuCache(uint8_t type);
bool estTypeFAT(uint8_t type);
bool estTypeNTFS(uint8_t type);
bool estTypeLinux(uint8_t type);
bool estTypeEtendue(uint8_t type);
bool estTypeEtendueDOS(uint8_t type);
