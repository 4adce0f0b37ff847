#include <gtest/gtest.h>

TEST(Build, SanitizersAndTestsRun) { EXPECT_EQ(1 + 1, 2); }
