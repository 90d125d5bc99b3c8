// The line editor on a real pseudo-terminal: the key sequences terminals
// send, the echo the editor draws, and the terminal put back afterwards.
#include "e2e_support.h"

namespace partshell::e2e {
namespace {

const std::string kPrompt = "SYS:[UP,1,DE]:\\> ";
const std::string kUp = "\x1b[A", kDown = "\x1b[B", kRight = "\x1b[C", kLeft = "\x1b[D";
const std::string kHome = "\x1b[H", kEnd = "\x1bOF", kDelete = "\x1b[3~", kHomeTilde = "\x1b[1~";

class ShellPty : public ::testing::Test {
 protected:
  void SetUp() override { ws_.MakeDisk(); }
  Workspace ws_;
};

TEST_F(ShellPty, InsertAndDeleteInTheMiddleOfALine) {
  PtySession pty(ws_, {"/UP"});
  ASSERT_TRUE(pty.WaitFor(kPrompt)) << pty.screen();
  pty.Send("ECHO acX");
  pty.Send(kLeft);
  pty.Send(kLeft);
  pty.Send("b");          // ECHO abcX, cursor after b
  pty.Send(kEnd);
  pty.Send("\x7f");       // Backspace key removes X
  pty.Send(kHomeTilde);
  pty.Send(kRight);
  pty.Send(kDelete);      // removes C of ECHO ...
  pty.Send("C");          // ... and puts it back
  pty.Send("\r");
  ASSERT_TRUE(pty.WaitFor("abc\r\n" + kPrompt)) << pty.screen();
  pty.Send("QUIT 4\r");
  EXPECT_EQ(pty.Wait(), 4);
}

TEST_F(ShellPty, HistoryUpAndDownPastBothEnds) {
  PtySession pty(ws_, {"/UP"});
  ASSERT_TRUE(pty.WaitFor(kPrompt));
  pty.Send("ECHO first\r");
  ASSERT_TRUE(pty.WaitFor("first\r\n"));
  pty.Send("ECHO second\r");
  ASSERT_TRUE(pty.WaitFor("second\r\n"));
  pty.ClearScreen();
  for (int i = 0; i < 4; ++i) pty.Send(kUp);  // past the oldest
  pty.Send(kDown);
  pty.Send("\r");
  ASSERT_TRUE(pty.WaitFor("\r\nsecond\r\n")) << pty.screen();
  pty.ClearScreen();
  pty.Send(kUp);
  for (int i = 0; i < 3; ++i) pty.Send(kDown);  // past the newest: empty line
  pty.Send("ECHO third\r");
  ASSERT_TRUE(pty.WaitFor("\r\nthird\r\n")) << pty.screen();
  pty.Send("QUIT\r");
  EXPECT_EQ(pty.Wait(), 0);
}

TEST_F(ShellPty, EscClearsCtrlCAbandonsAndHomeEnterOnlyStores) {
  PtySession pty(ws_, {"/UP"});
  ASSERT_TRUE(pty.WaitFor(kPrompt));
  pty.Send("ECHO cleared");
  pty.Send("\x1b");
  pty.Send("ECHO abandoned");
  pty.Send("\x03");
  pty.Send("ECHO stored");
  pty.Send(kHome);
  pty.Send("\r");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  pty.Pump(50);
  EXPECT_EQ(pty.screen().find("\r\ncleared\r\n"), std::string::npos);
  EXPECT_EQ(pty.screen().find("\r\nabandoned\r\n"), std::string::npos);
  EXPECT_EQ(pty.screen().find("\r\nstored\r\n"), std::string::npos);
  pty.Send(kUp);
  pty.Send("\r");
  ASSERT_TRUE(pty.WaitFor("\r\nstored\r\n")) << pty.screen();
  pty.Send(kUp);
  pty.Send(kUp);
  pty.Send("\r");  // the abandoned and cleared lines never reached the history
  ASSERT_TRUE(pty.WaitFor("stored\r\n" + kPrompt + "ECHO stored")) << pty.screen();
  pty.Send("QUIT\r");
  EXPECT_EQ(pty.Wait(), 0);
}

TEST_F(ShellPty, InterruptSignalActsAsCtrlCAndTerminalIsRestored) {
  PtySession pty(ws_, {"/UP"});
  ASSERT_TRUE(pty.WaitFor(kPrompt));
  termios raw = pty.CurrentMode();
  EXPECT_EQ(raw.c_lflag & (ICANON | ECHO), 0u);
  pty.Send("ECHO interrupted");
  kill(pty.pid(), SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  pty.Send("ECHO after\r");
  ASSERT_TRUE(pty.WaitFor("ECHO interrupted\r\n" + kPrompt + "ECHO after\r\nafter\r\n")) << pty.screen();
  pty.Send("QUIT\r");
  EXPECT_EQ(pty.Wait(), 0);
  termios after = pty.CurrentMode();
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), pty.InitialMode().c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_EQ(after.c_iflag & (IXON | ICRNL), pty.InitialMode().c_iflag & (IXON | ICRNL));
}

TEST_F(ShellPty, TerminateSignalRestoresTheTerminalAndEndsWith754) {
  PtySession pty(ws_, {"/UP"});
  ASSERT_TRUE(pty.WaitFor(kPrompt));
  kill(pty.pid(), SIGTERM);
  EXPECT_EQ(pty.Wait(), 754 & 0xFF);
  termios after = pty.CurrentMode();
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), pty.InitialMode().c_lflag & (ICANON | ECHO));
  EXPECT_NE(ws_.Read("torbel.log").find("Error Level: 754 - PROGRAM_SHUTDOWN_EVENT - {internal}"), std::string::npos);
}

TEST_F(ShellPty, BatchEchoIsBrightGreenOnATerminal) {
  ws_.Write("C.F16", "ECHO shown\n");
  PtySession pty(ws_, {"/UP", "CALL", "C"});
  EXPECT_EQ(pty.Wait(), 0);
  EXPECT_NE(pty.screen().find("\x1b[0;92m" + kPrompt + "ECHO shown\r\n\x1b[0mshown"), std::string::npos)
      << pty.screen();
}

}  // namespace
}  // namespace partshell::e2e

namespace partshell::e2e {
namespace {

TEST_F(ShellPty, PauseStoresTheKeyCodeOfACursorKey) {
  PtySession pty(ws_, {"/UP"});
  ASSERT_TRUE(pty.WaitFor(kPrompt));
  pty.Send("PAUSE\r");
  ASSERT_TRUE(pty.WaitFor("Press any Key to continue . . . "));
  pty.Send(kUp);
  pty.Send("ECHO key %UKEY%\r");
  ASSERT_TRUE(pty.WaitFor("\r\nkey 5\r\n")) << pty.screen();
  pty.Send("QUIT\r");
  EXPECT_EQ(pty.Wait(), 0);
}

}  // namespace
}  // namespace partshell::e2e

namespace partshell::e2e {
namespace {

// Under a job-control shell a stop request hands the terminal back while the
// shell is stopped. Here the session has no such shell (the system drops
// stop requests for it), so the shell must simply go on in raw mode.
TEST_F(ShellPty, StopRequestWithoutJobControlLeavesTheShellWorking) {
  PtySession pty(ws_, {"/UP"});
  ASSERT_TRUE(pty.WaitFor(kPrompt));
  kill(pty.pid(), SIGTSTP);
  kill(pty.pid(), SIGCONT);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(pty.CurrentMode().c_lflag & ICANON, 0u);
  pty.Send("QUIT 2\r");
  EXPECT_EQ(pty.Wait(), 2);
}

}  // namespace
}  // namespace partshell::e2e
