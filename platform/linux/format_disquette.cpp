#include "platform/linux/format_disquette.h"

#include "core/arbre_appel.h"

int32_t codeFormatDisquette(uint64_t secteurs, int32_t defaut) {
  TRACER_APPEL();
  struct T_Format {
    uint64_t secteurs;
    uint8_t code;
  };
  static const T_Format FORMATS[] = {{320, 0xFE},  {360, 0xFC},  {640, 0xFF},  {720, 0xFD},
                                     {1440, 0xF9}, {2400, 0xF9}, {2880, 0xF0}, {5760, 0xF0}};
  for (const T_Format& f : FORMATS) {
    if (f.secteurs == secteurs) return static_cast<int8_t>(f.code);
  }
  return defaut;
}
