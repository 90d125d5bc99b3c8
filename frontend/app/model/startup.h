// Start-up decisions of the front end that need no window: the command words
// and the choice of the main dialog's template.
#pragma once

#include <functional>
#include <string_view>

namespace zolp {

struct CommandWords {
  bool verbose = false;
  bool upTest = false;
  bool upDebug = false;
  bool debug = false;
  bool verify = false;  // accepted; verification is the default
  bool noVerify = false;
};

// Splits the text after the program name at blanks, tabs, line feeds, '-' and
// '/', so "/VERBOSE", "-verbose" and "verbose" count the same; unknown words
// are ignored.
CommandWords ParseCommandWords(std::string_view commandTail);

// The command line without the program name (quoted or bare), as the process
// received it.
std::string_view CommandTail(std::string_view commandLine);

// Answers whether DD.CFG holds a line whose key is this text (case-insensitive).
using PackageLineTest = std::function<bool(std::string_view key)>;

inline constexpr int kTemplateDisk1 = 101;
inline constexpr int kTemplateStandard = 102;
inline constexpr int kTemplateVortalis = 103;
inline constexpr int kTemplateTirandol = 104;

// The markers are tested in a fixed order and the first present one wins.
int ChooseMainTemplate(const PackageLineTest& hasLine);

// Upper-cased first character of the program's full path.
char ProgramDriveOf(std::string_view modulePath);

// The directory part of the program's full path (without the last '\').
std::string_view ProgramDirectoryOf(std::string_view modulePath);

}  // namespace zolp
