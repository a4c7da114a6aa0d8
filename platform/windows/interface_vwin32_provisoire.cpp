// PROVISIONAL stand-in of the VWIN32 gateway (see the header): every call is
// refused with carry set and AX = 1 (function number invalid).
#include "platform/windows/interface_vwin32_provisoire.h"

#include "core/arbre_appel.h"

void appelerInterruption(int, DIOC_REGISTERS* registres) {
  TRACER_APPEL();
  registres->reg_EAX = 1;
  registres->reg_Flags |= DRAPEAU_RETENUE;
}

uint32_t adresseLineaire(const void* adresse) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(adresse));
}
