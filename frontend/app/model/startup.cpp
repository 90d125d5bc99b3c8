#include "startup.h"

#include <array>
#include <cctype>

#include "common/text.h"

namespace zolp {
namespace {

struct CommandWordRow {
  std::string_view word;
  bool CommandWords::*flag;
};

constexpr std::array<CommandWordRow, 6> kCommandWords{{
    {"verbose", &CommandWords::verbose},
    {"uptest", &CommandWords::upTest},
    {"updebug", &CommandWords::upDebug},
    {"debug", &CommandWords::debug},
    {"verify", &CommandWords::verify},
    {"noverify", &CommandWords::noVerify},
}};

struct TemplateMarker {
  std::string_view line;
  int templateId;
};

constexpr std::array<TemplateMarker, 3> kTemplateMarkers{{
    {"[TIRANDOL]", kTemplateTirandol},
    {"[VORTALIS]", kTemplateVortalis},
    {"[Disk1]", kTemplateDisk1},
}};

constexpr std::string_view kWordSeparators = " -/\n\t";

}  // namespace

CommandWords ParseCommandWords(std::string_view tail) {
  CommandWords words;
  std::size_t pos = 0;
  while (pos < tail.size()) {
    pos = tail.find_first_not_of(kWordSeparators, pos);
    if (pos == std::string_view::npos) break;
    std::size_t end = tail.find_first_of(kWordSeparators, pos);
    if (end == std::string_view::npos) end = tail.size();
    std::string_view word = tail.substr(pos, end - pos);
    for (const CommandWordRow& row : kCommandWords) {
      if (common::EqualsIgnoreCase(word, row.word)) words.*row.flag = true;
    }
    pos = end;
  }
  return words;
}

std::string_view CommandTail(std::string_view line) {
  std::size_t pos = 0;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos < line.size() && line[pos] == '"') {
    std::size_t close = line.find('"', pos + 1);
    pos = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
  }
  return line.substr(pos);
}

int ChooseMainTemplate(const PackageLineTest& hasLine) {
  for (const TemplateMarker& marker : kTemplateMarkers) {
    if (hasLine(marker.line)) return marker.templateId;
  }
  return kTemplateStandard;
}

char ProgramDriveOf(std::string_view modulePath) {
  if (modulePath.empty()) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(modulePath.front())));
}

std::string_view ProgramDirectoryOf(std::string_view modulePath) {
  std::size_t slash = modulePath.find_last_of("\\/");
  if (slash == std::string_view::npos) return {};
  // "C:\ZOLP.exe" keeps its root: "C:" alone would name the drive's current directory.
  if (slash == 2 && modulePath[1] == ':') return modulePath.substr(0, 3);
  return modulePath.substr(0, slash);
}

}  // namespace zolp
