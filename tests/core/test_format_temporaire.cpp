#include <gtest/gtest.h>

#include "core/format.h"

TEST(Format, CompteSansTampon) { EXPECT_EQ(formaterMessage(nullptr, 0, "abcdef"), 6); }
