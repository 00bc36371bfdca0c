// The test helpers are used by every other test, so their own behaviour is checked on real
// folders, environment variables and child processes.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/test_support/test_support.h"

namespace flashwright::test {
namespace {

using ::testing::HasSubstr;

TEST(TempDirTest, MakesAFreshFolderUnderTmpdirAndRemovesItWithItsContents) {
  std::string kept;
  {
    TempDir base;
    ScopedEnv tmpdir("TMPDIR", base.path().c_str());
    std::string inner_path;
    {
      TempDir inner;
      inner_path = inner.path();
      EXPECT_EQ(std::filesystem::path(inner_path).parent_path(), base.path());
      ASSERT_TRUE(WriteFile(inner.Join("a.txt"), "x"));
      std::filesystem::create_directories(inner.Join("sub/deeper"));
      ASSERT_TRUE(WriteFile(inner.Join("sub/deeper/b.bin"), std::string("\0\1", 2)));
      TempDir other;
      EXPECT_NE(other.path(), inner.path());
    }
    EXPECT_FALSE(std::filesystem::exists(inner_path));
    kept = base.path();
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST(ScopedEnvTest, SetsUnsetsAndRestores) {
  setenv("FW_TEST_SUPPORT_VAR", "before", 1);
  {
    ScopedEnv env("FW_TEST_SUPPORT_VAR", "inside");
    EXPECT_STREQ(std::getenv("FW_TEST_SUPPORT_VAR"), "inside");
    {
      ScopedEnv gone("FW_TEST_SUPPORT_VAR", nullptr);
      EXPECT_EQ(std::getenv("FW_TEST_SUPPORT_VAR"), nullptr);
    }
    EXPECT_STREQ(std::getenv("FW_TEST_SUPPORT_VAR"), "inside");
  }
  EXPECT_STREQ(std::getenv("FW_TEST_SUPPORT_VAR"), "before");
  unsetenv("FW_TEST_SUPPORT_VAR");
  {
    ScopedEnv env("FW_TEST_SUPPORT_VAR", "new");
  }
  EXPECT_EQ(std::getenv("FW_TEST_SUPPORT_VAR"), nullptr);
}

TEST(ScopedPortDirTest, PointsThePortVariableAtAFolderForTheScope) {
  ScopedEnv clear("FLASHWRIGHT_PORT_DIR", nullptr);
  std::string path;
  {
    ScopedPortDir ports;
    path = ports.path();
    ASSERT_NE(std::getenv("FLASHWRIGHT_PORT_DIR"), nullptr);
    EXPECT_EQ(path, std::getenv("FLASHWRIGHT_PORT_DIR"));
    EXPECT_TRUE(std::filesystem::is_directory(path));
  }
  EXPECT_EQ(std::getenv("FLASHWRIGHT_PORT_DIR"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FileIoTest, RoundTripsBinaryContentAndReportsFailures) {
  TempDir dir;
  const std::string contents("line\r\n\0\xFF", 8);
  ASSERT_TRUE(WriteFile(dir.Join("f"), contents));
  EXPECT_EQ(ReadFile(dir.Join("f")), contents);
  ASSERT_TRUE(WriteFile(dir.Join("f"), "short"));
  EXPECT_EQ(ReadFile(dir.Join("f")), "short");
  EXPECT_EQ(ReadFile(dir.Join("missing")), "");
  EXPECT_FALSE(WriteFile(dir.Join("no/such/folder/f"), "x"));
}

TEST(RunProgramTest, CollectsBothStreamsAndTheExitStatus) {
  // More than a pipe's capacity on both streams: reading them one after the other would hang.
  const ProgramResult result = RunProgram(
      {"/bin/sh", "-c",
       "i=0; while [ $i -lt 3000 ]; do echo out$i; echo err$i >&2; i=$((i+1)); done; exit 3"});
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_THAT(result.out, HasSubstr("out0\nout1\n"));
  EXPECT_THAT(result.out, HasSubstr("out2999\n"));
  EXPECT_THAT(result.err, HasSubstr("err2999\n"));
  EXPECT_EQ(result.out.find("err"), std::string::npos);
}

TEST(RunProgramTest, PassesExtraEnvironmentOverridingInheritedValues) {
  ScopedEnv inherited("FW_INHERITED", "parent");
  ScopedEnv replaced("FW_REPLACED", "parent");
  const ProgramResult result =
      RunProgram({"/bin/sh", "-c", "echo \"$FW_INHERITED $FW_REPLACED $FW_EXTRA\""},
                 {"FW_REPLACED=child", "FW_EXTRA=more"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "parent child more\n");
}

TEST(RunProgramTest, MissingProgramAndTimeOutGiveMinusOne) {
  const ProgramResult missing = RunProgram({"/no/such/program"});
  EXPECT_EQ(missing.exit_status, -1);
  EXPECT_EQ(RunProgram({}).exit_status, -1);

  const auto start = std::chrono::steady_clock::now();
  // The grandchild sleep holds the pipes open too; the time-out kills the whole group.
  const ProgramResult slow = RunProgram({"/bin/sh", "-c", "echo started; sleep 30 & sleep 30"}, {}, 1);
  EXPECT_EQ(slow.exit_status, -1);
  EXPECT_EQ(slow.out, "started\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  const ProgramResult killed = RunProgram({"/bin/sh", "-c", "kill -9 $$"});
  EXPECT_EQ(killed.exit_status, -1);
}

TEST(RunningProgramTest, ReadsLinesAsTheyComeAndStopsOnASignal) {
  RunningProgram program;
  ASSERT_TRUE(program.Start(
      {"/bin/sh", "-c", "trap 'echo bye; exit 7' TERM; echo ready; printf 'two\\r\\n'; "
                        "while true; do sleep 0.05; done"}));
  EXPECT_TRUE(program.Running());
  std::string line;
  ASSERT_TRUE(program.ReadLine(line, 10000));
  EXPECT_EQ(line, "ready");
  ASSERT_TRUE(program.ReadLine(line, 10000));
  EXPECT_EQ(line, "two");
  EXPECT_FALSE(program.ReadLine(line, 100));  // nothing more yet
  ASSERT_TRUE(program.Signal(SIGTERM));
  const ProgramResult result = program.Wait(30);
  EXPECT_EQ(result.exit_status, 7);
  EXPECT_EQ(result.out, "ready\ntwo\r\nbye\n");
  EXPECT_FALSE(program.Running());
  EXPECT_FALSE(program.Signal(SIGTERM));
}

TEST(RunningProgramTest, ReadLineEndsWithTheOutput) {
  RunningProgram program;
  ASSERT_TRUE(program.Start({"/bin/sh", "-c", "printf 'no line end'"}));
  std::string line;
  EXPECT_FALSE(program.ReadLine(line, 10000));
  EXPECT_EQ(program.Wait(30).out, "no line end");
}

TEST(RunningProgramTest, DestructionKillsAProgramStillRunning) {
  TempDir dir;
  const std::string pid_file = dir.Join("pid");
  {
    RunningProgram program;
    ASSERT_TRUE(program.Start({"/bin/sh", "-c", "echo $$ > " + pid_file + "; echo go; sleep 60"}));
    std::string line;
    ASSERT_TRUE(program.ReadLine(line, 10000));
  }
  const int pid = std::atoi(ReadFile(pid_file).c_str());
  ASSERT_GT(pid, 0);
  // Reaped by the destructor, so the process is gone (not even a zombie).
  EXPECT_NE(kill(pid, 0), 0);
}

}  // namespace
}  // namespace flashwright::test
