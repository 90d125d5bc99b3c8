// The POSIX console's key translation, fed through a pipe (the way scripts
// drive the prompt).
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "partshell/posix_console.h"

namespace partshell::test {
namespace {

std::vector<int> KeysFrom(const std::string& bytes) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fds[1]);
  PosixConsole console(fds[0], STDOUT_FILENO);
  std::vector<int> keys;
  for (;;) {
    int c = console.ReadChar(100);
    if (c == kEndOfInput) break;
    if (c != kNoKeyYet) keys.push_back(c);
  }
  close(fds[0]);
  return keys;
}

TEST(ShellPosixConsole, TerminalSequencesBecomePcKeyCodes) {
  EXPECT_EQ(KeysFrom("\x1b[A\x1b[B\x1b[C\x1b[D"), (std::vector<int>{0xE0, 0x48, 0xE0, 0x50, 0xE0, 0x4D, 0xE0, 0x4B}));
  EXPECT_EQ(KeysFrom("\x1b[H\x1b[F\x1bOH\x1bOF\x1b[1~\x1b[4~\x1b[7~\x1b[8~"),
            (std::vector<int>{0xE0, 0x47, 0xE0, 0x4F, 0xE0, 0x47, 0xE0, 0x4F, 0xE0, 0x47, 0xE0, 0x4F, 0xE0, 0x47,
                              0xE0, 0x4F}));
  EXPECT_EQ(KeysFrom("\x1b[3~\x1b[1;5C"), (std::vector<int>{0xE0, 0x53, 0xE0, 0x4D}));
}

TEST(ShellPosixConsole, EnterBackspaceEscAndStrayBytes) {
  EXPECT_EQ(KeysFrom("a\nb\r\nc\rd"), (std::vector<int>{'a', 13, 'b', 13, 'c', 13, 'd'}));
  EXPECT_EQ(KeysFrom("x\x7f\x08"), (std::vector<int>{'x', 8, 8}));
  EXPECT_EQ(KeysFrom("\x1bq"), (std::vector<int>{27, 'q'}));
  EXPECT_EQ(KeysFrom("\x1b"), (std::vector<int>{27}));
  EXPECT_EQ(KeysFrom(std::string("\0z\xE0H", 4)), (std::vector<int>{'z', 0xFF, 'H'}));
  EXPECT_EQ(KeysFrom("\x1b[99~k"), (std::vector<int>{'k'}));  // a key the shell has no use for
}

TEST(ShellPosixConsole, PushedKeyComesFirstAndScriptsHoldNoTypeAhead) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "s", 1), 1);
  PosixConsole console(fds[0], STDOUT_FILENO);
  EXPECT_FALSE(console.KeyAvailable());
  console.PushKey(3);
  EXPECT_TRUE(console.KeyAvailable());
  EXPECT_EQ(console.ReadChar(100), 3);
  EXPECT_EQ(console.ReadChar(100), 's');
  EXPECT_EQ(console.ReadChar(10), kNoKeyYet);
  close(fds[1]);
  EXPECT_EQ(console.ReadChar(100), kEndOfInput);
  close(fds[0]);
}

}  // namespace
}  // namespace partshell::test
