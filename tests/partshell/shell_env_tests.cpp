// The shell's local environment block.
#include <gtest/gtest.h>

#include "partshell/local_environment.h"

namespace partshell::test {
namespace {

TEST(ShellEnvironment, NamesAreUpperCasedAndTrimmedValuesKeepTheirCase) {
  LocalEnvironment env;
  ASSERT_EQ(env.Init({}), 0);
  EXPECT_EQ(env.Put("  pathx \t=  a b \r\n"), 0);
  EXPECT_EQ(env.Get("PATHX").value_or("?"), "a b");
  EXPECT_EQ(env.Get("pathx").value_or("?"), "a b");
  EXPECT_EQ(env.List(), std::vector<std::string>{"PATHX=a b"});
  EXPECT_EQ(env.Put("X=1=2"), 0);
  EXPECT_EQ(env.Get("x").value_or("?"), "1=2");
}

TEST(ShellEnvironment, ReplacingMovesTheEntryToTheEndAndEmptyValuesRemove) {
  LocalEnvironment env;
  env.Init({"A=1", "B=2", "C=3"});
  env.Put("a=9");
  EXPECT_EQ(env.List(), (std::vector<std::string>{"B=2", "C=3", "A=9"}));
  env.Put("B=");
  env.Put("C");
  EXPECT_EQ(env.List(), std::vector<std::string>{"A=9"});
  // A name that is the start of another does not disturb it.
  env.Put("AB=x");
  env.Put("A=");
  EXPECT_EQ(env.List(), std::vector<std::string>{"AB=x"});
}

TEST(ShellEnvironment, FullBlockRefusesAndLeavesTheVariableRemoved) {
  LocalEnvironment env;
  env.Init({});
  const std::string chunk(1000, 'v');
  int i = 0;
  while (env.Put("N" + std::to_string(i) + "=" + chunk) == 0) ++i;
  EXPECT_EQ(i, 20);  // 20 entries of 1,004 bytes fit in 20,480
  EXPECT_LE(env.BytesInUse(), LocalEnvironment::kBlockBytes);
  EXPECT_EQ(env.Put("X=1"), 0);
  // Replacing a variable with a value that no longer fits drops it.
  EXPECT_EQ(env.Put("X=" + chunk.substr(0, 500)), -1);
  EXPECT_FALSE(env.Get("X").has_value());
  EXPECT_EQ(env.Put("SMALL=1"), 0);
}

TEST(ShellEnvironment, InitStopsAtTheFirstEntryThatDoesNotFit) {
  LocalEnvironment env;
  std::vector<std::string> process;
  for (int i = 0; i < 30; ++i) process.push_back("V" + std::to_string(i) + "=" + std::string(1000, 'x'));
  EXPECT_EQ(env.Init(process), 738);
  EXPECT_TRUE(env.Get("V19").has_value());
  EXPECT_FALSE(env.Get("V20").has_value());
  EXPECT_FALSE(env.Get("V21").has_value());
  EXPECT_EQ(env.Init({"LATE=1"}), 0);  // a second call does nothing
  EXPECT_FALSE(env.Get("LATE").has_value());
}

TEST(ShellEnvironment, BeforeCreationNothingIsStored) {
  LocalEnvironment env;
  EXPECT_EQ(env.Put("A=1"), -2);
  EXPECT_FALSE(env.Get("A").has_value());
}

TEST(ShellEnvironmentDeathTest, GlobalUseBeforeCreationEndsWithExitCode1) {
  ShellEnvironment().Free();
  EXPECT_EXIT(EnvGetValue("X"), ::testing::ExitedWithCode(1),
              "Must call EnvInitLocalEnvironment\\(\\) before using EnvGetValue\\(\\)");
  EXPECT_EXIT(EnvPutValue("X=1"), ::testing::ExitedWithCode(1),
              "Must call EnvInitLocalEnvironment\\(\\) before using EnvPutValue\\(\\)");
}

}  // namespace
}  // namespace partshell::test
