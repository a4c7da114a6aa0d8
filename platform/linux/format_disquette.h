// Media descriptor byte of the standard floppy formats.
#pragma once
#include <cstdint>

// Descriptor for a floppy of that many sectors, sign-extended (0xFE is -2);
// defaut for any other size.
int32_t codeFormatDisquette(uint64_t secteurs, int32_t defaut);
