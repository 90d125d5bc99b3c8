// The line editor, driven key by key through the scripted console.
#include <gtest/gtest.h>

#include "shell_fixture.h"

namespace partshell::test {
namespace {

constexpr int kHome = 0x47, kLeft = 0x4B, kRight = 0x4D, kUp = 0x48, kDown = 0x50, kEnd = 0x4F, kDelete = 0x53;
const std::string kPrompt = "SYS:[UP,1,DE]:\\> ";

class Editor : public ShellTest {
 protected:
  // Reads one line; returns the parsed line ("" when nothing ran).
  std::string ReadLine() {
    console_.output.clear();
    int r = shell_.ReadCommandLine();
    (void)r;
    return shell_.Tokens().empty() ? std::string() : shell_.LastCommandLine();
  }
  void Special(int scan) { console_.TypeSpecial(scan); }
};

TEST_F(Editor, TypingEchoesAndEnterParses) {
  console_.Type("ECHO hi\r");
  EXPECT_EQ(ReadLine(), "ECHO hi");
  EXPECT_EQ(console_.output, kPrompt + "ECHO hi");
}

TEST_F(Editor, InsertInTheMiddleRedrawsTheRestAndPutsTheCursorBack) {
  console_.Type("ECHO ac");
  Special(kLeft);
  console_.Type("b\r");
  EXPECT_EQ(ReadLine(), "ECHO abc");
  EXPECT_EQ(console_.output, kPrompt + "ECHO ac" + "\b" + "bc\b");
}

TEST_F(Editor, BackspaceAndDeleteInTheMiddle) {
  console_.Type("ECHO abXcd");
  Special(kLeft);
  Special(kLeft);
  console_.Type("\b\r");  // removes X
  EXPECT_EQ(ReadLine(), "ECHO abcd");
  EXPECT_EQ(console_.output, kPrompt + "ECHO abXcd\b\b" + "\bcd \b\b\b");

  console_.Type("ECHO abXcd");
  Special(kLeft);
  Special(kLeft);
  Special(kLeft);
  Special(kDelete);  // steps over X, then rubs it out
  console_.Type("\r");
  EXPECT_EQ(ReadLine(), "ECHO abcd");
  EXPECT_EQ(console_.output, kPrompt + "ECHO abXcd\b\b\b" + "X" + "\bcd \b\b\b");
}

TEST_F(Editor, BackspaceAtTheEndAndAtTheStart) {
  console_.Type("\b\bECHO xy\b\r");
  EXPECT_EQ(ReadLine(), "ECHO x");
  EXPECT_EQ(console_.output, kPrompt + "ECHO xy\b \b");
}

TEST_F(Editor, HomeThenEnterStoresTheLineWithoutRunningIt) {
  console_.Type("ECHO stored");
  Special(kHome);
  console_.Type("\r");
  Special(kUp);
  console_.Type("\r");
  EXPECT_EQ(ReadLine(), "ECHO stored");
  EXPECT_EQ(console_.output, kPrompt + "ECHO stored" + std::string(11, '\b') + "\n" + kPrompt + "ECHO stored");
}

TEST_F(Editor, HistoryUpAndDownPastBothEnds) {
  for (const char* line : {"ECHO one", "ECHO two", "ECHO three"}) {
    console_.Type(std::string(line) + "\r");
    ReadLine();
  }
  // Up four times stops at the oldest; Down past the newest gives an empty line.
  Special(kUp);
  Special(kUp);
  Special(kUp);
  Special(kUp);
  console_.Type("\r");
  EXPECT_EQ(ReadLine(), "ECHO one");
  // The history is now one, two, three, one.
  Special(kUp);
  Special(kUp);
  Special(kUp);
  Special(kDown);
  console_.Type("\r");
  EXPECT_EQ(ReadLine(), "ECHO three");
  Special(kUp);
  Special(kDown);
  Special(kDown);
  Special(kDown);
  console_.Type("ECHO fresh\r");
  EXPECT_EQ(ReadLine(), "ECHO fresh");
  // Erasing a shown line rubs out every character.
  std::string rubOut;
  for (int i = 0; i < 10; ++i) rubOut += "\b \b";
  EXPECT_EQ(console_.output, kPrompt + "ECHO three" + rubOut + "ECHO fresh");
}

TEST_F(Editor, TwentyOneLinesDropTheOldest) {
  for (int i = 0; i < 21; ++i) {
    console_.Type("ECHO " + std::to_string(i) + "\r");
    ReadLine();
  }
  for (int i = 0; i < 25; ++i) Special(kUp);
  console_.Type("\r");
  EXPECT_EQ(ReadLine(), "ECHO 1");
}

TEST_F(Editor, EscClearsAndCtrlCAbandons) {
  console_.Type("ECHO gone\x1b");
  console_.Type("ECHO kept\r");
  EXPECT_EQ(ReadLine(), "ECHO kept");
  EXPECT_EQ(console_.output,
            kPrompt + "ECHO gone\r" + kPrompt + std::string(50, ' ') + std::string(50, '\b') + "ECHO kept");

  console_.Type("ECHO abandoned\x03");
  Special(kUp);  // the abandoned line is not in the history
  console_.Type("\r");
  EXPECT_EQ(ReadLine(), "ECHO kept");
  EXPECT_EQ(console_.output, kPrompt + "ECHO abandoned\n" + kPrompt + "ECHO kept");
}

TEST_F(Editor, ControlCodesActLikeTheirKeys) {
  // Ctrl-A Home, Ctrl-D Right, Ctrl-F End, Ctrl-S Left, Ctrl-G Delete.
  console_.Type("CHO x\x01" "E\x06\x13\x07y\r");
  EXPECT_EQ(ReadLine(), "ECHO y");
  console_.Type("\x05\r");  // Ctrl-E is Up
  EXPECT_EQ(ReadLine(), "ECHO y");
  console_.Type("\x05\x18\x04" "ECHO z\r");  // Ctrl-X is Down, Ctrl-D at the end does nothing
  EXPECT_EQ(ReadLine(), "ECHO z");
}

TEST_F(Editor, LeadingBlankIgnoredOtherKeysBeep) {
  console_.Type("  ECHO\x02\x7f x\r");
  Special(0x3B);  // F1
  EXPECT_EQ(ReadLine(), "ECHO x");
  EXPECT_EQ(console_.beeps, 2);
}

TEST_F(Editor, LineLimitIs254Characters) {
  console_.Type("ECHO " + std::string(260, 'k') + "\r");
  EXPECT_EQ(ReadLine().size(), 254u);
  EXPECT_EQ(console_.beeps, 11);
}

TEST_F(Editor, EmptyAndCommentLinesPromptAgain) {
  console_.Type("\rREM nothing\rECHO now\r");
  EXPECT_EQ(ReadLine(), "ECHO now");
  EXPECT_EQ(console_.output, kPrompt + "\n" + kPrompt + "REM nothing\n" + kPrompt + "ECHO now");
}

TEST_F(Editor, StopCodeEndsTheEditorAndTheKeyReaderAnswersEsc) {
  console_.Type("ECHO x");
  Shell::StopCodeCell().store(754);
  EXPECT_EQ(shell_.ReadCommandLine(), 1);
  EXPECT_TRUE(shell_.Tokens().empty());
  EXPECT_EQ(shell_.ReadKey(), 27);
}

TEST_F(Editor, PagePromptAnswers) {
  for (auto [key, expected] : std::initializer_list<std::pair<char, int>>{
           {'q', 0}, {'X', 0}, {'\x1b', 0}, {'\x03', 0}, {' ', 1}, {'c', 1}}) {
    shell_.SetHexPageSize(20);
    console_.output.clear();
    console_.Type(std::string(1, key));
    EXPECT_EQ(shell_.PagePrompt(), expected) << int(key);
    EXPECT_EQ(console_.output, "-- more -- ?\r                 \r");
    EXPECT_EQ(shell_.HexPageSize(), key == 'c' ? 0 : 20);
  }
}

TEST_F(Editor, HexDumpLayoutAndPaging) {
  std::vector<std::uint8_t> data(513);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  console_.output.clear();
  EXPECT_EQ(shell_.HexDump(data.data(), data.size(), 0), 1);
  const std::string& out = console_.output;
  EXPECT_EQ(out.substr(0, 76),
            "00000000 00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  ................\n");
  EXPECT_NE(out.find("\n\n00000100 00 01"), std::string::npos);
  EXPECT_NE(out.find("00000040 40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F  @ABCDEFGHIJKLMNO\n"),
            std::string::npos);
  // One byte: its column, blanks for the other fifteen, the extra blank
  // after the eighth, then the character column.
  EXPECT_EQ(out.substr(out.size() - 76), "00000200 00 " + std::string(46, ' ') + " ." + std::string(15, ' ') + "\n");

  shell_.SetHexPageSize(4);
  console_.Type("q");
  console_.output.clear();
  EXPECT_EQ(shell_.HexDump(data.data(), data.size(), 0x1000), 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
}

}  // namespace
}  // namespace partshell::test
