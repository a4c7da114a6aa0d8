// Test runner: records itself like a program's main so the ring has a base.
#include <gtest/gtest.h>

#include "core/arbre_appel.h"

int main(int argc, char** argv) {
  TRACER_APPEL();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
