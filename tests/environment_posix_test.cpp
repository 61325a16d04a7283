#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/environment.h"

namespace platform {
namespace {

TEST(PosixEnvironment, FallsBackToTmpdirThenTmp) {
  Environment& env = SystemEnvironment();
  setenv("TMPDIR", "/var/spool/x", 1);
  EXPECT_EQ(env.FallbackTempDirectory(), "/var/spool/x");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(env.FallbackTempDirectory(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(env.FallbackTempDirectory(), "/tmp/");
  setenv("STAMPBAK_TEST_VALUE", "a b", 1);
  EXPECT_EQ(env.Variable("STAMPBAK_TEST_VALUE"), "a b");
  EXPECT_EQ(env.Variable("STAMPBAK_TEST_ABSENT"), "");
}

}  // namespace
}  // namespace platform
