// Test runner: records itself like a program's main, so main's return address
// is slot 0 and the base of the ring. The fatal-path handlers are not
// installed here: tests install them inside their child processes.
#include <gtest/gtest.h>

#include "core/arbre_appel.h"
#include "support/principal.h"

void* retourPrincipal;

int main(int argc, char** argv) {
  TRACER_APPEL();
  retourPrincipal = __builtin_return_address(0);
  marquerBaseArbreAppel();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
