#include "partshell/shell.h"

namespace partshell {
namespace {

constexpr std::size_t kCommandCapacity = 256;

}  // namespace

void Shell::AddHistory(const std::string& line) {
  if (history_.size() == static_cast<std::size_t>(kHistoryLines)) history_.erase(history_.begin());
  history_.push_back(line);
}

void Shell::EraseShownLine(const std::string& line, std::size_t cursor) {
  std::string text = line.substr(cursor);
  for (std::size_t i = 0; i < line.size(); ++i) text += "\b \b";
  ShellWrite(text);
}

int Shell::ReadCommandLine() {
  const std::string prompt = BuildPrompt();
  std::size_t historyPos = history_.size();
  std::string line;
  std::size_t cursor = 0;
  auto showPrompt = [&] { ShellWrite(prompt + "> "); };

  showPrompt();
  for (;;) {
    int key = ReadKey();
    if (StopCode() != 0) return 1;
    if (inputEnded_) {
      // The end of piped input accepts what was typed so far, then ends.
      if (line.empty()) return 1;
      key = 13;
      cursor = line.size();
    }
    switch (key) {
      case 1:  // Home
        ShellWrite(std::string(cursor, '\b'));
        cursor = 0;
        break;
      case 3:  // Ctrl-C abandons the line
        ShellWrite("\n");
        line.clear();
        cursor = 0;
        showPrompt();
        break;
      case 4:  // Right
        if (cursor < line.size()) ShellWrite(std::string(1, line[cursor++]));
        break;
      case 5:  // Up
        if (historyPos > 0) {
          EraseShownLine(line, cursor);
          line = history_[--historyPos];
          ShellWrite(line);
          cursor = line.size();
        }
        break;
      case 6:  // End
        ShellWrite(line.substr(cursor));
        cursor = line.size();
        break;
      case 7:  // Delete: step over the character, then rub it out
        if (cursor < line.size()) {
          ShellWrite(std::string(1, line[cursor++]));
          key = 8;
        }
        break;
      case 19:  // Left
        if (cursor > 0) {
          ShellWrite("\b");
          --cursor;
        }
        break;
      case 24:  // Down
        if (historyPos < history_.size()) {
          EraseShownLine(line, cursor);
          ++historyPos;
          line = historyPos < history_.size() ? history_[historyPos] : std::string();
          ShellWrite(line);
          cursor = line.size();
        }
        break;
      case 27:  // Esc clears the line
        ShellWrite("\r" + prompt + "> " + std::string(50, ' ') + std::string(50, '\b'));
        line.clear();
        cursor = 0;
        break;
      case 13: {
        if (!line.empty()) {
          AddHistory(line);
          // A line kept but not run is the newest entry at once.
          historyPos = history_.size();
        }
        if (StopCode() != 0) return 1;
        if (cursor != 0) {
          std::string copy = line;
          if (ParseCommandLine(copy, kCommandCapacity) > 0) return 1;
        }
        if (inputEnded_) return 1;
        ShellWrite("\n");
        line.clear();
        cursor = 0;
        showPrompt();
        break;
      }
      default:
        if (key >= 32 && key <= 126) {
          if (key == ' ' && cursor == 0) break;
          if (line.size() >= kEditorLineMax) {
            console_.Beep();
            break;
          }
          line.insert(line.begin() + static_cast<std::ptrdiff_t>(cursor), static_cast<char>(key));
          if (cursor + 1 == line.size()) {
            ShellWrite(std::string(1, static_cast<char>(key)));
          } else {
            ShellWrite(line.substr(cursor) + std::string(line.size() - cursor - 1, '\b'));
          }
          ++cursor;
        } else if (key != 8) {
          console_.Beep();
        }
        break;
    }
    if (key == 8 && cursor > 0) {
      if (cursor == line.size()) {
        line.pop_back();
        --cursor;
        ShellWrite("\b \b");
      } else {
        line.erase(cursor - 1, 1);
        --cursor;
        ShellWrite("\b" + line.substr(cursor) + " " + std::string(line.size() - cursor + 1, '\b'));
      }
    }
    if (StopCode() != 0) return 1;
  }
}

}  // namespace partshell
